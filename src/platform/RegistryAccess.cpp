#include "platform/RegistryAccess.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "platform/KeyCache.h"

namespace platform {
namespace {

[[noreturn]] void ThrowSetFailed(const std::u16string& name, os::LSTATUS status = 0) {
    throw ERegistryError(u"Failed to set data for '" + name + u"'", status);
}

// The frame of every write: open with the write mask; `required` decides
// whether a key that does not open is a refused write or nothing to do.
void Write(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD type, const void* data,
           std::size_t size, RegView view, bool required) {
    RegKey handle;
    if (auto status = handle.Open(root, key, kWriteMask, view)) {
        if (required) ThrowSetFailed(name, status);
        return;
    }
    if (size > std::numeric_limits<os::DWORD>::max()) ThrowSetFailed(name);
    if (auto status = handle.SetValue(name, type, data, size)) ThrowSetFailed(name, status);
}

void WriteText(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD type,
               std::u16string_view text, RegView view, bool required) {
    std::u16string data(text);
    Write(root, key, name, type, data.c_str(), (data.size() + 1) * sizeof(char16_t), view, required);
}

}  // namespace

void RegistryGetKeyNames(os::HKEY root, const std::u16string& key, StringList& names, RegView view) {
    TReadKey handle;
    if (handle.Open(root, key, kReadMask, view) == os::ERROR_SUCCESS) handle.get().SubKeyNames(names);
}

void RegistryGetValueNames(os::HKEY root, const std::u16string& key, StringList& names, RegView view) {
    TReadKey handle;
    if (handle.Open(root, key, kReadMask, view) == os::ERROR_SUCCESS) handle.get().ValueNames(names);
}

std::u16string TRegValue::Text() const {
    std::u16string result(data.size() / sizeof(char16_t), u'\0');
    for (std::size_t i = 0; i < result.size(); ++i)
        result[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    auto nul = result.find(u'\0');
    if (nul != std::u16string::npos) result.resize(nul);
    return result;
}

void TRegValues::Clear() {
    // One key of huge values does not keep its memory for the rest of a walk.
    constexpr std::size_t kKeptChars = std::size_t{1} << 20;
    if (names_.capacity() + texts_.capacity() + nameBuffer_.size() + dataBuffer_.size() / 2 > kKeptChars) {
        names_ = std::u16string();
        texts_ = std::u16string();
        nameBuffer_ = std::vector<char16_t>();
        dataBuffer_ = std::vector<std::uint8_t>();
    }
    names_.clear();
    texts_.clear();
    items_.clear();
}

void TRegValues::Add(const char16_t* name, std::size_t nameLength, os::DWORD type, const std::uint8_t* data,
                     std::size_t bytes) {
    Item item{names_.size(), nameLength, type, texts_.size(), 0};
    names_.append(name, nameLength);
    if (type == os::REG_SZ || type == os::REG_EXPAND_SZ) {
        for (std::size_t i = 0; i + 1 < bytes; i += 2) {
            auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (c == u'\0') break;
            texts_.push_back(c);
        }
        item.textLength = texts_.size() - item.text;
    }
    items_.push_back(item);
}

bool RegistryGetValues(os::HKEY root, const std::u16string& key, TRegValues& values, RegView view) {
    values.Clear();
    try {
        TReadKey handle;
        if (handle.Open(root, key, kReadMask, view) != os::ERROR_SUCCESS) return false;
        const os::HKEY hkey = handle.get().get();
        // Buffers that fit nearly every value, grown for the rest: asking
        // the key for its longest name and data first costs a call per key.
        auto& name = values.nameBuffer_;
        auto& data = values.dataBuffer_;
        if (name.size() < 256) name.resize(256);
        if (data.size() < 2048) data.resize(2048);
        constexpr auto kMoreData = static_cast<os::LSTATUS>(os::ERROR_MORE_DATA);
        for (os::DWORD index = 0, retries = 0;;) {
            auto chars = static_cast<os::DWORD>(name.size());
            auto bytes = static_cast<os::DWORD>(data.size());
            os::DWORD type = 0;
            auto status = os::RegEnumValueW(hkey, index, name.data(), &chars, nullptr, &type, data.data(), &bytes);
            if (status == kMoreData) {
                // A longer name or more data than the buffers hold: make
                // room for both and ask again, a few times.
                if (++retries > 8) {
                    values.Clear();
                    return false;
                }
                // No name is longer than 16,383 characters.
                if (name.size() < 32768) name.resize(name.size() * 2);
                data.resize(std::max<std::size_t>(static_cast<std::size_t>(bytes) + sizeof(char16_t), data.size() * 2));
                continue;
            }
            if (status == static_cast<os::LSTATUS>(os::ERROR_NO_MORE_ITEMS)) break;
            if (status != os::ERROR_SUCCESS || chars > name.size() || bytes > data.size()) {
                values.Clear();
                return false;
            }
            values.Add(name.data(), chars, type, data.data(), bytes);
            ++index;
            retries = 0;
        }
        return true;
    } catch (...) {
        // Out of memory on a huge value: the key reads as unreadable.
        values.Clear();
        return false;
    }
}

bool RegistryReadString(os::HKEY root, const std::u16string& key, const std::u16string& name, std::u16string& text,
                        RegView view) {
    text.clear();
    try {
        TReadKey handle;
        if (handle.Open(root, key, kReadMask, view) != os::ERROR_SUCCESS) return false;
        TRegValue value;
        auto status = handle.get().QueryValue(name, value.type, value.data);
        if (status == static_cast<os::LSTATUS>(os::ERROR_FILE_NOT_FOUND)) return true;
        if (status != os::ERROR_SUCCESS) return false;
        if (value.type != os::REG_SZ && value.type != os::REG_EXPAND_SZ) return false;
        text = value.Text();
        return true;
    } catch (...) {
        // Out of memory on a huge value, or anything else: a failed read.
        text.clear();
        return false;
    }
}

bool RegistryKeyExists(os::HKEY root, const std::u16string& key, RegView view) {
    TReadKey handle;
    return handle.Open(root, key, kExistsMask, view) == os::ERROR_SUCCESS;
}

bool RegistryValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name, RegView view) {
    TReadKey handle;
    if (handle.Open(root, key, kQueryMask, view) != os::ERROR_SUCCESS) return false;
    os::DWORD type = 0;
    os::DWORD bytes = 0;
    auto status = handle.get().QueryValueInfo(name, &type, &bytes);
    return status == os::ERROR_SUCCESS || status == static_cast<os::LSTATUS>(os::ERROR_MORE_DATA);
}

bool RegistryGetDataType(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD& type,
                         RegView view) {
    type = 0;
    TReadKey handle;
    if (handle.Open(root, key, kQueryMask, view) != os::ERROR_SUCCESS) return true;
    os::DWORD raw = 0;
    os::DWORD bytes = 0;
    auto status = handle.get().QueryValueInfo(name, &raw, &bytes);
    if (status != os::ERROR_SUCCESS && status != static_cast<os::LSTATUS>(os::ERROR_MORE_DATA)) return true;
    if (raw == os::REG_SZ || raw == os::REG_EXPAND_SZ || raw == os::REG_BINARY || raw == os::REG_DWORD) type = raw;
    return true;
}

bool RegistryDeleteKey(os::HKEY root, const std::u16string& key, RegView view) {
    return DeleteKeyTree(root, key, kWriteMask, DeleteOrder::EveryChild, view) == os::ERROR_SUCCESS;
}

bool RegistryCreateKey(os::HKEY root, const std::u16string& key, RegView view) {
    RegKey handle;
    if (auto status = handle.Create(root, key, kCreateMask, view))
        throw ERegistryError(u"Failed to create key " + key, status);
    return true;
}

bool RegistryDeleteValue(os::HKEY root, const std::u16string& key, const std::u16string& name, RegView view) {
    RegKey handle;
    if (handle.Open(root, key, kWriteMask, view) != os::ERROR_SUCCESS) return false;
    return handle.DeleteValue(name) == os::ERROR_SUCCESS;
}

void RegistryWriteBinary(os::HKEY root, const std::u16string& key, const std::u16string& name, const void* data,
                         std::size_t size, RegView view) {
    Write(root, key, name, os::REG_BINARY, data, size, view, false);
}

void RegistryWriteString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                         const std::u16string& text, RegView view) {
    WriteText(root, key, name, os::REG_SZ, text, view, false);
}

void RegistryWriteExpandString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                               const std::u16string& text, RegView view) {
    WriteText(root, key, name, os::REG_EXPAND_SZ, text, view, false);
}

void RegistryWriteInteger(os::HKEY root, const std::u16string& key, const std::u16string& name, std::int32_t value,
                          RegView view) {
    Write(root, key, name, os::REG_DWORD, &value, sizeof value, view, false);
}

void RegistryPutString(os::HKEY root, const std::u16string& key, const std::u16string& name, const char16_t* text,
                       RegView view) {
    WriteText(root, key, name, os::REG_SZ, text ? std::u16string_view(text) : std::u16string_view(), view, true);
}

std::u16string RootKeyName(os::HKEY root) {
    static const char16_t* const kNames[] = {
        u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER",   u"HKEY_LOCAL_MACHINE", u"HKEY_USERS",
        u"HKEY_PERFORMANCE_DATA", u"HKEY_CURRENT_CONFIG", u"HKEY_DYN_DATA",
    };
    auto value = os::KeyValue32(root);
    if (value >= 0x80000000u && value - 0x80000000u < std::size(kNames)) return kNames[value - 0x80000000u];
    static const char digits[] = "0123456789ABCDEF";
    std::u16string hex = u"0x";
    for (int shift = 28; shift >= 0; shift -= 4) hex += static_cast<char16_t>(digits[(value >> shift) & 0xF]);
    return hex;
}

}  // namespace platform
