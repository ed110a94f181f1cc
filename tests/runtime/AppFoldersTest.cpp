#include <gtest/gtest.h>

#include "runtime/AppFolders.h"
#include "support/SeamTest.h"

using namespace runtime;

namespace {

class AppFoldersTest : public testsupport::SeamTest {
protected:
    bool IsFolder(const std::u16string& path) {
        auto attributes = os::GetFileAttributesW(path.c_str());
        return attributes != os::INVALID_FILE_ATTRIBUTES && (attributes & os::FILE_ATTRIBUTE_DIRECTORY);
    }
};

TEST_F(AppFoldersTest, SetDataFolderEndsInOneBackslashAndCreatesMissingParents) {
    auto nested = ScratchFolder() + u"\\a\\b";
    SetDataFolder(nested);
    EXPECT_EQ(GetDataFolder(), nested + u"\\");
    EXPECT_TRUE(IsFolder(nested));

    SetDataFolder(nested + u"\\");
    EXPECT_EQ(GetDataFolder(), nested + u"\\");
}

TEST_F(AppFoldersTest, AFolderThatCannotBeCreatedIsStillKept) {
    EXPECT_NO_THROW(SetDataFolder(u"Q:\\no-such-drive\\data"));
    EXPECT_EQ(GetDataFolder(), u"Q:\\no-such-drive\\data\\");
}

TEST_F(AppFoldersTest, InitAppFoldersUsesTheExecutablesFolder) {
    auto exe = ExecutablePath();
    ASSERT_FALSE(exe.empty());
    InitAppFolders();
    EXPECT_EQ(GetDataFolder(), exe.substr(0, exe.find_last_of(u'\\') + 1));
    if (testsupport::Native()) {
        EXPECT_EQ(GetDataFolder(), u"C:\\Tallowmend\\");
    }
    EXPECT_TRUE(IsFolder(GetDataFolder().substr(0, GetDataFolder().size() - 1)));
}

}  // namespace
