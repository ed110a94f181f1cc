// Raw-namespace side of the emulated registry: root names, the standard keys
// of a fresh machine, links, and the configuration calls tests and the Linux
// demo use (.reg load and save, denial, counts).
#include <atomic>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "platform/Text.h"
#include "platform/emul/EmulRegistry.h"
#include "platform/emul/EmulSystem.h"
#include "platform/emul/RegistryInternal.h"

namespace emul::reg {
namespace {

constexpr std::u16string_view kWowNode = u"Wow6432Node";
constexpr std::u16string_view kLinkValue = u"SymbolicLinkValue";
constexpr int kMaxLinkDepth = 16;

// Which architecture the standard keys were last laid out for (-1: none).
std::atomic<int> g_laidOutFor{-1};

// Set only while the machine is configured, before any handle is open.
Path g_currentUser{std::u16string(kDefaultCurrentUserSid)};

struct RootAlias {
    std::u16string_view name;
    std::u16string_view shortName;
    Root root;
    std::u16string_view below;  // where the alias lives in the raw root
};

constexpr RootAlias kRootAliases[] = {
    {u"HKEY_LOCAL_MACHINE", u"HKLM", Root::Machine, u""},
    {u"HKEY_USERS", u"HKU", Root::Users, u""},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", Root::Config, u""},
    {u"HKEY_CURRENT_USER", u"HKCU", Root::Users, {}},  // below the current user's SID
    {u"HKEY_CLASSES_ROOT", u"HKCR", Root::Machine, u"SOFTWARE\\Classes"},
};

void AppendNames(std::u16string_view path, Path& out) {
    if (path.empty()) return;
    for (auto name : SplitPath(path))
        if (!name.empty()) out.emplace_back(name);
}

Node* EnsurePath(Node* from, std::initializer_list<std::u16string_view> names, bool pin) {
    auto& store = TheStore();
    Node* node = from;
    for (auto name : names) {
        Node* child = store.Child(node, name);
        node = child ? child : store.AddChild(node, name);
    }
    if (pin) node->flags |= kPinned;
    return node;
}

void DropWowNode(Node* parent) {
    auto& store = TheStore();
    Node* node = store.Child(parent, kWowNode);
    if (!node) return;
    node->flags &= static_cast<std::uint8_t>(~kPinned);
    // A 32-bit machine has no such key; keep it only if a test put data there.
    if (node->ChildCount() == 0 && node->values.size() == 0) store.Remove(node);
}

// Lock held exclusively.
Node* CreateRaw(Root root, const Path& names) {
    auto& store = TheStore();
    Node* node = RootNode(root);
    for (const auto& name : names) {
        Node* child = store.Child(node, name);
        node = child ? child : store.AddChild(node, name);
    }
    return node;
}

Node* FindRaw(std::u16string_view fullPath) {
    Root root;
    Path names;
    if (!ParseFullPath(fullPath, root, names)) return nullptr;
    return WalkRaw(RootNode(root), names, 0, true);
}

}  // namespace

std::u16string_view CurrentUserSid() { return g_currentUser.front(); }
const Path& CurrentUserPath() { return g_currentUser; }
void ResetCurrentUserSid() { g_currentUser = {std::u16string(kDefaultCurrentUserSid)}; }

Node* RootNode(Root root) {
    auto& store = TheStore();
    switch (root) {
        case Root::Users: return &store.users;
        case Root::Config: return &store.config;
        case Root::Machine: break;
    }
    return &store.machine;
}

std::u16string_view RootName(Root root) {
    switch (root) {
        case Root::Users: return u"HKEY_USERS";
        case Root::Config: return u"HKEY_CURRENT_CONFIG";
        case Root::Machine: break;
    }
    return u"HKEY_LOCAL_MACHINE";
}

bool ParseFullPath(std::u16string_view full, Root& root, Path& raw) {
    raw.clear();
    auto slash = full.find(u'\\');
    auto first = full.substr(0, slash);
    auto rest = slash == std::u16string_view::npos ? std::u16string_view() : full.substr(slash + 1);
    for (const auto& alias : kRootAliases) {
        if (text::EqualNoCase(first, alias.name) || text::EqualNoCase(first, alias.shortName)) {
            root = alias.root;
            AppendNames(alias.root == Root::Users && alias.below.empty() && alias.shortName == u"HKCU"
                            ? CurrentUserSid()
                            : alias.below,
                        raw);
            AppendNames(rest, raw);
            return true;
        }
    }
    return false;
}

std::u16string FullName(const Node* node) {
    std::vector<const Node*> chain;
    for (; node && node->parent; node = node->parent) chain.push_back(node);
    auto& store = TheStore();
    std::u16string name(node == &store.users    ? RootName(Root::Users)
                        : node == &store.config ? RootName(Root::Config)
                                                : RootName(Root::Machine));
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        name += u'\\';
        name += (*it)->name;
    }
    return name;
}

Node* LinkTarget(const Node* link, int depth) {
    if (depth > kMaxLinkDepth) return nullptr;
    const Value* value = link->values.Find(kLinkValue);
    if (!value || value->type() != os::REG_LINK) return nullptr;
    std::u16string target(value->size() / 2, u'\0');
    std::memcpy(target.data(), value->data(), target.size() * 2);
    while (!target.empty() && target.back() == 0) target.pop_back();
    // Links name kernel paths: \REGISTRY\MACHINE\... or \REGISTRY\USER\...
    Path names;
    AppendNames(target, names);
    if (names.size() < 2 || !text::EqualNoCase(names[0], u"REGISTRY")) return nullptr;
    Node* from = nullptr;
    if (text::EqualNoCase(names[1], u"MACHINE"))
        from = RootNode(Root::Machine);
    else if (text::EqualNoCase(names[1], u"USER"))
        from = RootNode(Root::Users);
    else
        return nullptr;
    auto& store = TheStore();
    Node* node = from;
    for (std::size_t i = 2; i < names.size() && node; ++i) {
        node = store.Child(node, names[i]);
        if (node && node->Has(kLink)) node = LinkTarget(node, depth + 1);
    }
    return node;
}

Node* WalkRaw(Node* from, const std::vector<std::u16string>& names, std::size_t begin, bool openLink) {
    auto& store = TheStore();
    Node* node = from;
    for (std::size_t i = begin; i < names.size() && node; ++i) {
        node = store.Child(node, names[i]);
        if (node && node->Has(kLink) && !(openLink && i + 1 == names.size())) node = LinkTarget(node);
    }
    return node;
}

void EnsureStandardKeys(bool windows64) {
    auto& store = TheStore();
    EnsurePath(&store.machine, {u"SOFTWARE"}, true);
    EnsurePath(&store.machine, {u"SOFTWARE", u"Classes"}, true);
    EnsurePath(&store.machine, {u"SYSTEM"}, true);
    // Every Windows has it; a machine file that leaves it out should not make
    // the service check fail as if the key were unreadable. Tests may delete it.
    EnsurePath(&store.machine, {u"SYSTEM", u"CurrentControlSet", u"Services"}, false);
    EnsurePath(&store.users, {u".DEFAULT"}, true);
    EnsurePath(&store.users, {CurrentUserSid()}, true);
    EnsurePath(&store.users, {CurrentUserSid(), u"Software"}, false);
    if (windows64) {
        EnsurePath(&store.machine, {u"SOFTWARE", kWowNode}, true);
        EnsurePath(&store.machine, {u"SOFTWARE", u"Classes", kWowNode}, true);
    } else {
        DropWowNode(EnsurePath(&store.machine, {u"SOFTWARE"}, true));
        DropWowNode(EnsurePath(&store.machine, {u"SOFTWARE", u"Classes"}, true));
    }
}

void SyncArch() {
    int want = emul::GetArch() == emul::Arch::Windows64 ? 1 : 0;
    if (g_laidOutFor.load() == want) return;
    std::unique_lock lock(TheStore().mutex);
    if (g_laidOutFor.load() == want) return;
    EnsureStandardKeys(want == 1);
    g_laidOutFor = want;
}

void ForgetLayout() { g_laidOutFor = -1; }

void ExportTree(const Node* node, const std::u16string& base, std::vector<regtext::Key>& out, bool skipVolatile) {
    regtext::Key key;
    key.path = base;
    key.values.reserve(node->values.size());
    for (std::size_t i = 0; i < node->values.size(); ++i) {
        const auto& value = node->values.at(i);
        regtext::Value entry;
        entry.name = std::u16string(value.name());
        entry.type = value.type();
        entry.data.assign(value.data(), value.data() + value.size());
        key.values.push_back(std::move(entry));
    }
    out.push_back(std::move(key));
    if (node->children)
        for (const auto& child : *node->children)
            if (!(skipVolatile && child->Has(kVolatile)))
                ExportTree(child.get(), base + u'\\' + child->name, out, skipVolatile);
}

}  // namespace emul::reg

namespace emul {

void SetCurrentUserSid(std::u16string_view sid) {
    {
        auto& store = reg::TheStore();
        std::unique_lock lock(store.mutex);
        // The previous user's key goes when it holds only what the layout
        // put there, so HKEY_USERS lists no user that is not loaded.
        if (reg::Node* old = store.Child(&store.users, reg::CurrentUserSid())) {
            reg::Node* software = store.Child(old, u"Software");
            bool laidOut = old->values.size() == 0 && old->ChildCount() == (software ? 1u : 0u) &&
                           (!software || (software->ChildCount() == 0 && software->values.size() == 0));
            if (laidOut) {
                old->flags &= static_cast<std::uint8_t>(~reg::kPinned);
                store.Remove(old);
            }
        }
        reg::g_currentUser = {std::u16string(sid.empty() ? reg::kDefaultCurrentUserSid : sid)};
        reg::ForgetLayout();
    }
    reg::SyncArch();
}

static void LoadRegDocument(regtext::Document doc);

void LoadRegText(std::u16string_view text) { LoadRegDocument(regtext::Parse(text)); }

void LoadRegFile(std::string_view bytes) { LoadRegDocument(regtext::ParseBytes(bytes)); }

static void LoadRegDocument(regtext::Document doc) {
    // Check every key before touching the registry: bad input applies nothing.
    std::vector<std::pair<reg::Root, reg::Path>> targets;
    targets.reserve(doc.keys.size());
    for (const auto& key : doc.keys) {
        reg::Root root;
        reg::Path names;
        if (!reg::ParseFullPath(key.path, root, names))
            throw RegFormatError(key.line, "unknown root key in [" + text::ToUtf8(key.path) + "]");
        for (const auto& name : names)
            if (name.size() > 255)
                throw RegFormatError(key.line, "key name longer than 255 characters in [" + text::ToUtf8(key.path) + "]");
        targets.emplace_back(root, std::move(names));
    }
    reg::SyncArch();
    auto& store = reg::TheStore();
    std::unique_lock lock(store.mutex);
    for (std::size_t k = 0; k < doc.keys.size(); ++k) {
        const auto& key = doc.keys[k];
        auto& [root, names] = targets[k];
        if (key.remove) {
            reg::Node* node = reg::WalkRaw(reg::RootNode(root), names, 0, true);
            if (!node) continue;
            if (node->Has(reg::kPinned) || !node->parent)
                store.Empty(node);
            else
                store.Remove(node);
            continue;
        }
        reg::Node* node = reg::CreateRaw(root, names);
        for (const auto& value : key.values) {
            if (value.remove)
                store.DeleteValue(node, value.name);
            else
                store.SetValue(node, value.name, value.type, value.data.data(), value.data.size());
        }
    }
}

std::u16string SaveRegText(std::u16string_view fullKeyPath) {
    reg::SyncArch();
    std::vector<regtext::Key> keys;
    {
        std::shared_lock lock(reg::TheStore().mutex);
        const reg::Node* node = reg::FindRaw(fullKeyPath);
        if (!node) return {};
        reg::ExportTree(node, reg::FullName(node), keys);
    }
    return regtext::Write(keys);
}

void DenyKeyAccess(std::u16string_view fullKeyPath, bool denyRead, bool denyWrite) {
    reg::SyncArch();
    std::unique_lock lock(reg::TheStore().mutex);
    reg::Node* node = reg::FindRaw(fullKeyPath);
    if (!node) throw std::invalid_argument("DenyKeyAccess: no key " + text::ToUtf8(fullKeyPath));
    auto flags = static_cast<std::uint8_t>(node->flags & ~(reg::kDenyRead | reg::kDenyWrite | reg::kNullDacl));
    if (denyRead) flags |= reg::kDenyRead;
    if (denyWrite) flags |= reg::kDenyWrite;
    node->flags = flags;
}

void DenySecurityChange(std::u16string_view fullKeyPath, bool deny) {
    reg::SyncArch();
    std::unique_lock lock(reg::TheStore().mutex);
    reg::Node* node = reg::FindRaw(fullKeyPath);
    if (!node) throw std::invalid_argument("DenySecurityChange: no key " + text::ToUtf8(fullKeyPath));
    node->flags = static_cast<std::uint8_t>(deny ? node->flags | reg::kDenyDac : node->flags & ~reg::kDenyDac);
}

std::size_t KeyCount() {
    std::shared_lock lock(reg::TheStore().mutex);
    return reg::TheStore().KeyCount();
}

std::size_t ValueCount() {
    std::shared_lock lock(reg::TheStore().mutex);
    return reg::TheStore().ValueCount();
}

}  // namespace emul
