#include "platform/RegKey.h"

#include "platform/KeyCache.h"
#include "platform/Text.h"

namespace platform {

std::atomic<std::int32_t> RegistryViewFlag{0};

ERegistryError::ERegistryError(std::u16string message, os::LSTATUS status)
    : std::runtime_error(text::ToUtf8(message)), message_(std::move(message)), status_(status) {}

namespace {

constexpr auto kMoreData = static_cast<os::LSTATUS>(os::ERROR_MORE_DATA);
constexpr os::DWORD kMaxKeyNameChars = 255;

// Names from RegEnumKeyExW / RegEnumValueW until the system says there are
// no more. The buffer starts at the longest a key's name can be, which is
// also as long as nearly every value's name, and grows for a longer one:
// asking the key for its longest name first would cost a call per key.
template <typename EnumFn>
os::LSTATUS Enumerate(EnumFn enumerate, StringList& out) {
    std::u16string buffer(kMaxKeyNameChars + 1, u'\0');
    for (os::DWORD index = 0;;) {
        auto chars = static_cast<os::DWORD>(buffer.size());
        auto status = enumerate(index, buffer.data(), &chars);
        if (status == kMoreData) {
            if (buffer.size() >= 32768) return status;  // longer than any registry name
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status == static_cast<os::LSTATUS>(os::ERROR_NO_MORE_ITEMS)) return os::ERROR_SUCCESS;
        if (status != os::ERROR_SUCCESS) return status;
        out.emplace_back(buffer.data(), chars);
        ++index;
    }
}

}  // namespace

os::LSTATUS RegKey::Open(os::HKEY parent, const std::u16string& path, os::REGSAM access, RegView view,
                         os::DWORD options) {
    key_.reset();
    os::HKEY opened = nullptr;
    auto status = os::RegOpenKeyExW(parent, RelativeKeyPath(path), options, access | view.bits, &opened);
    if (status == os::ERROR_SUCCESS) key_.reset(opened);
    return status;
}

os::LSTATUS RegKey::Create(os::HKEY parent, const std::u16string& path, os::REGSAM access, RegView view,
                           os::DWORD options) {
    key_.reset();
    TRegistryChange change;
    os::HKEY created = nullptr;
    os::DWORD disposition = 0;
    auto status = os::RegCreateKeyExW(parent, RelativeKeyPath(path), 0, nullptr, options, access | view.bits, nullptr,
                                      &created, &disposition);
    if (status == os::ERROR_SUCCESS) key_.reset(created);
    return status;
}

os::LSTATUS RegKey::QueryValueInfo(const std::u16string& name, os::DWORD* type, os::DWORD* bytes) const {
    return os::RegQueryValueExW(get(), name.c_str(), nullptr, type, nullptr, bytes);
}

os::LSTATUS RegKey::QueryValue(const std::u16string& name, os::DWORD& type, std::vector<std::uint8_t>& data) const {
    std::vector<std::uint8_t> buffer;
    for (int attempt = 0; attempt < 8; ++attempt) {
        auto bytes = static_cast<os::DWORD>(buffer.size());
        auto status = os::RegQueryValueExW(get(), name.c_str(), nullptr, &type,
                                           buffer.empty() ? nullptr : buffer.data(), &bytes);
        // Without a buffer the system answers the size alone.
        if (status == os::ERROR_SUCCESS && buffer.empty() && bytes > 0) status = kMoreData;
        if (status == kMoreData) {
            buffer.assign(bytes + sizeof(char16_t), 0);  // a little room for a value that grows
            continue;
        }
        if (status != os::ERROR_SUCCESS) return status;
        buffer.resize(bytes);
        data = std::move(buffer);
        return os::ERROR_SUCCESS;
    }
    return kMoreData;
}

os::LSTATUS RegKey::SetValue(const std::u16string& name, os::DWORD type, const void* data, std::size_t size) const {
    if (size > 0xFFFFFFF0u) return static_cast<os::LSTATUS>(os::ERROR_INVALID_PARAMETER);
    TRegistryChange change;
    std::vector<std::uint8_t> buffer(static_cast<const std::uint8_t*>(data),
                                     static_cast<const std::uint8_t*>(data) + size);
    buffer.push_back(0xFF);
    buffer.push_back(0xFF);
    return os::RegSetValueExW(get(), name.c_str(), 0, type, size == 0 ? nullptr : buffer.data(),
                              static_cast<os::DWORD>(size));
}

os::LSTATUS RegKey::DeleteValue(const std::u16string& name) const {
    TRegistryChange change;
    return os::RegDeleteValueW(get(), name.c_str());
}

os::LSTATUS RegKey::SubKeyNames(StringList& names) const {
    StringList result;
    auto status = Enumerate(
        [&](os::DWORD i, char16_t* name, os::DWORD* chars) {
            return os::RegEnumKeyExW(get(), i, name, chars, nullptr, nullptr, nullptr, nullptr);
        },
        result);
    if (status == os::ERROR_SUCCESS) names = std::move(result);
    return status;
}

os::LSTATUS RegKey::ValueNames(StringList& names) const {
    StringList result;
    auto status = Enumerate(
        [&](os::DWORD i, char16_t* name, os::DWORD* chars) {
            return os::RegEnumValueW(get(), i, name, chars, nullptr, nullptr, nullptr, nullptr);
        },
        result);
    if (status == os::ERROR_SUCCESS) names = std::move(result);
    return status;
}

os::LSTATUS RegKey::SaveTo(const std::u16string& file) const {
    return os::RegSaveKeyW(get(), file.c_str(), nullptr);
}

os::LSTATUS RegKey::RestoreFrom(const std::u16string& file, os::DWORD flags) const {
    TRegistryChange change;
    return os::RegRestoreKeyW(get(), file.c_str(), flags);
}

os::LSTATUS RegKey::DeleteSelf() const {
    TRegistryChange change;
    return os::RegDeleteKeyW(get(), u"");
}

namespace {

struct TreeDelete {
    os::REGSAM access;
    DeleteOrder order;
    RegView view;
    std::u16string* unopened;

    os::LSTATUS Child(const RegKey& parent, const std::u16string& parentPath, const std::u16string& name,
                      int depth) const {
        RegKey child;
        auto status = child.Open(parent.get(), name, access, view, os::REG_OPTION_OPEN_LINK);
        if (status != os::ERROR_SUCCESS) {
            if (unopened && unopened->empty()) *unopened = parentPath + u"\\" + name;
            return status;
        }
        return Tree(child, parentPath + u"\\" + name, depth + 1);
    }

    os::LSTATUS Tree(const RegKey& key, const std::u16string& path, int depth) const {
        // Registry nesting is limited to 512 levels; stop far below any stack limit.
        if (depth < 600) {
            if (order == DeleteOrder::EveryChild) {
                StringList children;
                key.SubKeyNames(children);
                for (const auto& child : children) Child(key, path, child, depth);
            } else {
                os::DWORD count = 0;
                os::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr);
                for (os::DWORD index = count; index-- > 0;) {
                    std::u16string name(256, u'\0');
                    auto chars = static_cast<os::DWORD>(name.size());
                    auto status =
                        os::RegEnumKeyExW(key.get(), index, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
                    if (status != os::ERROR_SUCCESS) return status;
                    name.resize(chars);
                    status = Child(key, path, name, depth);
                    if (status != os::ERROR_SUCCESS) return status;
                }
            }
        }
        return key.DeleteSelf();
    }
};

}  // namespace

os::LSTATUS DeleteKeyTree(os::HKEY root, const std::u16string& path, os::REGSAM access, DeleteOrder order,
                          RegView view, std::u16string* unopened) {
    if (!*RelativeKeyPath(path)) return static_cast<os::LSTATUS>(os::ERROR_INVALID_PARAMETER);  // a whole root
    RegKey key;
    auto status = key.Open(root, path, access, view, os::REG_OPTION_OPEN_LINK);
    if (status != os::ERROR_SUCCESS) {
        if (unopened) *unopened = path;
        return status;
    }
    return TreeDelete{access, order, view, unopened}.Tree(key, path, 0);
}

}  // namespace platform
