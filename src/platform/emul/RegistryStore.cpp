#include "platform/emul/RegistryStore.h"

#include <algorithm>
#include <cstring>

#include "platform/Text.h"

namespace emul::reg {

// ---------------------------------------------------------------- values

Value::Value(std::u16string_view name, os::DWORD type, const os::BYTE* data, std::size_t bytes) : type_(type) {
    Fill(name, data, bytes);
}

void Value::Fill(std::u16string_view name, const os::BYTE* data, std::size_t bytes) {
    std::size_t units = name.size() + (bytes + 1) / 2;
    auto blob = std::make_unique<char16_t[]>(units ? units : 1);
    if (!name.empty()) std::memcpy(blob.get(), name.data(), name.size() * sizeof(char16_t));
    if (bytes) std::memcpy(blob.get() + name.size(), data, bytes);
    blob_ = std::move(blob);
    nameUnits_ = static_cast<std::uint32_t>(name.size());
    dataBytes_ = static_cast<std::uint32_t>(bytes);
}

void Value::Assign(os::DWORD type, const os::BYTE* data, std::size_t bytes) {
    std::u16string keep(name());
    type_ = type;
    Fill(keep, data, bytes);
}

std::ptrdiff_t ValueList::Position(std::u16string_view name) const {
    if (items_.size() < kIndexFrom) {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (text::EqualNoCase(items_[i].name(), name)) return static_cast<std::ptrdiff_t>(i);
        return -1;
    }
    if (!index_) Reindex();
    auto it = index_->find(text::UpCase(name));
    return it == index_->end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
}

void ValueList::Reindex() const {
    index_ = std::make_unique<std::unordered_map<std::u16string, std::uint32_t>>();
    index_->reserve(items_.size());
    for (std::size_t i = 0; i < items_.size(); ++i)
        index_->emplace(text::UpCase(items_[i].name()), static_cast<std::uint32_t>(i));
}

const Value* ValueList::Find(std::u16string_view name) const {
    auto pos = Position(name);
    return pos < 0 ? nullptr : &items_[static_cast<std::size_t>(pos)];
}

bool ValueList::Set(std::u16string_view name, os::DWORD type, const os::BYTE* data, std::size_t bytes) {
    auto pos = Position(name);
    if (pos >= 0) {
        items_[static_cast<std::size_t>(pos)].Assign(type, data, bytes);
        return false;
    }
    items_.emplace_back(name, type, data, bytes);
    if (index_) index_->emplace(text::UpCase(name), static_cast<std::uint32_t>(items_.size() - 1));
    return true;
}

bool ValueList::Erase(std::u16string_view name) {
    auto pos = Position(name);
    if (pos < 0) return false;
    items_.erase(items_.begin() + pos);
    // Positions behind the gap moved; rebuilding on the next lookup keeps
    // deletion simple and lookups fast.
    index_.reset();
    if (items_.empty()) items_.shrink_to_fit();
    return true;
}

std::size_t ValueList::Clear() {
    auto n = items_.size();
    std::vector<Value>().swap(items_);
    index_.reset();
    return n;
}

// ---------------------------------------------------------------- names

bool NameLess::operator()(const std::unique_ptr<Node>& a, const std::unique_ptr<Node>& b) const {
    return text::CompareNoCase(a->name, b->name) < 0;
}
bool NameLess::operator()(std::u16string_view a, const std::unique_ptr<Node>& b) const {
    return text::CompareNoCase(a, b->name) < 0;
}
bool NameLess::operator()(const std::unique_ptr<Node>& a, std::u16string_view b) const {
    return text::CompareNoCase(a->name, b) < 0;
}

std::vector<std::u16string_view> SplitPath(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    parts.reserve(static_cast<std::size_t>(std::count(path.begin(), path.end(), u'\\')) + 1);
    std::size_t start = 0;
    for (;;) {
        auto end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) {
            parts.push_back(path.substr(start));
            return parts;
        }
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
}

// ---------------------------------------------------------------- store

Store::Store() {
    machine.flags = kPinned;
    users.flags = kPinned;
    config.flags = kPinned;
}

Store& TheStore() {
    static Store store;
    return store;
}

namespace {

constexpr std::size_t kIndexedFrom = 64;

}  // namespace

Node* Store::Child(const Node* parent, std::u16string_view name) const {
    if (!parent->children) return nullptr;
    if (parent->children->size() < kIndexedFrom) {
        auto it = parent->children->find(name);
        return it == parent->children->end() ? nullptr : it->get();
    }
    auto* index = parent->index.load(std::memory_order_acquire);
    if (!index) {
        // Readers share the store's lock; the first to need the index makes it.
        std::lock_guard lock(indexMutex_);
        index = parent->index.load(std::memory_order_acquire);
        if (!index) {
            auto made = std::make_unique<ChildIndex>();
            made->byName.reserve(parent->children->size());
            for (const auto& child : *parent->children) made->byName.emplace(text::UpCase(child->name), child.get());
            index = made.release();
            parent->index.store(index, std::memory_order_release);
        }
    }
    auto it = index->byName.find(text::UpCase(name));
    return it == index->byName.end() ? nullptr : it->second;
}

Node* Store::AddChild(Node* parent, std::u16string_view name) {
    if (!parent->children) parent->children = std::make_unique<Children>();
    auto node = std::make_unique<Node>();
    node->name = std::u16string(name);
    node->parent = parent;
    auto* raw = node.get();
    parent->children->insert(std::move(node));
    if (auto* index = parent->index.load(std::memory_order_relaxed)) index->byName.emplace(text::UpCase(name), raw);
    ++keys_;
    ++generation_;
    return raw;
}

void Store::Discard(std::unique_ptr<Node> node) {
    node->DropIndex();
    if (node->children) {
        // Take the set apart element by element: each child may outlive it.
        auto children = std::move(node->children);
        while (!children->empty()) {
            auto handle = children->extract(children->begin());
            Discard(std::move(handle.value()));
        }
    }
    values_ -= node->values.Clear();
    --keys_;
    node->parent = nullptr;
    node->flags = static_cast<std::uint8_t>((node->flags & ~kLink) | kDeleted);
    if (node->openHandles > 0) {
        auto* raw = node.get();
        graveyard_.emplace(raw, std::move(node));
    }
}

void Store::Remove(Node* node) {
    auto* parent = node->parent;
    if (!parent || !parent->children) return;
    auto it = parent->children->find(std::u16string_view(node->name));
    if (it == parent->children->end() || it->get() != node) return;
    auto handle = parent->children->extract(it);
    if (auto* index = parent->index.load(std::memory_order_relaxed)) index->byName.erase(text::UpCase(node->name));
    if (parent->children->empty()) {
        parent->children.reset();
        parent->DropIndex();
    }
    ++generation_;
    Discard(std::move(handle.value()));
}

void Store::Empty(Node* node) {
    node->DropIndex();
    if (node->children) {
        auto children = std::move(node->children);
        ++generation_;
        while (!children->empty()) {
            auto handle = children->extract(children->begin());
            Discard(std::move(handle.value()));
        }
    }
    values_ -= node->values.Clear();
}

void Store::ReleaseHandle(Node* node) {
    if (node->openHandles > 0) --node->openHandles;
    if (node->openHandles == 0 && node->Has(kDeleted)) graveyard_.erase(node);
}

bool Store::SetValue(Node* node, std::u16string_view name, os::DWORD type, const os::BYTE* data, std::size_t bytes) {
    bool added = node->values.Set(name, type, data, bytes);
    if (added) ++values_;
    return added;
}

bool Store::DeleteValue(Node* node, std::u16string_view name) {
    if (!node->values.Erase(name)) return false;
    --values_;
    return true;
}

void Store::Clear() {
    // Handles stay valid after a reset: the keys they refer to become deleted.
    for (Node* root : {&machine, &users, &config}) Empty(root);
    ++generation_;
}

}  // namespace emul::reg
