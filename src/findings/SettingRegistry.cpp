#include "findings/SettingRegistry.h"

namespace findings::setting {
namespace {

[[noreturn]] void ThrowOpen(os::HKEY root, const std::u16string& key, const char16_t* what, os::LSTATUS status) {
    throw platform::ERegistryError(
        u"Unable to open key \"" + platform::RootKeyName(root) + u"\\" + key + u"\" for " + what, status);
}

platform::RegKey Open(os::HKEY root, const std::u16string& key, os::REGSAM sam, os::REGSAM view) {
    platform::RegKey handle;
    handle.Open(root, key, sam, platform::RegView(view));
    return handle;
}

}  // namespace

bool ValueExists(os::HKEY root, const std::u16string& key, const std::u16string& name, os::REGSAM view) {
    auto handle = Open(root, key, os::KEY_READ, view);
    if (!handle) return false;
    os::DWORD type = 0;
    return handle.QueryValueInfo(name, &type, nullptr) == os::ERROR_SUCCESS;
}

void WriteString(os::HKEY root, const std::u16string& key, const std::u16string& name, const std::u16string& text,
                 os::REGSAM view) {
    if (!Open(root, key, os::KEY_READ, view)) CreateKey(root, key, view);
    platform::RegKey handle;
    auto status = handle.Open(root, key, os::KEY_SET_VALUE | os::KEY_CREATE_SUB_KEY | os::READ_CONTROL,
                              platform::RegView(view));
    if (status != os::ERROR_SUCCESS) ThrowOpen(root, key, u"write", status);
    status = handle.SetValue(name, os::REG_SZ, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    if (status != os::ERROR_SUCCESS) ThrowOpen(root, key, u"write", status);
}

bool KeyExists(os::HKEY root, const std::u16string& key, os::REGSAM view) {
    return static_cast<bool>(Open(root, key, os::KEY_READ, view));
}

os::LSTATUS CreateKey(os::HKEY root, const std::u16string& key, os::REGSAM view) {
    platform::RegKey handle;
    return handle.Create(root, key, os::KEY_ALL_ACCESS, platform::RegView(view));
}

platform::StringList SubKeys(os::HKEY root, const std::u16string& key) {
    platform::RegKey handle;
    if (auto status = handle.Open(root, key, os::KEY_READ, platform::RegView::Default()))
        ThrowOpen(root, key, u"read", status);
    platform::StringList names;
    handle.SubKeyNames(names);
    return names;
}

void UnlockTree(os::HKEY root, const std::u16string& key) {
    std::u16string unreadable;
    if (auto status = platform::UnlockKeyTree(root, key, platform::RegView::Default(), true, &unreadable))
        ThrowOpen(root, unreadable, u"read", status);
}

bool DeleteTree(os::HKEY root, const std::u16string& key) {
    std::u16string unopened;
    auto status = platform::DeleteKeyTree(root, key, os::KEY_ALL_ACCESS, platform::DeleteOrder::LastFirstUntilOneStays,
                                          platform::RegView::Default(), &unopened);
    if (status != os::ERROR_SUCCESS && !unopened.empty()) ThrowOpen(root, unopened, u"write", status);
    return status == os::ERROR_SUCCESS;
}

}  // namespace findings::setting
