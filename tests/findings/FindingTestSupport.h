#pragma once

#include <string>
#include <vector>

#include "app/AppFolders.h"
#include "backups/JournalTestSupport.h"
#include "platform/Handle.h"
#include "support/SeamTest.h"

namespace findingtest {

class FindingTest : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        app::SetDataFolder(ScratchFolder());
    }
    std::u16string Data() const { return ScratchFolder() + u"\\"; }

    void SetValue(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD type,
                  const std::string& bytes, os::REGSAM view = 0) {
        platform::KeyHandle h;
        ASSERT_EQ(os::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, os::KEY_ALL_ACCESS | view, nullptr, h.put(),
                                      nullptr),
                  os::ERROR_SUCCESS);
        // A non-NUL character after the counted bytes: the system would
        // otherwise take a NUL that happens to follow for a terminator.
        const std::string buffer = bytes + "\xFF\xFF";
        ASSERT_EQ(os::RegSetValueExW(h.get(), name.c_str(), 0, type,
                                     reinterpret_cast<const os::BYTE*>(buffer.data()),
                                     static_cast<os::DWORD>(bytes.size())),
                  os::ERROR_SUCCESS);
    }
    // Type and bytes of a value; type 0 and no bytes when it is missing.
    std::pair<os::DWORD, std::string> GetValue(os::HKEY root, const std::u16string& key, const std::u16string& name,
                                               os::REGSAM view = 0) {
        platform::KeyHandle h;
        if (os::RegOpenKeyExW(root, key.c_str(), 0, os::KEY_READ | view, h.put()) != os::ERROR_SUCCESS) return {};
        os::DWORD type = 0, size = 0;
        if (os::RegQueryValueExW(h.get(), name.c_str(), nullptr, &type, nullptr, &size) != os::ERROR_SUCCESS)
            return {};
        std::string bytes(size, '\0');
        os::RegQueryValueExW(h.get(), name.c_str(), nullptr, &type, reinterpret_cast<os::BYTE*>(bytes.data()), &size);
        bytes.resize(size);
        return {type, bytes};
    }
    bool KeyExists(os::HKEY root, const std::u16string& key, os::REGSAM view = 0) {
        platform::KeyHandle h;
        return os::RegOpenKeyExW(root, key.c_str(), 0, os::KEY_READ | view, h.put()) == os::ERROR_SUCCESS;
    }
    // A registry link HKCU\link -> HKCU\target. False when links cannot be
    // made or are not followed here (the link is then removed again).
    bool MakeUserLink(const std::u16string& link, const std::u16string& target) {
        platform::KeyHandle h;
        if (os::RegCreateKeyExW(os::HKEY_CURRENT_USER, link.c_str(), 0, nullptr,
                                os::REG_OPTION_CREATE_LINK | os::REG_OPTION_VOLATILE,
                                os::KEY_ALL_ACCESS | os::KEY_CREATE_LINK, nullptr, h.put(), nullptr) != os::ERROR_SUCCESS)
            return false;
        // The link's value holds the target's native path.
        auto native = u"\\Registry\\User\\S-1-5-21-0-0-0-1000\\" + target;
        os::RegSetValueExW(h.get(), u"SymbolicLinkValue", 0, os::REG_LINK,
                           reinterpret_cast<const os::BYTE*>(native.data()), static_cast<os::DWORD>(native.size() * 2));
        h.reset();
        if (KeyExists(os::HKEY_CURRENT_USER, link + u"\\" + TargetProbe())) return true;
        platform::KeyHandle parent;
        auto cut = link.rfind(u'\\');
        if (os::RegOpenKeyExW(os::HKEY_CURRENT_USER, link.substr(0, cut).c_str(), 0, os::KEY_ALL_ACCESS,
                              parent.put()) == os::ERROR_SUCCESS) {
            platform::KeyHandle self;
            if (os::RegOpenKeyExW(parent.get(), link.substr(cut + 1).c_str(), os::REG_OPTION_OPEN_LINK,
                                  os::KEY_ALL_ACCESS, self.put()) == os::ERROR_SUCCESS)
                os::RegDeleteKeyW(self.get(), u"");
        }
        return false;
    }
    // A subkey every link target of MakeUserLink must hold, so that the
    // link is seen to lead there.
    static const char16_t* TargetProbe() { return u"Child"; }
    // The key's DACL bytes; empty when it cannot be read.
    std::string Dacl(os::HKEY root, const std::u16string& key) {
        platform::KeyHandle h;
        if (os::RegOpenKeyExW(root, key.c_str(), 0, os::READ_CONTROL, h.put()) != os::ERROR_SUCCESS) return {};
        os::DWORD bytes = 0;
        os::RegGetKeySecurity(h.get(), os::DACL_SECURITY_INFORMATION, nullptr, &bytes);
        std::string sd(bytes, '\0');
        if (os::RegGetKeySecurity(h.get(), os::DACL_SECURITY_INFORMATION, sd.data(), &bytes) != os::ERROR_SUCCESS)
            return {};
        sd.resize(bytes);
        return sd;
    }
};

inline std::string Utf16Bytes(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
}

}  // namespace findingtest
