// The key handles a scan keeps: a read never goes through a handle to a key
// that was deleted and made again since, whichever thread changed it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/KeyCache.h"
#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "support/SeamTest.h"

namespace platform {
namespace {

class KeyCache : public testsupport::SeamTest {};

std::u16string Read(const std::u16string& key) {
    std::u16string text;
    RegistryReadString(os::HKEY_CURRENT_USER, key, u"Path", text);
    return text;
}

TEST_F(KeyCache, AReadAfterTheKeyWasDeletedAndMadeAgainSeesTheNewKey) {
    const std::u16string key = ScratchKey() + u"\\Entry";
    // The change as the fix step and an undo make it: delete, create, write.
    auto replace = [&] {
        ASSERT_TRUE(RegistryDeleteKey(os::HKEY_CURRENT_USER, key));
        RegistryCreateKey(os::HKEY_CURRENT_USER, key);
        RegistryWriteString(os::HKEY_CURRENT_USER, key, u"Path", u"C:\\new.dll");
    };
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"on the scan's thread", replace},
        {"on another thread", [&] { std::thread(replace).join(); }},
    };
    for (const auto& [where, change] : changes) {
        SCOPED_TRACE(where);
        RegistryCreateKey(os::HKEY_CURRENT_USER, key);
        RegistryWriteString(os::HKEY_CURRENT_USER, key, u"Path", u"C:\\old.dll");
        TKeyCacheScope scan;
        ASSERT_EQ(Read(key), u"C:\\old.dll");
        ASSERT_TRUE(RegistryKeyExists(os::HKEY_CURRENT_USER, key));
        change();
        EXPECT_EQ(Read(key), u"C:\\new.dll");
        StringList names;
        RegistryGetValueNames(os::HKEY_CURRENT_USER, key, names);
        EXPECT_EQ(names, StringList{u"Path"});
        ASSERT_TRUE(RegistryDeleteKey(os::HKEY_CURRENT_USER, key));
        EXPECT_FALSE(RegistryKeyExists(os::HKEY_CURRENT_USER, key)) << "a deleted key still reads as there";
    }
}

// Under a scope a key below a held one opens through the held key's handle;
// each read must still find what a read of the full path finds.
TEST_F(KeyCache, AKeyBelowAHeldKeyReadsWhatItsFullPathReads) {
    const std::u16string base = ScratchKey();
    const auto view = RegView::Wow64_64();
    for (const char16_t* sub : {u"\\A", u"\\A\\B", u"\\A\\B\\C", u"\\AB", u"\\A\\BC", u"\\B\\C"}) {
        RegistryCreateKey(os::HKEY_CURRENT_USER, base + sub, view);
        RegistryWriteString(os::HKEY_CURRENT_USER, base + sub, u"Path", sub, view);
    }
    const std::u16string paths[] = {base,
                                    base + u"\\A",
                                    base + u"\\B\\C",  // a sibling of the held key, the same length
                                    base + u"\\A",
                                    base + u"\\A\\B",
                                    base + u"\\A\\B\\C",
                                    base + u"\\AB",
                                    base + u"\\A\\BC",
                                    base + u"\\A\\\\B",
                                    base + u"\\A\\Gone",
                                    base + u"\\a\\b",
                                    u"\\" + base + u"\\A"};
    auto read = [&](const std::u16string& key) {
        std::u16string text;
        RegistryReadString(os::HKEY_CURRENT_USER, key, u"Path", text, view);
        return (RegistryKeyExists(os::HKEY_CURRENT_USER, key, view) ? u"+" : u"-") + text;
    };
    std::vector<std::u16string> alone;
    for (const auto& path : paths) alone.push_back(read(path));
    TKeyCacheScope scan;
    for (std::size_t i = 0; i < std::size(paths); ++i)
        EXPECT_EQ(text::ToUtf8(read(paths[i])), text::ToUtf8(alone[i])) << text::ToUtf8(paths[i]);
}

}  // namespace
}  // namespace platform
