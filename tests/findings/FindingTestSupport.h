#pragma once

#include <string>
#include <vector>

#include "backups/JournalTestSupport.h"
#include "platform/KeyHandle.h"
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
};

inline std::string Utf16Bytes(std::u16string_view s) {
    std::string out;
    for (char16_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return out;
}

}  // namespace findingtest
