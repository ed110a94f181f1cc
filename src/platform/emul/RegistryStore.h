// The emulated registry's tree in memory: raw (unredirected) keys and values,
// no handles, no views, no security decisions. RegistryApi builds the Win32
// behaviour on top of it. Everything here is called with the store's mutex
// held (shared for reading, exclusive for changing).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/os/WinApi.h"

namespace emul::reg {

// One value: name and data share a single allocation, so a registry of
// several million small values costs little more than their bytes.
class Value {
public:
    Value(std::u16string_view name, os::DWORD type, const os::BYTE* data, std::size_t bytes);

    std::u16string_view name() const { return {blob_.get(), nameUnits_}; }
    os::DWORD type() const { return type_; }
    const os::BYTE* data() const { return reinterpret_cast<const os::BYTE*>(blob_.get() + nameUnits_); }
    std::uint32_t size() const { return dataBytes_; }

    // New data under the same name; the name's spelling is kept.
    void Assign(os::DWORD type, const os::BYTE* data, std::size_t bytes);

private:
    void Fill(std::u16string_view name, const os::BYTE* data, std::size_t bytes);

    std::unique_ptr<char16_t[]> blob_;
    std::uint32_t nameUnits_ = 0;
    std::uint32_t dataBytes_ = 0;
    os::DWORD type_ = 0;
};

// Values in creation order; a value set again keeps its place. Small lists
// are searched directly, large ones get a hash index built on demand.
class ValueList {
public:
    ValueList() = default;
    ValueList(ValueList&&) noexcept = default;
    ValueList& operator=(ValueList&&) noexcept = default;

    std::size_t size() const { return items_.size(); }
    const Value& at(std::size_t i) const { return items_[i]; }
    const Value* Find(std::u16string_view name) const;
    // True when the value is new.
    bool Set(std::u16string_view name, os::DWORD type, const os::BYTE* data, std::size_t bytes);
    bool Erase(std::u16string_view name);
    std::size_t Clear();

private:
    static constexpr std::size_t kIndexFrom = 16;
    std::ptrdiff_t Position(std::u16string_view name) const;
    void Reindex() const;

    std::vector<Value> items_;
    // Upper-cased name -> position; only for long lists, rebuilt lazily.
    mutable std::unique_ptr<std::unordered_map<std::u16string, std::uint32_t>> index_;
};

struct Node;

struct NameLess {
    using is_transparent = void;
    bool operator()(const std::unique_ptr<Node>& a, const std::unique_ptr<Node>& b) const;
    bool operator()(std::u16string_view a, const std::unique_ptr<Node>& b) const;
    bool operator()(const std::unique_ptr<Node>& a, std::u16string_view b) const;
};

// Subkeys ordered as a hive keeps them: case-insensitively by upper-cased name.
using Children = std::set<std::unique_ptr<Node>, NameLess>;

enum NodeFlag : std::uint8_t {
    kDenyRead = 1,
    kDenyWrite = 2,
    kLink = 4,       // a symbolic link; its target is the SymbolicLinkValue value
    kDeleted = 8,    // detached from the tree, kept only for open handles
    kPinned = 16,    // a hive root or standard key that cannot be deleted
    kNullDacl = 32,  // security replaced by a NULL DACL (everyone, everything)
    kVolatile = 64,  // lives only in memory: never saved, holds only volatile keys
    kDenyDac = 128,  // its security cannot be changed (owned by another account)
};

// A key's subkeys by upper-cased name, for keys with many of them: the
// ordered set alone costs a name comparison per level, and a class
// registration is looked up among a hundred thousand siblings.
struct ChildIndex {
    std::unordered_map<std::u16string, Node*> byName;
};

struct Node {
    Node() = default;
    ~Node() { delete index.load(std::memory_order_relaxed); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    std::u16string name;
    Node* parent = nullptr;
    std::unique_ptr<Children> children;  // null while there are none
    // Made by the first lookup among many children (under the shared lock,
    // hence atomic), kept by every change to them (under the exclusive one).
    mutable std::atomic<ChildIndex*> index{nullptr};
    ValueList values;
    std::uint32_t openHandles = 0;
    std::uint8_t flags = 0;

    bool Has(NodeFlag f) const { return (flags & f) != 0; }
    std::size_t ChildCount() const { return children ? children->size() : 0; }
    void DropIndex() { delete index.exchange(nullptr, std::memory_order_relaxed); }
};

// The whole registry: three raw roots (HKEY_LOCAL_MACHINE, HKEY_USERS,
// HKEY_CURRENT_CONFIG), counters, and the keys that were deleted while a
// handle still referred to them.
class Store {
public:
    Store();

    std::shared_mutex mutex;

    Node machine;
    Node users;
    Node config;

    Node* Child(const Node* parent, std::u16string_view name) const;
    Node* AddChild(Node* parent, std::u16string_view name);
    // Detaches the key and everything below it. Keys that still have open
    // handles survive, marked deleted, until their last handle closes.
    void Remove(Node* node);
    // Removes every subkey and value of the key, keeping the key itself.
    void Empty(Node* node);
    void ReleaseHandle(Node* node);

    bool SetValue(Node* node, std::u16string_view name, os::DWORD type, const os::BYTE* data, std::size_t bytes);
    bool DeleteValue(Node* node, std::u16string_view name);

    // Bumped on every change to any key's list of subkeys, so enumeration
    // cursors can tell whether their position is still valid.
    std::uint64_t Generation() const { return generation_; }

    std::size_t KeyCount() const { return keys_; }
    std::size_t ValueCount() const { return values_; }

    // Back to empty raw roots.
    void Clear();

private:
    void Discard(std::unique_ptr<Node> node);

    std::unordered_map<Node*, std::unique_ptr<Node>> graveyard_;
    std::size_t keys_ = 0;
    std::size_t values_ = 0;
    std::uint64_t generation_ = 0;
    mutable std::mutex indexMutex_;
};

Store& TheStore();

// Splits "a\b\c" into its names; no validation.
std::vector<std::u16string_view> SplitPath(std::u16string_view path);

}  // namespace emul::reg
