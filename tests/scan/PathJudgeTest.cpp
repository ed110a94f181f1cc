// The path judgement over real files: natively on the emulated machine's
// mapped drive C:, under Wine on the prefix's drive C:. Everything a test
// creates lies in its own scratch folder or carries a unique name and is
// removed afterwards.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Text.h"
#include "scan/PathChecks.h"
#include "support/SeamTest.h"
#ifdef _WIN32
#include <stdlib.h>
#else
#include "platform/emul/Machine.h"
#endif

namespace scan {
namespace {

std::u16string Replace(std::u16string s, std::u16string_view from, std::u16string_view to) {
    for (std::size_t at = s.find(from); at != std::u16string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// The seam has no call to change the environment; the program never does.
void SetEnv(const std::u16string& name, const std::u16string& value) {
#ifdef _WIN32
    std::u16string assignment = name + u"=" + value;
    _wputenv(reinterpret_cast<const wchar_t*>(assignment.c_str()));
#else
    emul::SetEnv(name, value);
#endif
}

bool Exists(const std::u16string& path) { return os::GetFileAttributesW(path.c_str()) != os::INVALID_FILE_ATTRIBUTES; }

bool MakeFile(const std::u16string& path) {
    os::HANDLE h = os::CreateFileW(path.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS,
                                   os::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == os::INVALID_HANDLE_VALUE) return false;
    os::CloseHandle(h);
    return true;
}

// Creates every folder on the way, then the file (or, with a trailing
// backslash, only the folders).
void MakePath(const std::u16string& path) {
    for (std::size_t at = path.find(u'\\', 3); at != std::u16string::npos; at = path.find(u'\\', at + 1))
        os::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    if (path.back() != u'\\') {
        ASSERT_TRUE(MakeFile(path)) << text::ToUtf8(path);
    }
}

class PathFixture : public testsupport::SeamTest {
protected:
    void TearDown() override {
        // Files outside the scratch folder, made by the test, in the view
        // they were made in.
        for (auto it = outside_.rbegin(); it != outside_.rend(); ++it) {
            void* old = nullptr;
            bool native = it->second && os::Wow64DisableWow64FsRedirection(&old);
            if (!os::DeleteFileW(it->first.c_str())) os::RemoveDirectoryW(it->first.c_str());
            if (native) os::Wow64RevertWow64FsRedirection(old);
        }
        SeamTest::TearDown();
    }

    // A unique name for files placed outside the scratch folder.
    std::u16string Unique() const {
        auto folder = ScratchFolder();
        return u"tm-" + folder.substr(folder.rfind(u'\\') + 1);
    }

    // Makes the file unless it is there; only what was made is removed.
    void MakeOutside(const std::u16string& path, bool nativeView = false) {
        void* old = nullptr;
        bool native = nativeView && os::Wow64DisableWow64FsRedirection(&old);
        ASSERT_EQ(native, nativeView) << "no native view to create " << text::ToUtf8(path);
        if (!Exists(path)) {
            bool made = path.back() == u'\\' ? os::CreateDirectoryW(path.c_str(), nullptr) != 0 : MakeFile(path);
            if (made) outside_.emplace_back(path, nativeView);
            EXPECT_TRUE(made) << text::ToUtf8(path);
        }
        if (native) os::Wow64RevertWow64FsRedirection(old);
    }

    TPathJudge judge;

private:
    std::vector<std::pair<std::u16string, bool>> outside_;
};

// <S> stands for the scratch folder. `files` are made before the check.
struct PathCase {
    const char* name;
    const char16_t* text;
    bool invalid;
    std::vector<const char16_t*> files;
};

class PathExamples : public PathFixture, public ::testing::WithParamInterface<PathCase> {};

TEST_P(PathExamples, Judges) {
    const PathCase& c = GetParam();
    auto S = ScratchFolder();
    for (const char16_t* f : c.files) MakePath(Replace(f, u"<S>", S));
    // The system folders hold shell32.dll on any Windows; the emulated
    // machine's fresh drive has only the folders.
    MakeOutside(u"C:\\Windows\\system32\\shell32.dll");
    SetEnv(u"TM_TEST_APPS", S + u"\\Program Files");

    auto text = Replace(c.text, u"<S>", S);
    EXPECT_EQ(judge.IsPathInvalid(text), c.invalid) << text::ToUtf8(text);
}

const char16_t* const kApp = u"<S>\\Program Files\\App\\app.exe";

INSTANTIATE_TEST_SUITE_P(
    Table, PathExamples,
    ::testing::Values(
        PathCase{"Empty", u"", false, {}}, PathCase{"BareFileName", u"shell32.dll", false, {}},
        PathCase{"ExpandsToExistingFile", u"%SystemRoot%\\system32\\shell32.dll", false, {}},
        PathCase{"ExpandsToMissingFile", u"%TM_TEST_APPS%\\Missing\\app.exe", true, {kApp}},
        PathCase{"UndefinedVariableStays", u"%TM_UNDEFINED_VARIABLE%\\x.exe", false, {}},
        PathCase{"IconIndexOfExistingFile", u"C:\\Windows\\system32\\shell32.dll,-101", false, {}},
        PathCase{"IconIndexOfMissingFile", u"<S>\\Missing\\x.dll,0", true, {}},
        PathCase{"SwitchEndsThePath", u"<S>\\Program Files\\App\\app.exe /background", false, {kApp}},
        // Unquoted command lines: the program is the shortest text up to a
        // blank that names a file, as process creation finds it.
        PathCase{"DashArgumentFollowsTheProgram", u"<S>\\Program Files\\App\\app.exe -silent", false, {kApp}},
        PathCase{"ProgramFoundWithExeAdded", u"<S>\\Program Files\\App\\app -silent", false, {kApp}},
        PathCase{"ProgramMissingBeforeArguments", u"<S>\\Program Files\\App\\gone.exe -silent", true, {kApp}},
        PathCase{"ShortestProgramRunsFirst", u"<S>\\App b\\c.exe", false, {u"<S>\\App.exe"}},
        PathCase{"AFolderIsNoProgram", u"<S>\\Program Files\\App -x", true, {kApp}},
        PathCase{"ProgramBeforeASecondDrivePath", u"<S>\\x.exe <S>\\y.txt", false, {u"<S>\\x.exe", u"<S>\\y.txt"}},
        PathCase{"SecondColonEndsAMissingProgram", u"<S>\\x.exe <S>\\y.txt", true, {u"<S>\\y.txt"}},
        PathCase{"QuotedCommandLine", u"\"<S>\\Missing\\x.exe\" /a", false, {}},
        PathCase{"ResourceUrl", u"res://<S>\\Missing\\x.dll/1", false, {}},
        PathCase{"LowerCaseDrive", u"c:\\windows", false, {}},
        PathCase{"EveryOccurrenceOfTheSuffixGoes", u"<S>\\dir,1\\x.dll,1", false, {u"<S>\\dir\\x.dll"}},
        PathCase{"SuffixGoneButFileMissing", u"<S>\\dir,1\\x.dll,1", true, {u"<S>\\dir,1\\x.dll"}},
        PathCase{"SpaceStopsTheSuffix", u"<S>\\x.dll,1 /abc", false, {u"<S>\\x.dll,1"}},
        PathCase{"SpaceStopsTheSuffixMissing", u"<S>\\x.dll,1 /abc", true, {u"<S>\\x.dll"}},
        // Floppy drives are never looked at, so nothing is known about them.
        PathCase{"FloppyNeverJudged", u"A:\\setup.exe", false, {}},
        PathCase{"DriveOnly", u"C:", false, {}}, PathCase{"ForwardSlashes", u"C:/Windows/notepad.exe", false, {}},
        PathCase{"NetworkPath", u"\\\\server\\share\\x.exe", false, {}},
        PathCase{"BlanksAroundAreTrimmed", u"  \t<S>\\Program Files\\App\\app.exe \r\n", false, {kApp}},
        PathCase{"PathWithSpacesAndNoArguments", u"<S>\\Program Files\\App\\app.exe", false, {kApp}},
        PathCase{"FolderCountsAsPresent", u"<S>\\Program Files\\App /x", false, {kApp}},
        PathCase{"CutBeforeCharactersOutsideTheCodePage",
                 u"<S>\\\u041f\u0440\u0438\u0432\u0435\u0442\u4e2d\\missing.exe", false, {}},
        PathCase{"PathOnASecondLine", u"note\n<S>\\Missing\\x.exe", true, {}}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

// rundll32 lines: healthy while rundll32 finds its library, searched as
// the loader does when it is a bare name. <R> is the system's rundll32,
// <L> a library of a unique name, made where the case says.
enum class Library { Nowhere, SystemFolder, WindowsFolder, Scratch };

struct RundllCase {
    const char* name;
    const char16_t* text;
    Library where;
    bool invalid;
};

void PrintTo(const RundllCase& c, std::ostream* out) { *out << c.name; }

class RundllLines : public PathFixture, public ::testing::WithParamInterface<RundllCase> {};

TEST_P(RundllLines, Judges) {
    const RundllCase& c = GetParam();
    const std::u16string rundll = u"C:\\Windows\\System32\\rundll32.exe";
    MakeOutside(rundll);
    // Without the dot of the test's name: a bare name must have no extension.
    std::u16string base = Unique();
    for (auto& ch : base)
        if (ch == u'.') ch = u'-';
    const std::u16string library = base + u".dll";
    switch (c.where) {
        case Library::SystemFolder: MakeOutside(u"C:\\Windows\\System32\\" + library); break;
        case Library::WindowsFolder: MakeOutside(u"C:\\Windows\\" + library); break;
        case Library::Scratch: MakePath(ScratchFolder() + u"\\" + library); break;
        case Library::Nowhere: break;
    }
    auto text = Replace(Replace(Replace(c.text, u"<R>", rundll), u"<S>", ScratchFolder()), u"<L>", base);
    EXPECT_EQ(judge.IsPathInvalid(text), c.invalid) << text::ToUtf8(text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RundllLines,
    ::testing::Values(
        RundllCase{"BareLibraryInTheSystemFolder", u"<R> <L>.dll,Control_RunDLL", Library::SystemFolder, false},
        RundllCase{"BareNameGetsDll", u"<R> <L>,InstallHinfSection DefaultInstall 132 %1", Library::SystemFolder,
                   false},
        RundllCase{"BareLibraryInTheWindowsFolder", u"<R> <L>.dll,Start", Library::WindowsFolder, false},
        RundllCase{"BareLibraryNowhere", u"<R> <L>.dll,Start", Library::Nowhere, true},
        RundllCase{"BareLibraryBesideTheLineIsNotSearched", u"<R> <L>.dll,Start", Library::Scratch, true},
        RundllCase{"LibraryPathThere", u"<R> <S>\\<L>.dll,Start", Library::Scratch, false},
        RundllCase{"LibraryPathGone", u"<R> <S>\\<L>.dll,Start", Library::SystemFolder, true},
        RundllCase{"QuotedLibraryPath", u"<R> \"<S>\\<L>.dll\",Start", Library::Scratch, false},
        RundllCase{"AnyCaseWithoutExe", u"C:\\Windows\\System32\\RUNDLL32 <L>.dll,Start", Library::Nowhere, true},
        RundllCase{"AnyCaseWithoutExeFound", u"c:\\windows\\system32\\RunDll32 <L>.dll,Start",
                   Library::SystemFolder, false},
        RundllCase{"ExpandedProgram", u"%SystemRoot%\\System32\\rundll32.exe <L>.dll,Start", Library::SystemFolder,
                   false},
        RundllCase{"RundllItselfGone", u"<S>\\rundll32.exe <L>.dll,Start", Library::SystemFolder, true},
        RundllCase{"RelativeLibraryCannotBeDecided", u"<R> sub\\<L>.dll,Start", Library::Nowhere, false},
        RundllCase{"NoLibraryAtAll", u"<R>  ", Library::Nowhere, false}),
    [](const ::testing::TestParamInfo<RundllCase>& info) { return std::string(info.param.name); });

TEST_F(PathFixture, DriveThatIsNotReadyCountsAsAPresentFolder) {
#ifdef _WIN32
    SKIP_ON_WINE("a prefix has no removable drive without media");
#else
    emul::MapDrive(u'D', std::filesystem::temp_directory_path());
    emul::SetDriveNotReady(u'D', true);
    EXPECT_FALSE(judge.IsPathInvalid(u"D:\\x.exe"));
    EXPECT_FALSE(SafeFileExists(u"D:\\x.exe"));
    EXPECT_TRUE(SafeDirectoryExists(u"D:\\x.exe"));
#endif
}

// An unplugged stick, an unmapped network drive: what its paths name
// cannot be known.
TEST_F(PathFixture, PathsOnADriveThatIsNotThereAreNeverMissing) {
    auto drive = testsupport::AbsentDrive();
    ASSERT_FALSE(drive.empty()) << "every drive letter is in use";
    MakeOutside(u"C:\\Windows\\System32\\rundll32.exe");
    EXPECT_FALSE(DriveCanBeJudged(drive + u"\\Tools\\app.exe"));
    EXPECT_FALSE(judge.IsPathInvalid(drive + u"\\Tools\\app.exe -tray"));
    EXPECT_FALSE(judge.IsPathInvalid(u"C:\\Windows\\System32\\rundll32.exe " + drive + u"\\x.dll,Start"));
    EXPECT_TRUE(DriveCanBeJudged(u"c:\\x"));
    EXPECT_TRUE(judge.IsPathInvalid(ScratchFolder() + u"\\gone.exe -tray"));
}

TEST_F(PathFixture, ExistenceTestsTellFilesFromFolders) {
    auto S = ScratchFolder();
    MakePath(S + u"\\f.txt");
    EXPECT_TRUE(SafeFileExists(S + u"\\f.txt"));
    EXPECT_FALSE(SafeDirectoryExists(S + u"\\f.txt"));
    EXPECT_TRUE(SafeDirectoryExists(S));
    EXPECT_FALSE(SafeFileExists(S));
    EXPECT_FALSE(SafeFileExists(S + u"\\nope.txt"));
    EXPECT_FALSE(SafeDirectoryExists(S + u"\\nope\\deeper"));
    for (std::u16string_view shortName : {u"C:", u"C", u""}) {
        EXPECT_FALSE(SafeFileExists(shortName));
        EXPECT_FALSE(SafeDirectoryExists(shortName));
    }
    // Capital A and B only: the guard is about the floppy drives' letters.
    EXPECT_FALSE(SafeDirectoryExists(u"B:\\"));
    EXPECT_TRUE(SafeDirectoryExists(u"c:\\"));
}

TEST_F(PathFixture, ExpandEnvVarsTrimsAndKeepsUnknownReferences) {
    SetEnv(u"TM_TEST_DIR", u"C:\\Some Dir");
    EXPECT_EQ(ExpandEnvVars(u""), u"");
    EXPECT_EQ(ExpandEnvVars(u"  %TM_TEST_DIR%  "), u"C:\\Some Dir");
    EXPECT_EQ(ExpandEnvVars(u"%TM_TEST_DIR%\\%TM_NOT_SET%\\x"), u"C:\\Some Dir\\%TM_NOT_SET%\\x");
    // Longer than any buffer guess.
    std::u16string longValue(5000, u'x');
    SetEnv(u"TM_TEST_LONG", longValue);
    EXPECT_EQ(ExpandEnvVars(u"%TM_TEST_LONG%%TM_TEST_LONG%"), longValue + longValue);
}

// A 32-bit process on 64-bit Windows sees C:\Windows\System32 redirected to
// SysWOW64 and %ProgramFiles% naming the x86 folder; registrations of 64-bit
// programs are still valid. Alone and within a scan, where a path's answer
// may be remembered for both views.
class BothViews : public PathFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PathFixture::SetUp();
        SKIP_UNLESS_WOW64();
        if (GetParam()) scan_.emplace();
    }
    void TearDown() override {
        scan_.reset();
        PathFixture::TearDown();
    }

private:
    std::optional<TPathMemoScope> scan_;
};

TEST_P(BothViews, FileOnlyInTheNativeSystemFolderIsNotMissing) {
    auto name = u"C:\\Windows\\System32\\" + Unique() + u".dll";
    MakeOutside(name, /*nativeView=*/true);
    EXPECT_FALSE(SafeFileExists(name));  // hidden from this process
    // Asked in this process's view first, then in every spelling.
    EXPECT_TRUE(InEitherView(name, PathExists));
    for (const auto& text : {name, u"c:\\WINDOWS\\system32\\" + Unique() + u".dll",
                             u"C:\\Windows\\System32\\" + Unique() + u".dll /s",
                             u"%SystemRoot%\\System32\\" + Unique() + u".dll,-5"})
        EXPECT_FALSE(judge.IsPathInvalid(text)) << text::ToUtf8(text);
}

TEST_P(BothViews, FileOnlyInSysWow64IsNotMissing) {
    auto name = u"C:\\Windows\\System32\\" + Unique() + u".dll";
    MakeOutside(u"C:\\Windows\\SysWOW64\\" + Unique() + u".dll", /*nativeView=*/true);
    EXPECT_TRUE(SafeFileExists(name));
    EXPECT_FALSE(judge.IsPathInvalid(name));
}

TEST_P(BothViews, FileInNeitherFolderIsMissing) {
    EXPECT_TRUE(judge.IsPathInvalid(u"C:\\Windows\\System32\\" + Unique() + u".dll"));
    EXPECT_TRUE(judge.IsPathInvalid(u"%ProgramFiles%\\" + Unique() + u"\\app.exe"));
    EXPECT_TRUE(judge.IsPathInvalid(u"%CommonProgramFiles%\\" + Unique() + u"\\x.dll"));
}

TEST_P(BothViews, ProgramFolderVariablesAlsoNameTheNativeFolders) {
    for (auto [variable, native] : {std::pair{u"ProgramFiles", u"ProgramW6432"},
                                    std::pair{u"CommonProgramFiles", u"CommonProgramW6432"}}) {
        auto nativeFolder = ExpandEnvVars(u"%" + std::u16string(native) + u"%");
        ASSERT_NE(nativeFolder.front(), u'%') << "no " << text::ToUtf8(native);
        MakeOutside(nativeFolder + u"\\" + Unique() + u"\\");
        MakeOutside(nativeFolder + u"\\" + Unique() + u"\\app.exe");
        auto text = u"%" + std::u16string(variable) + u"%\\" + Unique() + u"\\app.exe /s";
        EXPECT_FALSE(judge.IsPathInvalid(text)) << text::ToUtf8(text);
        // The x86 variable that shares the prefix is a different name.
        EXPECT_TRUE(judge.IsPathInvalid(u"%" + std::u16string(variable) + u"(x86)%\\" + Unique() + u"\\app.exe"));
    }
}

INSTANTIATE_TEST_SUITE_P(AloneAndInAScan, BothViews, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "InAScan" : "Alone"; });

#ifndef _WIN32
TEST_F(PathFixture, On32BitWindowsThereIsOnlyOneView) {
    emul::SetArch(emul::Arch::Windows32);
    EXPECT_TRUE(judge.IsPathInvalid(u"C:\\Windows\\System32\\" + Unique() + u".dll"));
    EXPECT_FALSE(judge.IsPathInvalid(u"C:\\Windows"));
}

// Links count only when their target is there.
TEST_F(PathFixture, LinksAreFollowed) {
    namespace fs = std::filesystem;
    auto S = ScratchFolder();
    MakePath(S + u"\\target\\f.txt");
    auto host = [](const std::u16string& p) { return emul::HostPath(p); };
    fs::create_directory_symlink(host(S + u"\\target"), host(S) / "dirlink");
    fs::create_symlink(host(S + u"\\target\\f.txt"), host(S) / "filelink");
    fs::create_symlink(host(S) / "gone", host(S) / "dangling");
    EXPECT_TRUE(SafeDirectoryExists(S + u"\\dirlink"));
    EXPECT_FALSE(SafeFileExists(S + u"\\dirlink"));
    EXPECT_TRUE(SafeFileExists(S + u"\\filelink"));
    EXPECT_FALSE(SafeDirectoryExists(S + u"\\filelink"));
    EXPECT_TRUE(judge.IsPathInvalid(S + u"\\dangling"));
    EXPECT_FALSE(judge.IsPathInvalid(S + u"\\dirlink\\f.txt /q"));
}

// The expressions see text in the code page, where a full-width colon or
// backslash becomes the plain one: such text names a drive path for them
// just as the plain spelling does, whatever shortcut spares plain text the
// expression.
TEST_F(PathFixture, FullWidthDelimitersReachTheExpressionAsPlainOnes) {
    auto S = ScratchFolder();
    const std::u16string rest = S.substr(2) + u"\\Missing\\x.exe";
    ASSERT_TRUE(judge.IsPathInvalid(S + u"\\Missing\\x.exe"));
    for (const auto& text : {S.substr(0, 1) + u"\uff1a" + rest, S.substr(0, 2) + u"\uff3c" + S.substr(3) +
                                                                     u"\\Missing\\x.exe"})
        EXPECT_TRUE(judge.IsPathInvalid(text)) << text::ToUtf8(text);
}

// Code page 932: a two-byte character's second byte may be the code of "|"
// or "\"; the path must still be cut on whole characters.
TEST_F(PathFixture, TwoByteCodePageCutsOnWholeCharacters) {
    emul::SetCodePage(932);
    auto S = ScratchFolder();
    // U+30DD is 0x83 0x7C in code page 932; U+30BD is 0x83 0x5C.
    auto folder = S + u"\\\u30dd\u30a4\u30f3\u30c8\u30bd\u30d5\u30c8";
    MakePath(folder + u"\\app.exe");
    EXPECT_FALSE(judge.IsPathInvalid(folder + u"\\app.exe /S"));
    EXPECT_FALSE(judge.IsPathInvalid(folder + u"\\app.exe,-101"));
    EXPECT_TRUE(judge.IsPathInvalid(folder + u"\\missing.exe /S"));
    EXPECT_TRUE(judge.IsPathInvalid(folder + u"\u30dd\\app.exe"));

    auto match = judge.WindowsPathRegEx().MatchAnsi(folder + u"\\a|b");
    ASSERT_TRUE(match);
    EXPECT_EQ(match->End(1), folder.size() + 2);  // the real bar still ends it
}
#endif

}  // namespace
}  // namespace scan

namespace scan {
namespace {

class PathMemo : public testsupport::SeamTest {};

// A scan remembers what it learnt about a path for its own run only: the
// file put back after a scan (by the user, or by the fix step's undo) is
// there for the next scan, and for any judgement outside a scan.
TEST_F(PathMemo, AnswersLastForOneScopeAndNoOtherThreadOrLaterScopeSeesThem) {
    TPathJudge judge;
    const std::u16string file = ScratchFolder() + u"\\later.dll";
    {
        TPathMemoScope scan;
        ASSERT_TRUE(judge.IsPathInvalid(file));
        testsupport::WriteFile(file, "MZ");
        EXPECT_TRUE(judge.IsPathInvalid(file)) << "remembered within the scan";
        bool elsewhere = true;
        std::thread([&] { elsewhere = judge.IsPathInvalid(file); }).join();
        EXPECT_FALSE(elsewhere) << "another thread saw this scan's answer";
    }
    EXPECT_FALSE(judge.IsPathInvalid(file)) << "outside a scan";
    TPathMemoScope next;
    EXPECT_FALSE(judge.IsPathInvalid(file)) << "a new scan started with the old answer";
}

}  // namespace
}  // namespace scan
