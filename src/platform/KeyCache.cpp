#include "platform/KeyCache.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/Wow64.h"

namespace platform {

namespace {

std::atomic<std::uint64_t> gChanges{0};

}  // namespace

struct TKeyCacheScope::State {
    struct Entry {
        os::HKEY root;
        os::REGSAM access;  // view bits included
        std::u16string path;
        std::shared_ptr<RegKey> key;
    };
    std::vector<Entry> entries;
    std::uint64_t changes = gChanges.load(std::memory_order_acquire);
};

namespace {

thread_local TKeyCacheScope::State* tCache = nullptr;

constexpr os::REGSAM kViewBits = os::KEY_WOW64_64KEY | os::KEY_WOW64_32KEY;

// The same names, unit for unit. The held keys of a walk all share the
// path's beginning, so every open compares it several times over: byte
// equality is all that is needed, and far cheaper than an ordering compare
// of UTF-16 units one by one.
bool SameUnits(const char16_t* a, const char16_t* b, std::size_t n) {
    return std::memcmp(a, b, n * sizeof(char16_t)) == 0;
}

// Whether `ancestor` names `path` or a key above it; "" is the root itself.
bool IsAncestorOrSelf(const std::u16string& ancestor, std::u16string_view path) {
    if (ancestor.empty()) return true;
    if (path.size() < ancestor.size()) return false;
    if (path.size() != ancestor.size() && path[ancestor.size()] != u'\\') return false;
    return SameUnits(path.data(), ancestor.data(), ancestor.size());
}

// Whether a key opened below another through that key's handle is the key
// its full path names. Where the WOW64 registry redirector works (the
// 32-bit view on 64-bit Windows) a handle already stands for the redirected
// key, and a name below it would be redirected a second time; below
// HKEY_CLASSES_ROOT the system merges the user's and the machine's keys by
// path. Everywhere else a path is resolved name by name from the root, so
// the parent's handle stands for the same names.
bool RelativeOpenIsExact(os::HKEY root, os::REGSAM viewBits) {
    if (root == os::HKEY_CLASSES_ROOT || (viewBits & os::KEY_WOW64_32KEY)) return false;
    return (viewBits & os::KEY_WOW64_64KEY) || !IsWindows64();
}

}  // namespace

TKeyCacheScope::TKeyCacheScope() : state_(std::make_unique<State>()), previous_(tCache) { tCache = state_.get(); }

TKeyCacheScope::~TKeyCacheScope() { tCache = previous_; }

void RegistryChanged() { gChanges.fetch_add(1, std::memory_order_acq_rel); }

os::LSTATUS TReadKey::Open(os::HKEY root, const std::u16string& key, os::REGSAM access, RegView view) {
    key_.reset();
    auto* cache = tCache;
    if (!cache) {
        auto own = std::make_shared<RegKey>();
        auto status = own->Open(root, key, access, view);
        if (status == os::ERROR_SUCCESS) key_ = std::move(own);
        return status;
    }
    const auto changes = gChanges.load(std::memory_order_acquire);
    if (changes != cache->changes) {
        cache->entries.clear();
        cache->changes = changes;
    }
    // Compared in place: two reads in three are served from the cache,
    // nearly always by the key opened last, so the newest is asked first.
    std::u16string_view path(key);
    if (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
    const os::REGSAM viewBits = view.bits & kViewBits;
    for (auto entry = cache->entries.rbegin(); entry != cache->entries.rend(); ++entry) {
        if (entry->root == root && (entry->access & kViewBits) == viewBits && (entry->access & access) == access &&
            entry->path.size() == path.size() && SameUnits(entry->path.data(), path.data(), path.size())) {
            key_ = entry->key;
            return os::ERROR_SUCCESS;
        }
    }
    // A key below one the walk holds opens through its handle: the system
    // then looks up only the names below it, not the whole path again.
    const TKeyCacheScope::State::Entry* parent = nullptr;
    if (RelativeOpenIsExact(root, viewBits)) {
        for (const auto& entry : cache->entries) {
            if (entry.root == root && (entry.access & kViewBits) == viewBits && entry.path.size() < path.size() &&
                IsAncestorOrSelf(entry.path, path) && (!parent || entry.path.size() > parent->path.size()))
                parent = &entry;
        }
    }
    std::u16string below;
    if (parent) below.assign(path.substr(parent->path.empty() ? 0 : parent->path.size() + 1));
    // An empty name at the joint ("A\\\\B") is left to the full path.
    if (below.empty() || below.front() == u'\\') parent = nullptr;
    const std::shared_ptr<RegKey> through = parent ? parent->key : nullptr;
    auto open = [&](RegKey& into, os::REGSAM rights) {
        return through ? into.Open(through->get(), below, rights, view) : into.Open(root, key, rights, view);
    };
    auto opened = std::make_shared<RegKey>();
    os::REGSAM granted = access;
    auto status = static_cast<os::LSTATUS>(os::ERROR_ACCESS_DENIED);
    if ((access & ~os::KEY_READ) == 0 && access != os::KEY_READ) {
        status = open(*opened, os::KEY_READ);
        if (status == os::ERROR_SUCCESS) granted = os::KEY_READ;
    }
    if (status == static_cast<os::LSTATUS>(os::ERROR_ACCESS_DENIED)) status = open(*opened, access);
    if (status != os::ERROR_SUCCESS) return status;
    const os::REGSAM entryAccess = granted | viewBits;
    // The keys of this root, view and access that the new one is not below
    // are behind the walk now.
    std::erase_if(cache->entries, [&](const TKeyCacheScope::State::Entry& entry) {
        return entry.root == root && entry.access == entryAccess && !IsAncestorOrSelf(entry.path, path);
    });
    cache->entries.push_back({root, entryAccess, std::u16string(path), opened});
    key_ = std::move(opened);
    return os::ERROR_SUCCESS;
}

}  // namespace platform
