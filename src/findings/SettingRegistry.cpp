#include "findings/SettingRegistry.h"

#include "platform/KeyHandle.h"

namespace findings::setting {
namespace {

[[noreturn]] void ThrowOpen(os::HKEY root, const std::u16string& key, const char16_t* what) {
    throw platform::ERegistryError(u"Unable to open key \"" + platform::RootKeyName(root) + u"\\" + key + u"\" for " +
                                   what);
}

platform::KeyHandle Open(os::HKEY root, const std::u16string& key, os::REGSAM sam) {
    platform::KeyHandle handle;
    if (os::RegOpenKeyExW(root, key.c_str(), 0, sam, handle.put()) != os::ERROR_SUCCESS) handle.release();
    return handle;
}

}  // namespace

bool ValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name, os::REGSAM view) {
    auto handle = Open(root, key, os::KEY_READ | view);
    if (!handle) return false;
    os::DWORD type = 0;
    return os::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type, nullptr, nullptr) == os::ERROR_SUCCESS;
}

void WriteString(os::HKEY root, const std::u16string& key, const std::u16string& name, const std::u16string& text,
                 os::REGSAM view) {
    if (!Open(root, key, os::KEY_READ | view)) CreateKey(root, key, view);
    auto handle = Open(root, key, os::KEY_SET_VALUE | os::KEY_CREATE_SUB_KEY | os::READ_CONTROL | view);
    if (!handle) ThrowOpen(root, key, u"write");
    auto bytes = static_cast<os::DWORD>((text.size() + 1) * sizeof(char16_t));
    if (os::RegSetValueExW(handle.get(), name.c_str(), 0, os::REG_SZ, reinterpret_cast<const os::BYTE*>(text.c_str()),
                           bytes) != os::ERROR_SUCCESS)
        ThrowOpen(root, key, u"write");
}

bool KeyExists(os::HKEY root, const std::u16string& key, os::REGSAM view) {
    return static_cast<bool>(Open(root, key, os::KEY_READ | view));
}

os::LSTATUS CreateKey(os::HKEY root, const std::u16string& key, os::REGSAM view) {
    platform::KeyHandle handle;
    return os::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, os::KEY_ALL_ACCESS | view, nullptr, handle.put(),
                               nullptr);
}

platform::StringList SubKeys(os::HKEY root, const std::u16string& key) {
    auto handle = Open(root, key, os::KEY_READ);
    if (!handle) ThrowOpen(root, key, u"read");
    platform::StringList names;
    for (os::DWORD index = 0;; ++index) {
        char16_t name[512];
        os::DWORD chars = 512;
        if (os::RegEnumKeyExW(handle.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
            os::ERROR_SUCCESS)
            break;
        names.emplace_back(name, chars);
    }
    return names;
}

bool DeleteTree(os::HKEY root, const std::u16string& key) {
    bool allGone = true;
    {
        auto handle = Open(root, key, os::KEY_ALL_ACCESS);
        if (!handle) ThrowOpen(root, key, u"write");
        os::DWORD count = 0;
        os::RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr);
        for (os::DWORD index = count; index-- > 0;) {
            char16_t name[512];
            os::DWORD chars = 512;
            if (os::RegEnumKeyExW(handle.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr) !=
                    os::ERROR_SUCCESS ||
                !DeleteTree(root, key + u"\\" + std::u16string(name, chars))) {
                allGone = false;
                break;
            }
        }
    }
    return allGone && os::RegDeleteKeyW(root, key.c_str()) == os::ERROR_SUCCESS;
}

}  // namespace findings::setting
