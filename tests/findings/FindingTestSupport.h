#pragma once

#include <string>
#include <vector>

#include "backups/JournalTestSupport.h"
#include "platform/RegKey.h"
#include "runtime/AppFolders.h"
#include "support/SeamTest.h"

namespace findingtest {

class FindingTest : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        runtime::SetDataFolder(ScratchFolder());
    }
    std::u16string Data() const { return ScratchFolder() + u"\\"; }

    void SetValue(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD type,
                  const std::string& bytes, os::REGSAM view = 0) {
        platform::RegKey h;
        ASSERT_EQ(h.Create(root, key, os::KEY_ALL_ACCESS, platform::RegView(view)), os::ERROR_SUCCESS);
        ASSERT_EQ(h.SetValue(name, type, bytes.data(), bytes.size()), os::ERROR_SUCCESS);
    }
    // Type and bytes of a value; type 0 and no bytes when it is missing.
    std::pair<os::DWORD, std::string> GetValue(os::HKEY root, const std::u16string& key, const std::u16string& name,
                                               os::REGSAM view = 0) {
        platform::RegKey h;
        os::DWORD type = 0;
        std::vector<std::uint8_t> data;
        if (h.Open(root, key, os::KEY_READ, platform::RegView(view)) != os::ERROR_SUCCESS ||
            h.QueryValue(name, type, data) != os::ERROR_SUCCESS)
            return {};
        return {type, std::string(data.begin(), data.end())};
    }
    bool KeyExists(os::HKEY root, const std::u16string& key, os::REGSAM view = 0) {
        platform::RegKey h;
        return h.Open(root, key, os::KEY_READ, platform::RegView(view)) == os::ERROR_SUCCESS;
    }
    // A registry link HKCU\link -> HKCU\target. False when links cannot be
    // made or are not followed here (the link is then removed again).
    bool MakeUserLink(const std::u16string& link, const std::u16string& target) {
        platform::RegKey h;
        if (h.Create(os::HKEY_CURRENT_USER, link, os::KEY_ALL_ACCESS | os::KEY_CREATE_LINK, platform::RegView(),
                     os::REG_OPTION_CREATE_LINK | os::REG_OPTION_VOLATILE) != os::ERROR_SUCCESS)
            return false;
        // The link's value holds the target's native path.
        auto native = u"\\Registry\\User\\S-1-5-21-0-0-0-1000\\" + target;
        h.SetValue(u"SymbolicLinkValue", os::REG_LINK, native.data(), native.size() * sizeof(char16_t));
        h.Close();
        if (KeyExists(os::HKEY_CURRENT_USER, link + u"\\" + TargetProbe())) return true;
        if (h.Open(os::HKEY_CURRENT_USER, link, os::KEY_ALL_ACCESS, platform::RegView(), os::REG_OPTION_OPEN_LINK) ==
            os::ERROR_SUCCESS)
            h.DeleteSelf();
        return false;
    }
    // A subkey every link target of MakeUserLink must hold, so that the
    // link is seen to lead there.
    static const char16_t* TargetProbe() { return u"Child"; }
    // The key's DACL bytes; empty when it cannot be read.
    std::string Dacl(os::HKEY root, const std::u16string& key) {
        platform::RegKey h;
        if (h.Open(root, key, os::READ_CONTROL, platform::RegView()) != os::ERROR_SUCCESS) return {};
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
