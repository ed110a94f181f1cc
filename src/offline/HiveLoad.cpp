#include "offline/HiveLoad.h"

#include <hivex.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "platform/Text.h"
#include "platform/emul/RegistryInternal.h"

namespace offline {
namespace reg = emul::reg;
namespace {

reg::Node* MountNode(bool machine, std::u16string_view key, bool create) {
    auto& store = reg::TheStore();
    reg::Node* node = machine ? &store.machine : &store.users;
    for (auto name : reg::SplitPath(key)) {
        reg::Node* child = store.Child(node, name);
        if (!child && create) child = store.AddChild(node, name);
        if (!child) return nullptr;
        node = child;
    }
    return node;
}

std::u16string Below(const std::u16string& path, std::u16string_view name) {
    return path.empty() ? text::UpCase(name) : path + u'\\' + text::UpCase(name);
}

bool FromFile(const reg::Node& node) { return !node.Has(reg::kLink) && !node.Has(reg::kVolatile); }

void Load(const THive& hive, std::size_t from, reg::Node* to, const std::u16string& path, TLoaded& out) {
    auto& store = reg::TheStore();
    ++out.keys;
    std::string bytes;
    for (std::size_t value : hive.Values(from)) {
        std::uint32_t type = hive.ValueBytes(value, bytes);
        store.SetValue(to, hive.ValueName(value), type, reinterpret_cast<const os::BYTE*>(bytes.data()), bytes.size());
        ++out.values;
    }
    std::size_t had = to->ChildCount();
    std::vector<std::u16string> names;
    for (std::size_t child : hive.Children(from)) {
        std::u16string name = hive.NodeName(child);
        reg::Node* node = store.Child(to, name);
        if (!node) node = store.AddChild(to, name);
        Load(hive, child, node, Below(path, name), out);
        if (had) names.push_back(text::UpCase(name));
    }
    if (!had) return;
    std::sort(names.begin(), names.end());
    for (const auto& child : *to->children)
        if (!std::binary_search(names.begin(), names.end(), text::UpCase(child->name)))
            out.loaderKeys.push_back(Below(path, child->name));
}

bool SameValues(const THive& hive, std::size_t node, const reg::ValueList& values) {
    auto list = hive.Values(node);
    if (list.size() != values.size()) return false;
    std::string bytes;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto& v = values.at(i);
        std::uint32_t type = hive.ValueBytes(list[i], bytes);
        if (type != v.type() || bytes.size() != v.size() || std::memcmp(bytes.data(), v.data(), v.size()) != 0 ||
            hive.ValueName(list[i]) != v.name())
            return false;
    }
    return true;
}

void AddSubtree(const reg::Node& node, const std::u16string& path, const std::vector<std::u16string>& loaderKeys,
                std::vector<std::u16string>& out) {
    if (std::find(loaderKeys.begin(), loaderKeys.end(), path) != loaderKeys.end()) return;
    out.push_back(path);
    if (node.children)
        for (const auto& child : *node.children)
            if (FromFile(*child)) AddSubtree(*child, Below(path, child->name), loaderKeys, out);
}

void Compare(const THive& hive, std::size_t from, const reg::Node& node, const std::u16string& path,
             const std::vector<std::u16string>& loaderKeys, THiveChanges& out) {
    if (!SameValues(hive, from, node.values)) out.changedValues.emplace_back(from, path);
    std::vector<std::u16string> seen;
    for (std::size_t child : hive.Children(from)) {
        std::u16string name = hive.NodeName(child);
        reg::Node* twin = reg::TheStore().Child(&node, name);
        if (!twin || !FromFile(*twin)) {
            out.deletedKeys.push_back(child);
            continue;
        }
        seen.push_back(text::UpCase(name));
        Compare(hive, child, *twin, Below(path, name), loaderKeys, out);
    }
    if (!node.children) return;
    std::sort(seen.begin(), seen.end());
    for (const auto& child : *node.children)
        if (FromFile(*child) && !std::binary_search(seen.begin(), seen.end(), text::UpCase(child->name)))
            AddSubtree(*child, Below(path, child->name), loaderKeys, out.addedKeys);
}

// The values of an emulated key as libhivex takes them; the strings live
// as long as `names`.
void SetValues(THive& hive, std::size_t node, const reg::Node& from) {
    std::vector<std::string> names;
    names.reserve(from.values.size());
    std::vector<hive_set_value> values;
    for (std::size_t i = 0; i < from.values.size(); ++i) names.push_back(text::ToUtf8(from.values.at(i).name()));
    for (std::size_t i = 0; i < from.values.size(); ++i) {
        const auto& v = from.values.at(i);
        values.push_back({names[i].data(), static_cast<hive_type>(v.type()), v.size(),
                          const_cast<char*>(reinterpret_cast<const char*>(v.data()))});
    }
    if (hivex_node_set_values(hive.get(), node, values.size(), values.data(), 0) != 0)
        throw THiveError(hive.File().string() + ": a key's values could not be written");
}

std::size_t HiveNodeAt(const THive& hive, const std::u16string& path) {
    std::size_t node = hive.Root();
    for (auto name : reg::SplitPath(path))
        if (!name.empty() && !(node = hive.Child(node, name))) return 0;
    return node;
}

const reg::Node* EmulNodeAt(const reg::Node* mount, const std::u16string& path) {
    const reg::Node* node = mount;
    for (auto name : reg::SplitPath(path))
        if (!name.empty() && node && !(node = reg::TheStore().Child(node, name))) return nullptr;
    return node;
}

}  // namespace

TLoaded LoadHive(const THive& hive, bool machine, std::u16string_view key) {
    reg::SyncArch();
    auto& store = reg::TheStore();
    std::unique_lock lock(store.mutex);
    TLoaded out;
    Load(hive, hive.Root(), MountNode(machine, key, true), u"", out);
    return out;
}

THiveChanges CompareHive(const THive& hive, bool machine, std::u16string_view key,
                         const std::vector<std::u16string>& loaderKeys) {
    auto& store = reg::TheStore();
    std::shared_lock lock(store.mutex);
    THiveChanges out;
    const reg::Node* mount = MountNode(machine, key, false);
    if (!mount) throw THiveError(hive.File().string() + ": its key is gone from the registry");
    Compare(hive, hive.Root(), *mount, u"", loaderKeys, out);
    return out;
}

void ApplyChanges(THive& hive, bool machine, std::u16string_view key, const THiveChanges& changes) {
    auto& store = reg::TheStore();
    std::shared_lock lock(store.mutex);
    const reg::Node* mount = MountNode(machine, key, false);
    if (!mount) throw THiveError(hive.File().string() + ": its key is gone from the registry");
    for (const auto& [node, path] : changes.changedValues) SetValues(hive, node, *EmulNodeAt(mount, path));
    for (const auto& path : changes.addedKeys) {
        auto slash = path.find_last_of(u'\\');
        std::u16string parentPath = slash == std::u16string::npos ? u"" : path.substr(0, slash);
        const reg::Node* from = EmulNodeAt(mount, path);
        std::size_t parent = HiveNodeAt(hive, parentPath);
        if (!from || !parent) throw THiveError(hive.File().string() + ": a new key's parent is missing");
        std::size_t node = hivex_node_add_child(hive.get(), parent, text::ToUtf8(from->name).c_str());
        if (!node) throw THiveError(hive.File().string() + ": a new key could not be written");
        if (from->values.size()) SetValues(hive, node, *from);
    }
    for (std::size_t node : changes.deletedKeys)
        if (hivex_node_delete_child(hive.get(), node) != 0)
            throw THiveError(hive.File().string() + ": a key could not be deleted");
}

}  // namespace offline
