// The registry half of the OS seam, served by the emulated machine: handles,
// views, access checks and the Win32 calling conventions (buffer sizes,
// error codes) over the raw tree in RegistryStore.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <shared_mutex>
#include <sstream>
#include <unordered_map>

#include "platform/Text.h"
#include "platform/emul/Machine.h"
#include "platform/emul/RegistryInternal.h"
#include "platform/emul/SeamCalls.h"

namespace emul::reg {
namespace {

using os::DWORD;
using os::HKEY;
using os::LSTATUS;
using os::REGSAM;

LSTATUS Err(DWORD code) { return static_cast<LSTATUS>(code); }

constexpr REGSAM kViewBits = os::KEY_WOW64_32KEY | os::KEY_WOW64_64KEY;
constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kEveryRight = 0xFFFFFFFF;
constexpr std::size_t kMaxKeyName = 255;
constexpr DWORD kChildMustBeVolatile = 1021;  // ERROR_CHILD_MUST_BE_VOLATILE

// Enumeration is by index, but callers walk indexes in order: remembering
// where the last call stopped makes a full walk linear instead of quadratic.
struct Cursor {
    std::mutex mutex;
    std::uint64_t generation = ~std::uint64_t{0};
    const Node* node = nullptr;
    std::size_t index = 0;
    Children::const_iterator it;
    // Listing of a key whose children come from several raw keys.
    std::uint64_t mergedGeneration = ~std::uint64_t{0};
    const Node* mergedNode = nullptr;
    std::vector<std::u16string> merged;
};

struct Handle {
    Node* node = nullptr;
    Root root = Root::Machine;
    Path logical;  // normalized for `view`
    View view = View::Native;
    REGSAM granted = 0;
    bool classes = false;  // opened through HKEY_CLASSES_ROOT
    bool user = false;     // node is the current user's classes key, not the machine's
    Cursor cursor;
};

// Guarded by the store's mutex. Handle values are never reused, so a
// handle used after closing is reported rather than reaching another key.
struct HandleTable {
    std::unordered_map<std::uintptr_t, std::unique_ptr<Handle>> handles;
    std::uintptr_t next = 0x10000;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

struct KeyRef {
    Node* node = nullptr;
    Root root = Root::Machine;
    const Path* logical = nullptr;
    View view = View::Native;
    REGSAM granted = 0;
    bool classes = false;
    bool user = false;
    Cursor* cursor = nullptr;
};

// Below HKEY_CLASSES_ROOT a key's logical path is SOFTWARE\Classes\...; the
// user's classes key stands for those first two names.
constexpr std::size_t kClassesDepth = 2;

// The current user's classes, which HKEY_CLASSES_ROOT lays over the
// machine's: HKCU\Software\Classes, on Windows (and on a drive loaded
// offline) a link to HKU\<SID>_Classes. Null when it is missing or holds
// nothing: then HKEY_CLASSES_ROOT is the machine's classes alone. Lock held.
Node* UserClassesRoot() {
    auto& store = TheStore();
    Node* node = store.Child(RootNode(Root::Users), CurrentUserSid());
    if (node) node = store.Child(node, u"Software");
    if (node) node = store.Child(node, u"Classes");
    if (node && node->Has(kLink)) node = LinkTarget(node);
    if (!node || (node->ChildCount() == 0 && node->values.size() == 0)) return nullptr;
    return node;
}

// The user's key for a raw path below SOFTWARE\Classes: the user's classes
// are laid out as the machine's, Wow6432Node included. Lock held.
Node* UserClassesKey(Node* userRoot, const Path& raw, bool openLink) {
    if (!userRoot || raw.size() < kClassesDepth) return nullptr;
    return WalkRaw(userRoot, raw, kClassesDepth, openLink);
}

bool Windows64() { return emul::GetArch() == emul::Arch::Windows64; }
View DefaultView() { return Windows64() ? View::Bits32 : View::Native; }

bool IsPredefined(HKEY key, std::uint32_t& value) {
    value = os::KeyValue32(key);
    return value >= 0x80000000u && value <= 0x80000006u && key == os::PredefinedKey(value);
}

Cursor& PredefinedCursor(std::uint32_t value, View view) {
    static Cursor cursors[7][3];
    return cursors[value - 0x80000000u][static_cast<int>(view)];
}

// Resolves a key handle. Lock held (shared is enough).
LSTATUS Lookup(HKEY key, KeyRef& ref) {
    static const Path kNone;
    static const Path kClassesRoot{u"SOFTWARE", u"Classes"};
    std::uint32_t value = 0;
    if (IsPredefined(key, value)) {
        ref.granted = kEveryRight;
        ref.view = DefaultView();
        switch (value) {
            case 0x80000000u: ref.root = Root::Machine, ref.logical = &kClassesRoot; break;
            case 0x80000001u: ref.root = Root::Users, ref.logical = &CurrentUserPath(); break;
            case 0x80000002u: ref.root = Root::Machine, ref.logical = &kNone; break;
            case 0x80000003u: ref.root = Root::Users, ref.logical = &kNone; break;
            case 0x80000005u: ref.root = Root::Config, ref.logical = &kNone; break;
            default: return Err(os::ERROR_INVALID_HANDLE);
        }
        Path storage;
        ref.node = WalkRaw(RootNode(ref.root), RawPath(ref.root, *ref.logical, ref.view, storage), 0, false);
        if (value == 0x80000000u) {
            ref.classes = true;
            // Values set on the root go to the user's key when there is one.
            if (Node* user = UserClassesRoot()) ref.node = user, ref.user = true;
        }
        if (!ref.node) return Err(os::ERROR_FILE_NOT_FOUND);
        ref.cursor = &PredefinedCursor(value, ref.view);
        return os::ERROR_SUCCESS;
    }
    auto& table = Table();
    auto it = table.handles.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == table.handles.end()) return Err(os::ERROR_INVALID_HANDLE);
    auto& handle = *it->second;
    ref.node = handle.node;
    ref.root = handle.root;
    ref.logical = &handle.logical;
    ref.view = handle.view;
    ref.granted = handle.granted;
    ref.classes = handle.classes;
    ref.user = handle.user;
    ref.cursor = &handle.cursor;
    return os::ERROR_SUCCESS;
}

// Lookup plus the checks every operation on an existing key makes.
LSTATUS LookupLive(HKEY key, KeyRef& ref, REGSAM needed) {
    if (auto rc = Lookup(key, ref)) return rc;
    if (ref.node->Has(kDeleted)) return Err(os::ERROR_KEY_DELETED);
    if ((ref.granted & needed) != needed) return Err(os::ERROR_ACCESS_DENIED);
    return os::ERROR_SUCCESS;
}

LSTATUS ParseSubKey(os::LPCWSTR subKey, std::vector<std::u16string_view>& names) {
    names.clear();
    if (!subKey || !*subKey) return os::ERROR_SUCCESS;
    std::u16string_view path(subKey);
    if (path.front() == u'\\') return Err(os::ERROR_BAD_PATHNAME);
    names = SplitPath(path);
    // "a\\b" and a trailing "\" name the same key as "a\b".
    std::erase_if(names, [](std::u16string_view name) { return name.empty(); });
    for (auto name : names)
        if (name.size() > kMaxKeyName) {
            names.clear();
            return Err(os::ERROR_INVALID_PARAMETER);
        }
    return os::ERROR_SUCCESS;
}

View ChooseView(REGSAM sam, View base) {
    if (!Windows64()) return View::Native;
    if (sam & os::KEY_WOW64_64KEY) return View::Bits64;
    if (sam & os::KEY_WOW64_32KEY) return View::Bits32;
    return base == View::Native ? View::Bits32 : base;
}

bool IsPrefix(const Path& prefix, const Path& path) {
    if (prefix.size() > path.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (!text::EqualNoCase(prefix[i], path[i])) return false;
    return true;
}

struct Target {
    Node* node = nullptr;
    Path logical;
    View view = View::Native;
    bool created = false;
    bool user = false;
};

// Finds (or, for create, makes) the key `names` below `base`. Lock held,
// exclusively when creating.
LSTATUS Resolve(const KeyRef& base, const std::vector<std::u16string_view>& names, REGSAM sam, DWORD options,
                bool create, Target& out) {
    auto& store = TheStore();
    out.view = ChooseView(sam, base.view);
    out.logical.reserve(base.logical->size() + names.size());
    out.logical = *base.logical;
    for (auto name : names) out.logical.emplace_back(name);
    NormalizeLogical(base.root, out.logical, out.view);
    Path rawStorage;
    const Path& raw = RawPath(base.root, out.logical, out.view, rawStorage);

    const bool makeLink = create && (options & os::REG_OPTION_CREATE_LINK);
    const bool openLink = makeLink || (options & os::REG_OPTION_OPEN_LINK);
    // Start from the handle's own key when it is where this view's path
    // leads: that keeps keys reached through a link reachable.
    Node* current = RootNode(base.root);
    std::size_t i = 0;
    // Through HKEY_CLASSES_ROOT a key the user has opens as the user's;
    // any other, and every key made anew, is the machine's.
    Node* userRoot = base.classes ? UserClassesRoot() : nullptr;
    if (userRoot && UserClassesKey(userRoot, raw, openLink)) {
        current = userRoot;
        i = kClassesDepth;
        out.user = true;
    } else if (out.view == base.view && !base.user) {
        Path baseStorage;
        const Path& baseRaw = RawPath(base.root, *base.logical, out.view, baseStorage);
        if (IsPrefix(baseRaw, raw)) {
            current = base.node;
            i = baseRaw.size();
        }
    }

    for (; i < raw.size(); ++i) {
        const bool last = i + 1 == raw.size();
        Node* next = store.Child(current, raw[i]);
        if (!next) {
            if (!create) return Err(os::ERROR_FILE_NOT_FOUND);
            if (current->Has(kDeleted)) return Err(os::ERROR_KEY_DELETED);
            if (current->Has(kDenyWrite) || (current == base.node && !(base.granted & os::KEY_CREATE_SUB_KEY)))
                return Err(os::ERROR_ACCESS_DENIED);
            const bool isVolatile = (options & os::REG_OPTION_VOLATILE) != 0;
            if (current->Has(kVolatile) && !isVolatile) return Err(kChildMustBeVolatile);
            next = store.AddChild(current, raw[i]);
            if (last && makeLink) next->flags |= kLink;
            if (isVolatile) next->flags |= kVolatile;
            out.created = true;
        } else if (last && makeLink) {
            return Err(os::ERROR_ALREADY_EXISTS);
        } else if (next->Has(kLink) && !(last && openLink)) {
            next = LinkTarget(next);
            if (!next) return Err(os::ERROR_FILE_NOT_FOUND);
        }
        current = next;
    }
    out.node = current;
    return os::ERROR_SUCCESS;
}

REGSAM MapGeneric(REGSAM sam) {
    REGSAM out = sam & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | kViewBits);
    if (sam & (kGenericRead | kGenericExecute)) out |= os::KEY_READ;
    if (sam & kGenericWrite) out |= os::KEY_WRITE;
    if (sam & kGenericAll) out |= os::KEY_ALL_ACCESS;
    return out;
}

LSTATUS Grant(const Node* node, REGSAM sam, REGSAM& granted) {
    REGSAM want = MapGeneric(sam);
    REGSAM denied = DeniedRights(node);
    bool maximum = (want & os::MAXIMUM_ALLOWED) != 0;
    want &= ~os::MAXIMUM_ALLOWED;
    if (want & denied) return Err(os::ERROR_ACCESS_DENIED);
    granted = want;
    if (maximum) granted |= (os::KEY_ALL_ACCESS | os::READ_CONTROL | os::WRITE_DAC | os::WRITE_OWNER) & ~denied;
    return os::ERROR_SUCCESS;
}

HKEY AddHandle(Target&& target, const KeyRef& base, REGSAM granted) {
    auto& table = Table();
    auto handle = std::make_unique<Handle>();
    handle->node = target.node;
    handle->root = base.root;
    handle->classes = base.classes;
    handle->user = target.user;
    handle->logical = std::move(target.logical);
    handle->view = target.view;
    handle->granted = granted;
    ++target.node->openHandles;
    auto value = table.next;
    table.next += 4;
    table.handles.emplace(value, std::move(handle));
    return reinterpret_cast<HKEY>(value);
}

LSTATUS OpenOrCreate(HKEY key, os::LPCWSTR subKey, DWORD options, REGSAM sam, HKEY* result, bool create,
                     DWORD* disposition) {
    if (!result) return Err(os::ERROR_INVALID_PARAMETER);
    *result = nullptr;
    std::vector<std::u16string_view> names;
    if (auto rc = ParseSubKey(subKey, names)) return rc;
    SyncArch();
    std::unique_lock lock(TheStore().mutex);
    KeyRef base;
    if (auto rc = Lookup(key, base)) return rc;
    if (base.node->Has(kDeleted)) return Err(os::ERROR_KEY_DELETED);
    Target target;
    if (auto rc = Resolve(base, names, sam, options, create, target)) return rc;
    REGSAM granted = 0;
    if (auto rc = Grant(target.node, sam, granted)) return rc;
    if (disposition) *disposition = target.created ? os::REG_CREATED_NEW_KEY : os::REG_OPENED_EXISTING_KEY;
    *result = AddHandle(std::move(target), base, granted);
    return os::ERROR_SUCCESS;
}

// Appends the names this view lists below a logical key on one side: the
// machine's tree (`from` its root, `skip` 0) or the user's classes (`from`
// their key, `skip` the SOFTWARE\Classes names it stands for). `node` is
// the side's raw key for the view, or null. Lock held.
void SideChildren(Root root, Node* from, std::size_t skip, const Path& logical, View view, const Node* node,
                  std::vector<std::u16string>& out) {
    if (!Straddles(root, logical, view)) {
        if (node && node->children)
            for (const auto& child : *node->children) out.push_back(child->name);
        return;
    }
    // Every name the view can open, from the raw keys it may come from.
    std::vector<std::u16string> candidates;
    auto addChildren = [&](const Node* parent) {
        if (parent && parent->children)
            for (const auto& child : *parent->children) candidates.push_back(child->name);
    };
    addChildren(node);
    addChildren(WalkRaw(from, logical, skip, false));
    for (auto name : TableChildren(logical)) candidates.emplace_back(name);
    Path child = logical;
    child.emplace_back();
    for (auto& name : candidates) {
        if (IsViewAlias(root, logical, name, view)) continue;
        child.back() = name;
        if (const Node* found = WalkRaw(from, ToRaw(root, child, view), skip, true)) out.push_back(found->name);
    }
}

// Sorted as a hive sorts, each name once: the first spelling wins.
void SortNames(std::vector<std::u16string>& names) {
    std::stable_sort(names.begin(), names.end(),
                     [](const std::u16string& a, const std::u16string& b) { return text::CompareNoCase(a, b) < 0; });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const std::u16string& a, const std::u16string& b) { return text::EqualNoCase(a, b); }),
                names.end());
}

// Children of a key whose subkeys come from more than one raw key. Lock held.
std::vector<std::u16string> MergedChildren(const KeyRef& ref) {
    std::vector<std::u16string> names;
    SideChildren(ref.root, RootNode(ref.root), 0, *ref.logical, ref.view, ref.node, names);
    SortNames(names);
    return names;
}

// Children of a key below HKEY_CLASSES_ROOT while the user has classes:
// the user's and the machine's together, spelled as the user's key spells
// a name both have. Lock held.
std::vector<std::u16string> ClassesChildren(const KeyRef& ref, Node* userRoot) {
    std::vector<std::u16string> names;
    Path storage;
    const Path& raw = RawPath(ref.root, *ref.logical, ref.view, storage);
    SideChildren(ref.root, userRoot, kClassesDepth, *ref.logical, ref.view, UserClassesKey(userRoot, raw, false),
                 names);
    SideChildren(ref.root, RootNode(ref.root), 0, *ref.logical, ref.view, WalkRaw(RootNode(ref.root), raw, 0, false),
                 names);
    SortNames(names);
    return names;
}

// The listing of a key whose children come from several raw keys: the
// views' shared and redirected keys, or the user's classes over the
// machine's (`userRoot`, null when none). Cursor mutex and store lock held.
const std::vector<std::u16string>& Merged(const KeyRef& ref, Node* userRoot) {
    auto& cursor = *ref.cursor;
    auto generation = TheStore().Generation();
    if (cursor.mergedGeneration != generation || cursor.mergedNode != ref.node) {
        cursor.merged = userRoot ? ClassesChildren(ref, userRoot) : MergedChildren(ref);
        cursor.mergedGeneration = generation;
        cursor.mergedNode = ref.node;
    }
    return cursor.merged;
}

// Cursor mutex and store lock held; index < child count.
const Node* ChildAt(Cursor& cursor, const Node* node, std::size_t index) {
    auto generation = TheStore().Generation();
    if (cursor.generation != generation || cursor.node != node || cursor.index > index) {
        cursor.generation = generation;
        cursor.node = node;
        cursor.index = 0;
        cursor.it = node->children->begin();
    }
    std::advance(cursor.it, static_cast<std::ptrdiff_t>(index - cursor.index));
    cursor.index = index;
    return cursor.it->get();
}

void StampTime(void* lastWriteTime) {
    if (!lastWriteTime) return;
    // A fixed moment: the emulation does not track write times.
    os::FILETIME time{0x2AC18000u, 0x01DB6A1Fu};
    std::memcpy(lastWriteTime, &time, sizeof time);
}

void NoClass(os::LPWSTR cls, DWORD* clsChars) {
    if (cls && clsChars && *clsChars > 0) cls[0] = 0;
    if (clsChars) *clsChars = 0;
}

LSTATUS DeleteKey(HKEY key, os::LPCWSTR subKey, REGSAM sam) {
    if (!subKey) return Err(os::ERROR_INVALID_PARAMETER);
    std::vector<std::u16string_view> names;
    if (auto rc = ParseSubKey(subKey, names)) return rc;
    SyncArch();
    auto& store = TheStore();
    std::unique_lock lock(store.mutex);
    KeyRef base;
    if (auto rc = LookupLive(key, base, 0)) return rc;
    Target target;
    if (auto rc = Resolve(base, names, sam & kViewBits, 0, false, target)) return rc;
    Node* node = target.node;
    if (node->Has(kPinned) || !node->parent) return Err(os::ERROR_ACCESS_DENIED);
    if (node->Has(kDenyWrite) || node->ChildCount() > 0) return Err(os::ERROR_ACCESS_DENIED);
    store.Remove(node);
    return os::ERROR_SUCCESS;
}

bool AnyHandleBelow(const Node* node) {
    if (!node->children) return false;
    for (const auto& child : *node->children)
        if (child->openHandles > 0 || AnyHandleBelow(child.get())) return true;
    return false;
}

}  // namespace
}  // namespace emul::reg

// ====================================================================== os::

namespace os {
using namespace emul::reg;

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, HKEY* result) {
    emul::CountSeamCall(emul::SeamCall::RegOpen);
    return OpenOrCreate(key, subKey, options, sam, result, false, nullptr);
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD options, REGSAM sam, LPSECURITY_ATTRIBUTES,
                        HKEY* result, DWORD* disposition) {
    emul::CountSeamCall(emul::SeamCall::RegCreate);
    return OpenOrCreate(key, subKey, options, sam, result, true, disposition);
}

LSTATUS RegCloseKey(HKEY key) {
    emul::CountSeamCall(emul::SeamCall::RegClose);
    std::uint32_t value = 0;
    if (IsPredefined(key, value)) return ERROR_SUCCESS;
    auto& store = TheStore();
    std::unique_lock lock(store.mutex);
    auto& table = Table();
    auto it = table.handles.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == table.handles.end()) return Err(ERROR_INVALID_HANDLE);
    store.ReleaseHandle(it->second->node);
    table.handles.erase(it);
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD*, LPWSTR cls, DWORD* clsChars,
                      void* lastWriteTime) {
    emul::CountSeamCall(emul::SeamCall::RegEnumKey);
    if (!name || !nameChars) return Err(ERROR_INVALID_PARAMETER);
    SyncArch();
    std::shared_lock lock(TheStore().mutex);
    KeyRef ref;
    if (auto rc = LookupLive(key, ref, KEY_ENUMERATE_SUB_KEYS)) return rc;
    std::lock_guard cursorLock(ref.cursor->mutex);
    std::u16string_view found;
    Node* userRoot = ref.classes ? UserClassesRoot() : nullptr;
    if (userRoot || Straddles(ref.root, *ref.logical, ref.view)) {
        const auto& merged = Merged(ref, userRoot);
        if (index >= merged.size()) return Err(ERROR_NO_MORE_ITEMS);
        found = merged[index];
    } else {
        if (index >= ref.node->ChildCount()) return Err(ERROR_NO_MORE_ITEMS);
        found = ChildAt(*ref.cursor, ref.node, index)->name;
    }
    if (found.size() >= *nameChars) return Err(ERROR_MORE_DATA);
    std::memcpy(name, found.data(), found.size() * sizeof(char16_t));
    name[found.size()] = 0;
    *nameChars = static_cast<DWORD>(found.size());
    NoClass(cls, clsChars);
    StampTime(lastWriteTime);
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD*, DWORD* type, BYTE* data,
                      DWORD* dataBytes) {
    emul::CountSeamCall(emul::SeamCall::RegEnumValue);
    if (!name || !nameChars || (data && !dataBytes)) return Err(ERROR_INVALID_PARAMETER);
    SyncArch();
    std::shared_lock lock(TheStore().mutex);
    KeyRef ref;
    if (auto rc = LookupLive(key, ref, KEY_QUERY_VALUE)) return rc;
    if (index >= ref.node->values.size()) return Err(ERROR_NO_MORE_ITEMS);
    const Value& value = ref.node->values.at(index);
    if (type) *type = value.type();
    if (value.name().size() >= *nameChars) {
        if (dataBytes) *dataBytes = value.size();
        return Err(ERROR_MORE_DATA);
    }
    std::memcpy(name, value.name().data(), value.name().size() * sizeof(char16_t));
    name[value.name().size()] = 0;
    *nameChars = static_cast<DWORD>(value.name().size());
    if (data && *dataBytes < value.size()) {
        *dataBytes = value.size();
        return Err(ERROR_MORE_DATA);
    }
    if (data && value.size()) std::memcpy(data, value.data(), value.size());
    if (dataBytes) *dataBytes = value.size();
    return ERROR_SUCCESS;
}

LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR cls, DWORD* clsChars, DWORD*, DWORD* subKeys, DWORD* maxSubKeyLen,
                         DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen, DWORD* maxValueLen,
                         DWORD* securityDescriptorBytes, void* lastWriteTime) {
    emul::CountSeamCall(emul::SeamCall::RegQueryInfo);
    SyncArch();
    std::shared_lock lock(TheStore().mutex);
    KeyRef ref;
    // Windows asks for no particular right here (Wine neither).
    if (auto rc = LookupLive(key, ref, 0)) return rc;
    const Node* node = ref.node;
    std::size_t keyCount = 0, longestKey = 0;
    Node* userRoot = ref.classes ? UserClassesRoot() : nullptr;
    if (userRoot || Straddles(ref.root, *ref.logical, ref.view)) {
        std::lock_guard cursorLock(ref.cursor->mutex);
        const auto& merged = Merged(ref, userRoot);
        keyCount = merged.size();
        for (const auto& name : merged) longestKey = std::max(longestKey, name.size());
    } else if (node->children) {
        keyCount = node->children->size();
        for (const auto& child : *node->children) longestKey = std::max(longestKey, child->name.size());
    }
    std::size_t longestName = 0, largestData = 0;
    for (std::size_t i = 0; i < node->values.size(); ++i) {
        longestName = std::max(longestName, node->values.at(i).name().size());
        largestData = std::max<std::size_t>(largestData, node->values.at(i).size());
    }
    NoClass(cls, clsChars);
    if (subKeys) *subKeys = static_cast<DWORD>(keyCount);
    if (maxSubKeyLen) *maxSubKeyLen = static_cast<DWORD>(longestKey);
    if (maxClassLen) *maxClassLen = 0;
    if (values) *values = static_cast<DWORD>(node->values.size());
    if (maxValueNameLen) *maxValueNameLen = static_cast<DWORD>(longestName);
    if (maxValueLen) *maxValueLen = static_cast<DWORD>(largestData);
    if (securityDescriptorBytes)
        *securityDescriptorBytes = static_cast<DWORD>(
            DescribeSecurity(node, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)
                .size());
    StampTime(lastWriteTime);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* dataBytes) {
    emul::CountSeamCall(emul::SeamCall::RegQueryValue);
    if (data && !dataBytes) return Err(ERROR_INVALID_PARAMETER);
    SyncArch();
    std::shared_lock lock(TheStore().mutex);
    KeyRef ref;
    if (auto rc = LookupLive(key, ref, KEY_QUERY_VALUE)) return rc;
    const Value* value = ref.node->values.Find(valueName ? valueName : u"");
    if (!value) return Err(ERROR_FILE_NOT_FOUND);
    if (type) *type = value->type();
    if (data && *dataBytes < value->size()) {
        *dataBytes = value->size();
        return Err(ERROR_MORE_DATA);
    }
    if (data && value->size()) std::memcpy(data, value->data(), value->size());
    if (dataBytes) *dataBytes = value->size();
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataBytes) {
    emul::CountSeamCall(emul::SeamCall::RegWrite);
    if (!data && dataBytes) return Err(ERROR_NOACCESS);
    SyncArch();
    auto& store = TheStore();
    std::unique_lock lock(store.mutex);
    KeyRef ref;
    if (auto rc = LookupLive(key, ref, KEY_SET_VALUE)) return rc;
    store.SetValue(ref.node, valueName ? valueName : u"", type, data, dataBytes);
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    emul::CountSeamCall(emul::SeamCall::RegWrite);
    SyncArch();
    auto& store = TheStore();
    std::unique_lock lock(store.mutex);
    KeyRef ref;
    if (auto rc = LookupLive(key, ref, KEY_SET_VALUE)) return rc;
    return store.DeleteValue(ref.node, valueName ? valueName : u"") ? ERROR_SUCCESS : Err(ERROR_FILE_NOT_FOUND);
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    emul::CountSeamCall(emul::SeamCall::RegWrite); return DeleteKey(key, subKey, 0); }

LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM sam, DWORD) {
    emul::CountSeamCall(emul::SeamCall::RegWrite); return DeleteKey(key, subKey, sam); }

LSTATUS RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, DWORD* sdBytes) {
    if (!sdBytes) return Err(ERROR_INVALID_PARAMETER);
    SyncArch();
    std::shared_lock lock(TheStore().mutex);
    KeyRef ref;
    if (auto rc = LookupLive(key, ref, READ_CONTROL)) return rc;
    auto blob = DescribeSecurity(ref.node, info);
    if (!sd || *sdBytes < blob.size()) {
        *sdBytes = static_cast<DWORD>(blob.size());
        return Err(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(sd, blob.data(), blob.size());
    *sdBytes = static_cast<DWORD>(blob.size());
    return ERROR_SUCCESS;
}

LSTATUS RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) {
    SyncArch();
    std::unique_lock lock(TheStore().mutex);
    KeyRef ref;
    if (auto rc = LookupLive(key, ref, WRITE_DAC)) return rc;
    return ApplySecurity(ref.node, info, sd);
}

LSTATUS RegSaveKeyW(HKEY key, LPCWSTR file, LPSECURITY_ATTRIBUTES) {
    if (!file) return Err(ERROR_INVALID_PARAMETER);
    auto host = emul::HostPath(file);
    if (host.empty()) return Err(ERROR_PATH_NOT_FOUND);
    std::error_code ec;
    // The file is created before anything is written, and never over an
    // existing one: a save cannot destroy an earlier backup.
    if (std::filesystem::exists(host, ec)) return Err(ERROR_ALREADY_EXISTS);
    if (!emul::PrivilegeEnabled(u"SeBackupPrivilege")) return Err(ERROR_PRIVILEGE_NOT_HELD);
    if (!std::filesystem::is_directory(host.parent_path(), ec)) return Err(ERROR_PATH_NOT_FOUND);
    std::vector<emul::regtext::Key> keys;
    {
        SyncArch();
        std::shared_lock lock(TheStore().mutex);
        KeyRef ref;
        if (auto rc = LookupLive(key, ref, 0)) return rc;
        // Volatile keys live in memory only; a saved hive leaves them out.
        ExportTree(ref.node, FullName(ref.node), keys, true);
    }
    auto bytes = emul::regtext::WriteBytes(keys);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    if (!out) return Err(ERROR_CANTWRITE);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::filesystem::remove(host, ec);
        return Err(ERROR_CANTWRITE);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegRestoreKeyW(HKEY key, LPCWSTR file, DWORD flags) {
    if (!file) return Err(ERROR_INVALID_PARAMETER);
    if (!emul::PrivilegeEnabled(u"SeRestorePrivilege")) return Err(ERROR_PRIVILEGE_NOT_HELD);
    auto host = emul::HostPath(file);
    std::ifstream in(host, std::ios::binary);
    if (host.empty() || !in) return Err(ERROR_FILE_NOT_FOUND);
    std::ostringstream buffer;
    buffer << in.rdbuf();

    // Read everything first: a bad file changes nothing.
    emul::regtext::Document doc;
    try {
        doc = emul::regtext::ParseBytes(buffer.str());
    } catch (const std::exception&) {
        return Err(ERROR_BADDB);
    }
    if (doc.keys.empty()) return Err(ERROR_BADDB);
    const auto basePath = SplitPath(doc.keys.front().path);
    std::vector<std::vector<std::u16string_view>> relative;
    for (const auto& entry : doc.keys) {
        auto parts = SplitPath(entry.path);
        if (parts.size() < basePath.size() || entry.remove) return Err(ERROR_BADDB);
        for (std::size_t i = 0; i < basePath.size(); ++i)
            if (!text::EqualNoCase(parts[i], basePath[i])) return Err(ERROR_BADDB);
        parts.erase(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(basePath.size()));
        for (auto name : parts)
            if (name.empty() || name.size() > kMaxKeyName) return Err(ERROR_BADDB);
        relative.push_back(std::move(parts));
    }

    SyncArch();
    auto& store = TheStore();
    std::unique_lock lock(store.mutex);
    KeyRef ref;
    if (auto rc = LookupLive(key, ref, 0)) return rc;
    Node* root = ref.node;
    // Without REG_FORCE_RESTORE, keys that someone still holds open are not
    // pulled away from under them.
    if (!(flags & REG_FORCE_RESTORE) && AnyHandleBelow(root)) return Err(ERROR_ACCESS_DENIED);
    store.Empty(root);
    for (std::size_t k = 0; k < doc.keys.size(); ++k) {
        Node* node = root;
        for (auto name : relative[k]) {
            Node* child = store.Child(node, name);
            node = child ? child : store.AddChild(node, name);
        }
        for (const auto& value : doc.keys[k].values) {
            if (value.remove)
                store.DeleteValue(node, value.name);
            else
                store.SetValue(node, value.name, value.type, value.data.data(), value.data.size());
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace os

// ====================================================================== emul::

namespace emul {

std::size_t OpenKeyHandleCount() {
    std::shared_lock lock(reg::TheStore().mutex);
    return reg::Table().handles.size();
}

std::u16string ClassesKeyName(std::u16string_view subKey, os::REGSAM view) {
    std::u16string path(subKey);
    os::HKEY key = nullptr;
    if (os::RegOpenKeyExW(os::HKEY_CLASSES_ROOT, path.c_str(), 0, view, &key) != os::ERROR_SUCCESS) return {};
    std::u16string name;
    {
        std::shared_lock lock(reg::TheStore().mutex);
        reg::KeyRef ref;
        if (reg::Lookup(key, ref) == os::ERROR_SUCCESS) name = reg::FullName(ref.node);
    }
    os::RegCloseKey(key);
    return name;
}

void ResetRegistry() {
    auto& store = reg::TheStore();
    {
        std::unique_lock lock(store.mutex);
        auto& table = reg::Table();
        for (auto& [value, handle] : table.handles) store.ReleaseHandle(handle->node);
        table.handles.clear();
        store.Clear();
        reg::ForgetLayout();
        reg::ResetCurrentUserSid();
    }
    reg::SyncArch();
}

}  // namespace emul
