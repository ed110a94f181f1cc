#include "platform/RegistryAccess.h"

#include <limits>

#include "platform/KeyHandle.h"
#include "platform/Text.h"

namespace platform {

std::atomic<std::int32_t> RegistryViewFlag{0};

ERegistryError::ERegistryError(std::u16string message)
    : std::runtime_error(text::ToUtf8(message)), message_(std::move(message)) {}

namespace {


KeyHandle Open(os::HKEY root, const std::u16string& key, os::REGSAM sam, os::DWORD options = 0) {
    KeyHandle handle;
    if (os::RegOpenKeyExW(root, RelativeKeyPath(key), options, sam, handle.put()) != os::ERROR_SUCCESS)
        handle.release();
    return handle;
}

[[noreturn]] void ThrowSetFailed(const std::u16string& name) {
    throw ERegistryError(u"Failed to set data for '" + name + u"'");
}

// Names from RegEnumKeyExW / RegEnumValueW until the system says there are
// no more. The buffer starts at the key's reported maximum and grows when a
// longer name appears between the query and the walk.
template <typename EnumFn>
void Enumerate(os::DWORD maxChars, EnumFn enumerate, StringList& out) {
    std::u16string buffer(maxChars + 1, u'\0');
    for (os::DWORD index = 0;;) {
        auto chars = static_cast<os::DWORD>(buffer.size());
        auto status = enumerate(index, buffer.data(), &chars);
        if (status == static_cast<os::LSTATUS>(os::ERROR_MORE_DATA)) {
            if (buffer.size() >= 32768) break;  // longer than any registry name
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != os::ERROR_SUCCESS) break;
        out.emplace_back(buffer.data(), chars);
        ++index;
    }
}

void GetKeyNames(os::HKEY root, const std::u16string& key, StringList& names, os::REGSAM view) {
    auto handle = Open(root, key, kReadMask | view);
    if (!handle) return;
    os::DWORD maxSubKey = 0;
    os::RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, nullptr, &maxSubKey, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr);
    StringList result;
    Enumerate(
        maxSubKey,
        [&](os::DWORD i, char16_t* name, os::DWORD* chars) {
            return os::RegEnumKeyExW(handle.get(), i, name, chars, nullptr, nullptr, nullptr, nullptr);
        },
        result);
    names = std::move(result);
}

void GetValueNames(os::HKEY root, const std::u16string& key, StringList& names, os::REGSAM view) {
    auto handle = Open(root, key, kReadMask | view);
    if (!handle) return;
    os::DWORD maxName = 0;
    os::RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                         nullptr, nullptr, nullptr);
    StringList result;
    Enumerate(
        maxName,
        [&](os::DWORD i, char16_t* name, os::DWORD* chars) {
            return os::RegEnumValueW(handle.get(), i, name, chars, nullptr, nullptr, nullptr, nullptr);
        },
        result);
    names = std::move(result);
}

bool ReadString(os::HKEY root, const std::u16string& key, const std::u16string& name, std::u16string& out,
                os::REGSAM view) {
    out.clear();
    try {
        auto handle = Open(root, key, kReadMask | view);
        if (!handle) return false;
        std::u16string buffer;
        for (int attempt = 0; attempt < 8; ++attempt) {
            os::DWORD type = 0;
            os::DWORD bytes = static_cast<os::DWORD>(buffer.size() * sizeof(char16_t));
            auto status = os::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type,
                                               buffer.empty() ? nullptr : reinterpret_cast<os::BYTE*>(buffer.data()),
                                               &bytes);
            if (status == static_cast<os::LSTATUS>(os::ERROR_FILE_NOT_FOUND)) return true;
            if (status == os::ERROR_SUCCESS && buffer.empty() && bytes > 0) status = os::ERROR_MORE_DATA;
            if (status == static_cast<os::LSTATUS>(os::ERROR_MORE_DATA)) {
                // The value may have grown since the last look: ask again.
                buffer.assign((bytes + 1) / sizeof(char16_t) + 1, u'\0');
                continue;
            }
            if (status != os::ERROR_SUCCESS) return false;
            if (type != os::REG_SZ && type != os::REG_EXPAND_SZ) return false;
            std::u16string data(buffer.data(), std::min<std::size_t>(buffer.size(), bytes / sizeof(char16_t)));
            auto nul = data.find(u'\0');
            if (nul != std::u16string::npos) data.resize(nul);
            out = std::move(data);
            return true;
        }
        return false;
    } catch (...) {
        // Out of memory on a huge value, or anything else: a failed read.
        out.clear();
        return false;
    }
}

bool KeyExists(os::HKEY root, const std::u16string& key, os::REGSAM view) {
    return static_cast<bool>(Open(root, key, kExistsMask | view));
}

bool ValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name, os::REGSAM view) {
    auto handle = Open(root, key, kQueryMask | view);
    if (!handle) return false;
    os::DWORD type = 0;
    os::DWORD bytes = 0;
    auto status = os::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type, nullptr, &bytes);
    return status == os::ERROR_SUCCESS || status == static_cast<os::LSTATUS>(os::ERROR_MORE_DATA);
}

bool GetDataType(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD& type,
                 os::REGSAM view) {
    type = 0;
    auto handle = Open(root, key, kQueryMask | view);
    if (!handle) return true;
    os::DWORD raw = 0;
    os::DWORD bytes = 0;
    auto status = os::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &raw, nullptr, &bytes);
    if (status != os::ERROR_SUCCESS && status != static_cast<os::LSTATUS>(os::ERROR_MORE_DATA)) return true;
    if (raw == os::REG_SZ || raw == os::REG_EXPAND_SZ || raw == os::REG_BINARY || raw == os::REG_DWORD) type = raw;
    return true;
}

// Deletes `handle`'s key after its children. Every key on the way is opened
// with REG_OPTION_OPEN_LINK, so a symbolic link shows up as the link key
// itself (it has no subkeys) and is removed as such; the tree behind its
// target is never walked. The key is deleted through its own handle rather
// than by name from its parent, because a name lookup would follow a link.
bool DeleteOpenedTree(KeyHandle handle, os::REGSAM sam, int depth) {
    // Registry nesting is limited to 512 levels; stop far below any stack limit.
    if (depth < 600) {
        StringList children;
        os::DWORD maxSubKey = 0;
        os::RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, nullptr, &maxSubKey, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr);
        Enumerate(
            maxSubKey,
            [&](os::DWORD i, char16_t* name, os::DWORD* chars) {
                return os::RegEnumKeyExW(handle.get(), i, name, chars, nullptr, nullptr, nullptr, nullptr);
            },
            children);
        for (const auto& child : children) {
            KeyHandle sub;
            if (os::RegOpenKeyExW(handle.get(), child.c_str(), os::REG_OPTION_OPEN_LINK, sam, sub.put()) !=
                os::ERROR_SUCCESS) {
                sub.release();
                continue;  // the parent's own deletion will report it
            }
            DeleteOpenedTree(std::move(sub), sam, depth + 1);
        }
    }
    return os::RegDeleteKeyW(handle.get(), u"") == os::ERROR_SUCCESS;
}

bool DeleteKey(os::HKEY root, const std::u16string& key, os::REGSAM view) {
    if (!*RelativeKeyPath(key)) return false;  // that would be a whole root
    auto sam = kWriteMask | view;
    auto handle = Open(root, key, sam, os::REG_OPTION_OPEN_LINK);
    if (!handle) return false;
    return DeleteOpenedTree(std::move(handle), sam, 0);
}

bool CreateKey(os::HKEY root, const std::u16string& key, os::REGSAM view) {
    KeyHandle handle;
    os::DWORD disposition = 0;
    if (os::RegCreateKeyExW(root, RelativeKeyPath(key), 0, nullptr, os::REG_OPTION_NON_VOLATILE, kCreateMask | view,
                            nullptr, handle.put(), &disposition) != os::ERROR_SUCCESS) {
        handle.release();
        throw ERegistryError(u"Failed to create key " + key);
    }
    return true;
}

bool DeleteValue(os::HKEY root, const std::u16string& key, const std::u16string& name, os::REGSAM view) {
    auto handle = Open(root, key, kWriteMask | view);
    if (!handle) return false;
    return os::RegDeleteValueW(handle.get(), name.c_str()) == os::ERROR_SUCCESS;
}

// The frame of every write: open with the write mask; `required` decides
// whether a key that does not open is a refused write or nothing to do.
void Write(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD type, const void* data,
           std::size_t size, os::REGSAM view, bool required) {
    auto handle = Open(root, key, kWriteMask | view);
    if (!handle) {
        if (required) ThrowSetFailed(name);
        return;
    }
    if (size > std::numeric_limits<os::DWORD>::max()) ThrowSetFailed(name);
    if (os::RegSetValueExW(handle.get(), name.c_str(), 0, type, static_cast<const os::BYTE*>(data),
                           static_cast<os::DWORD>(size)) != os::ERROR_SUCCESS)
        ThrowSetFailed(name);
}

void WriteText(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD type,
               std::u16string_view text, os::REGSAM view, bool required) {
    std::u16string data(text);
    Write(root, key, name, type, data.c_str(), (data.size() + 1) * sizeof(char16_t), view, required);
}

os::REGSAM Flag() { return static_cast<os::REGSAM>(RegistryViewFlag.load()); }

}  // namespace

void RegistryGetKeyNames(os::HKEY root, const std::u16string& key, StringList& names) {
    GetKeyNames(root, key, names, Flag());
}
void RegistryGetKeyNames(os::HKEY root, const std::u16string& key, StringList& names, RegView view) {
    GetKeyNames(root, key, names, view.bits);
}

void RegistryGetValueNames(os::HKEY root, const std::u16string& key, StringList& names) {
    GetValueNames(root, key, names, Flag());
}
void RegistryGetValueNames(os::HKEY root, const std::u16string& key, StringList& names, RegView view) {
    GetValueNames(root, key, names, view.bits);
}

bool RegistryReadString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                        std::u16string& text) {
    return ReadString(root, key, name, text, Flag());
}
bool RegistryReadString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                        std::u16string& text, RegView view) {
    return ReadString(root, key, name, text, view.bits);
}

bool RegistryKeyExists(os::HKEY root, const std::u16string& key) { return KeyExists(root, key, Flag()); }
bool RegistryKeyExists(os::HKEY root, const std::u16string& key, RegView view) {
    return KeyExists(root, key, view.bits);
}

bool RegistryValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name) {
    return ValueExists(root, key, name, Flag());
}
bool RegistryValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name, RegView view) {
    return ValueExists(root, key, name, view.bits);
}

bool RegistryGetDataType(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD& type) {
    return GetDataType(root, key, name, type, Flag());
}
bool RegistryGetDataType(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD& type,
                         RegView view) {
    return GetDataType(root, key, name, type, view.bits);
}

bool RegistryDeleteKey(os::HKEY root, const std::u16string& key) { return DeleteKey(root, key, Flag()); }
bool RegistryDeleteKey(os::HKEY root, const std::u16string& key, RegView view) {
    return DeleteKey(root, key, view.bits);
}

bool RegistryCreateKey(os::HKEY root, const std::u16string& key) { return CreateKey(root, key, Flag()); }
bool RegistryCreateKey(os::HKEY root, const std::u16string& key, RegView view) {
    return CreateKey(root, key, view.bits);
}

bool RegistryDeleteValue(os::HKEY root, const std::u16string& key, const std::u16string& name) {
    return DeleteValue(root, key, name, Flag());
}
bool RegistryDeleteValue(os::HKEY root, const std::u16string& key, const std::u16string& name, RegView view) {
    return DeleteValue(root, key, name, view.bits);
}

void RegistryWriteBinary(os::HKEY root, const std::u16string& key, const std::u16string& name, const void* data,
                         std::size_t size) {
    Write(root, key, name, os::REG_BINARY, data, size, Flag(), false);
}
void RegistryWriteBinary(os::HKEY root, const std::u16string& key, const std::u16string& name, const void* data,
                         std::size_t size, RegView view) {
    Write(root, key, name, os::REG_BINARY, data, size, view.bits, false);
}

void RegistryWriteString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                         const std::u16string& text) {
    WriteText(root, key, name, os::REG_SZ, text, Flag(), false);
}
void RegistryWriteString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                         const std::u16string& text, RegView view) {
    WriteText(root, key, name, os::REG_SZ, text, view.bits, false);
}

void RegistryWriteExpandString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                               const std::u16string& text) {
    WriteText(root, key, name, os::REG_EXPAND_SZ, text, Flag(), false);
}
void RegistryWriteExpandString(os::HKEY root, const std::u16string& key, const std::u16string& name,
                               const std::u16string& text, RegView view) {
    WriteText(root, key, name, os::REG_EXPAND_SZ, text, view.bits, false);
}

void RegistryWriteInteger(os::HKEY root, const std::u16string& key, const std::u16string& name,
                          std::int32_t value) {
    Write(root, key, name, os::REG_DWORD, &value, sizeof value, Flag(), false);
}
void RegistryWriteInteger(os::HKEY root, const std::u16string& key, const std::u16string& name, std::int32_t value,
                          RegView view) {
    Write(root, key, name, os::REG_DWORD, &value, sizeof value, view.bits, false);
}

void RegistryPutString(os::HKEY root, const std::u16string& key, const std::u16string& name, const char16_t* text) {
    WriteText(root, key, name, os::REG_SZ, text ? std::u16string_view(text) : std::u16string_view(), Flag(), true);
}
void RegistryPutString(os::HKEY root, const std::u16string& key, const std::u16string& name, const char16_t* text,
                       RegView view) {
    WriteText(root, key, name, os::REG_SZ, text ? std::u16string_view(text) : std::u16string_view(), view.bits,
              true);
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
