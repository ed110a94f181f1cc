// The default-setting checks over the registry the process sees: natively
// the emulated machine, under Wine the prefix's registry, whose fixed
// locations the tests change and put back afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "WizardTestSupport.h"
#include "app/DefaultSettingChecks.h"
#include "findings/RegKeyProduct.h"
#include "findings/RegStrDataProduct.h"
#include "platform/Handle.h"
#include "platform/RegistryAccess.h"

namespace apptest {
namespace {

using app::TMainForm;
using Found = std::vector<std::string>;

const char16_t kServices[] = u"SYSTEM\\CurrentControlSet\\Services";
const char16_t kWinlogon[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

std::u16string Expand(const std::u16string& text) {
    char16_t buffer[1024];
    auto chars = os::ExpandEnvironmentStringsW(text.c_str(), buffer, 1024);
    return chars > 0 ? std::u16string(buffer, chars - 1) : std::u16string();
}

std::u16string SystemFolder() {
    char16_t buffer[os::MAX_PATH + 1];
    auto chars = os::GetSystemDirectoryW(buffer, os::MAX_PATH + 1);
    return std::u16string(buffer, chars);
}

// Remembers registry locations before a test changes them and puts them back
// (value data and type, or their absence, and keys the test created).
class RegistryRestorer {
public:
    ~RegistryRestorer() { Restore(); }

    void Keep(os::HKEY root, const std::u16string& key, const std::u16string& name, os::REGSAM view = 0) {
        Saved s;
        s.root = root;
        s.key = key;
        s.name = name;
        s.view = view;
        // The outermost key that the test would create.
        for (std::u16string path = key; !path.empty() && !Opens(root, path, view);) {
            s.created = path;
            auto cut = path.rfind(u'\\');
            path = cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
        }
        platform::RegKey handle;
        if (handle.Open(root, key, os::KEY_READ, platform::RegView(view)) == os::ERROR_SUCCESS) {
            s.existed = handle.QueryValue(name, s.type, s.data) == os::ERROR_SUCCESS;
        }
        saved_.push_back(std::move(s));
    }

    void Restore() {
        for (auto s = saved_.rbegin(); s != saved_.rend(); ++s) {
            if (!s->created.empty()) {
                testsupport::DeleteTree(s->root, s->created, s->view);
                continue;
            }
            platform::RegKey handle;
            if (handle.Open(s->root, s->key, os::KEY_ALL_ACCESS, platform::RegView(s->view)) != os::ERROR_SUCCESS)
                continue;
            if (s->existed)
                handle.SetValue(s->name, s->type, s->data.data(), s->data.size());
            else
                handle.DeleteValue(s->name);
        }
        saved_.clear();
    }

private:
    struct Saved {
        os::HKEY root = nullptr;
        std::u16string key;
        std::u16string name;
        std::u16string created;
        os::REGSAM view = 0;
        bool existed = false;
        os::DWORD type = 0;
        std::vector<os::BYTE> data;
    };

    static bool Opens(os::HKEY root, const std::u16string& key, os::REGSAM view) {
        platform::RegKey handle;
        return handle.Open(root, key, os::KEY_READ, platform::RegView(view)) == os::ERROR_SUCCESS;
    }

    std::vector<Saved> saved_;
};

// The checks read fixed locations of the one registry that every test
// process under Wine shares: while a test changes them, no other may. Held
// as a file that opens for one process at a time.
class MachineSettingsLock {
public:
    MachineSettingsLock() {
        if (testsupport::Native()) return;
        const char16_t path[] = u"C:\\tallowmend-tests\\setting-checks.lock";
        for (int waited = 0; waited < 1200; ++waited) {
            file_ = os::CreateFileW(path, os::GENERIC_WRITE, 0, nullptr, os::OPEN_ALWAYS, 0, nullptr);
            if (file_ != os::INVALID_HANDLE_VALUE) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "another test kept the machine settings for a minute";
    }
    ~MachineSettingsLock() {
        if (file_ != os::INVALID_HANDLE_VALUE) os::CloseHandle(file_);
    }
    MachineSettingsLock(const MachineSettingsLock&) = delete;
    MachineSettingsLock& operator=(const MachineSettingsLock&) = delete;

private:
    os::HANDLE file_ = os::INVALID_HANDLE_VALUE;
};

// Every location the value checks read, in the order they read them.
struct Row {
    os::HKEY root;
    std::u16string key;
    std::u16string value;
};

std::vector<Row> ValueRows() {
    std::vector<Row> rows;
    for (const char16_t* type : {u"batfile", u"exefile", u"comfile", u"scrfile", u"webpnpFile", u"piffile"})
        rows.push_back({os::HKEY_CLASSES_ROOT, std::u16string(type) + u"\\shell\\Open\\Command", u""});
    for (const char16_t* type : {u"JSFile", u"jsefile", u"vbefile", u"wshfile", u"vbsfile", u"wsffile"})
        for (const char16_t* verb : {u"Open", u"Open2"})
            rows.push_back({os::HKEY_CLASSES_ROOT, std::u16string(type) + u"\\shell\\" + verb + u"\\Command", u""});
    for (const char16_t* name : {u"UserInit", u"UIHost", u"Shell"}) rows.push_back({os::HKEY_LOCAL_MACHINE, kWinlogon, name});
    rows.push_back({os::HKEY_CLASSES_ROOT, u".bat", u""});
    rows.push_back({os::HKEY_CLASSES_ROOT, u".bat\\PersistentHandler", u""});
    rows.push_back({os::HKEY_CLASSES_ROOT, u".exe", u""});
    rows.push_back({os::HKEY_CLASSES_ROOT, u".exe", u"Content Type"});
    rows.push_back({os::HKEY_CLASSES_ROOT, u".exe\\PersistentHandler", u""});
    return rows;
}

class SettingChecksTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        lock_ = std::make_unique<MachineSettingsLock>();
        prefix_ = u"TmTest" + text::FromAscii(std::to_string(os::GetCurrentProcessId())) + u"-" +
                  text::FromAscii(std::to_string(counter_++)) + u"-";
        // Start from settings that are all unset in every view the checks
        // read, and a services key that only Windows' own services share
        // with the test's.
        for (const auto& row : ValueRows())
            for (os::REGSAM view : app::SettingViews()) {
                restorer_.Keep(row.root, row.key, row.value, view);
                platform::RegKey handle;
                if (handle.Open(row.root, row.key, os::KEY_ALL_ACCESS, platform::RegView(view)) == os::ERROR_SUCCESS)
                    handle.DeleteValue(row.value);
            }
        restorer_.Keep(os::HKEY_LOCAL_MACHINE, kServices, u"");
        CreateKey(os::HKEY_LOCAL_MACHINE, kServices);
        form = std::make_unique<TMainForm>(*app, app::TSettingChecks{});
    }
    void TearDown() override {
        WizardTest::TearDown();
        restorer_.Restore();
        lock_.reset();
    }

    static void CreateKey(os::HKEY root, const std::u16string& key) {
        platform::RegKey handle;
        ASSERT_EQ(handle.Create(root, key, os::KEY_ALL_ACCESS, platform::RegView()), os::ERROR_SUCCESS);
    }

    void SetRaw(os::HKEY root, const std::u16string& key, const std::u16string& name, os::DWORD type,
                const std::vector<os::BYTE>& data, os::REGSAM view = 0) {
        restorer_.Keep(root, key, name, view);
        platform::RegKey handle;
        ASSERT_EQ(handle.Create(root, key, os::KEY_ALL_ACCESS, platform::RegView(view)), os::ERROR_SUCCESS);
        ASSERT_EQ(handle.SetValue(name, type, data.data(), data.size()), os::ERROR_SUCCESS);
    }

    // The text as UTF-16LE bytes, with its terminating null unless told.
    static std::vector<os::BYTE> Bytes(const std::u16string& text, bool terminated = true) {
        std::vector<os::BYTE> bytes;
        for (char16_t c : text) {
            bytes.push_back(static_cast<os::BYTE>(c & 0xFF));
            bytes.push_back(static_cast<os::BYTE>(c >> 8));
        }
        if (terminated) bytes.insert(bytes.end(), {0, 0});
        return bytes;
    }

    void SetString(os::HKEY root, const std::u16string& key, const std::u16string& name, const std::u16string& text,
                   os::DWORD type = os::REG_SZ, os::REGSAM view = 0) {
        SetRaw(root, key, name, type, Bytes(Fill(text)), view);
    }

    // A service key of the test's own ("A" becomes a name no other run uses).
    std::u16string ServiceKey(const std::u16string& name) const {
        return std::u16string(kServices) + u"\\" + prefix_ + name;
    }
    void SetService(const std::u16string& name, const std::u16string& valueName, const std::u16string& data) {
        auto key = ServiceKey(name);
        if (valueName == u"ServiceDll") key += u"\\Parameters";
        SetString(os::HKEY_LOCAL_MACHINE, key, valueName, data);
    }

    // $D is the test's folder, $ROOT the expanded %SystemRoot%, $SYS the system folder.
    std::u16string Fill(std::u16string text) const {
        for (const auto& [mark, with] : {std::pair<std::u16string, std::u16string>{u"$D", ScratchFolder()},
                                         {u"$ROOT", Expand(u"%SystemRoot%")},
                                         {u"$SYS", SystemFolder()}})
            for (auto at = text.find(mark); at != std::u16string::npos; at = text.find(mark, at + with.size()))
                text.replace(at, mark.size(), with);
        return text;
    }

    void MakeFile(const std::u16string& path) {
        auto file = os::CreateFileW(Fill(path).c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, os::INVALID_HANDLE_VALUE);
        os::CloseHandle(file);
    }

    // The entries as "value <root>\<key>|<name> = <data> -> <expected>" and
    // "key <root>\<key>", the test's own service names shortened back;
    // services that Windows itself set up are left out.
    Found Entries() const {
        Found out;
        for (int i = 0; i < form->ResultsListBox->Count(); ++i) {
            auto* product = static_cast<findings::TScanProduct*>(form->ResultsListBox->Item(i).Data);
            EXPECT_TRUE(form->ResultsListBox->Item(i).Checked);
            EXPECT_EQ(form->ResultsListBox->Item(i).Text, product->GetDescription());
            if (auto* v = dynamic_cast<findings::TRegStrDataProduct*>(product)) {
                out.push_back("value " + text::ToUtf8(platform::RootKeyName(v->RootKey()) + u"\\" + v->Key() + u"|" +
                                                      v->Value() + u" = " + v->Data() + u" -> " + v->RightData()));
            } else if (auto* k = dynamic_cast<findings::TRegKeyProduct*>(product)) {
                EXPECT_FALSE(k->Compromised());
                auto mine = std::u16string(kServices) + u"\\" + prefix_;
                if (k->RootKey() != os::HKEY_LOCAL_MACHINE || k->Key().rfind(mine, 0) != 0) continue;
                out.push_back("key " + text::ToUtf8(k->Key().substr(mine.size())));
            } else {
                ADD_FAILURE() << "unexpected finding class";
            }
        }
        return out;
    }

    Found Check() {
        app::TDefaultSettingChecks(*form).Run();
        return Entries();
    }

    std::unique_ptr<MachineSettingsLock> lock_;
    RegistryRestorer restorer_;
    std::u16string prefix_;
    static inline unsigned counter_ = 0;
};

// ------------------------------------------------------------ value checks

struct Write {
    os::HKEY root;
    std::u16string key;
    std::u16string name;
    std::u16string data;
    os::DWORD type = os::REG_SZ;
};

struct ValueCase {
    const char* name;
    std::vector<Write> writes;
    Found expected;
};

void PrintTo(const ValueCase& c, std::ostream* out) { *out << c.name; }

const os::HKEY CR = os::HKEY_CLASSES_ROOT;
const os::HKEY LM = os::HKEY_LOCAL_MACHINE;
const std::string kLogon = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const std::string kWScript = "%SystemRoot%\\System32\\WScript.exe \"%1\" %*";
const std::string kCScript = "%SystemRoot%\\System32\\CScript.exe \"%1\" %*";

const ValueCase kValueCases[] = {
    {"UnsetOrEmptyValuesMakeNothing",
     {{CR, u"batfile\\shell\\Open\\Command", u"", u""}, {LM, kWinlogon, u"Shell", u""}},
     {}},
    {"CaseAndBlanksAndControlCharactersAtTheEndsAreIgnored",
     {{CR, u"batfile\\shell\\Open\\Command", u"", u"  \"%1\" %*\t\r\n"},
      {CR, u"scrfile\\shell\\Open\\Command", u"", u"\"%1\" /s"},
      {LM, kWinlogon, u"Shell", u"EXPLORER.EXE "},
      {CR, u".exe", u"Content Type", u"Application/X-MSDownload"},
      {CR, u".bat\\PersistentHandler", u"", u"{5E941D80-BF96-11CD-B579-08002B30BFEB}"}},
     {}},
    {"AnExpandedPathMatchesItsVariableAndTheReverse",
     {{CR, u"webpnpFile\\shell\\Open\\Command", u"", u"$ROOT\\system32\\wpnpinst.exe %1"},
      {LM, kWinlogon, u"UserInit", u"%SystemRoot%\\System32\\userinit.exe,"}},
     {}},
    {"OnlyBlanksMakeAFinding",
     {{LM, kWinlogon, u"Shell", u"   "}},
     {"value " + kLogon + "|Shell =     -> Explorer.exe"}},
    {"AnotherProgramMakesAFinding",
     {{CR, u"exefile\\shell\\Open\\Command", u"", u"C:\\bad.exe \"%1\" %*"},
      {LM, kWinlogon, u"Shell", u"explorer.exe bad.exe"}},
     {"value HKEY_CLASSES_ROOT\\exefile\\shell\\Open\\Command| = C:\\bad.exe \"%1\" %* -> \"%1\" %*",
      "value " + kLogon + "|Shell = explorer.exe bad.exe -> Explorer.exe"}},
    {"ScriptCommandsWithOrWithoutQuotesAreDefaults",
     {{CR, u"JSFile\\shell\\Open\\Command", u"", u"\"%SystemRoot%\\System32\\WScript.exe\" \"%1\" %*"},
      {CR, u"vbsfile\\shell\\Open2\\Command", u"", u"%SystemRoot%\\System32\\CScript.exe \"%1\" %*"},
      {CR, u"wsffile\\shell\\Open\\Command", u"", u"\"$ROOT\\SYSTEM32\\wscript.exe\" \"%1\" %*"}},
     {}},
    {"OtherScriptCommandsExpectTheUnquotedForm",
     {{CR, u"jsefile\\shell\\Open\\Command", u"", u"C:\\evil.exe \"%1\""},
      {CR, u"jsefile\\shell\\Open2\\Command", u"", u"\"%SystemRoot%\\System32\\WScript.exe\" \"%1\" %*"},
      {CR, u"wshfile\\shell\\Open2\\Command", u"", u"\"%SystemRoot%\\System32\\CScript.exe\" %1 %*"}},
     {"value HKEY_CLASSES_ROOT\\jsefile\\shell\\Open\\Command| = C:\\evil.exe \"%1\" -> " + kWScript,
      "value HKEY_CLASSES_ROOT\\jsefile\\shell\\Open2\\Command| = \"%SystemRoot%\\System32\\WScript.exe\" \"%1\" %* -> " +
          kCScript,
      "value HKEY_CLASSES_ROOT\\wshfile\\shell\\Open2\\Command| = \"%SystemRoot%\\System32\\CScript.exe\" %1 %* -> " +
          kCScript}},
    {"UserInitNeedsItsComma",
     {{LM, kWinlogon, u"UserInit", u"$SYS\\userinit.exe"}},
     {"@UserInit"}},
    {"ExpandableStringsAreReportedUnexpanded",
     {{LM, kWinlogon, u"UIHost", u"%SystemRoot%\\logonui.exe", os::REG_EXPAND_SZ},
      {CR, u".bat", u"", u"%ComSpec%", os::REG_EXPAND_SZ}},
     {"value " + kLogon + "|UIHost = %SystemRoot%\\logonui.exe -> logonui.exe",
      "value HKEY_CLASSES_ROOT\\.bat| = %ComSpec% -> batfile"}},
    {"BinaryDataIsReadAsText",
     {{CR, u".exe", u"", u"exefile", os::REG_BINARY}, {CR, u".bat", u"", u"cmdfile", os::REG_BINARY}},
     {"value HKEY_CLASSES_ROOT\\.bat| = cmdfile -> batfile"}},
};

class ValueChecksTest : public SettingChecksTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueChecksTest, FindsExactlyTheAlteredSettings) {
    const auto& c = GetParam();
    for (const auto& w : c.writes) SetString(w.root, w.key, w.name, w.data, w.type);
    Found expected = c.expected;
    // The system folder differs between machines.
    for (auto& line : expected)
        if (line == "@UserInit")
            line = text::ToUtf8(u"value " + text::FromUtf8(kLogon) + u"|UserInit = " + Fill(u"$SYS\\userinit.exe") +
                                u" -> " + SystemFolder() + u"\\userinit.exe,");
    EXPECT_EQ(Check(), expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ValueChecksTest, ::testing::ValuesIn(kValueCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingChecksTest, EveryAlteredValueIsListedInCheckOrderWithItsDefault) {
    for (const auto& row : ValueRows()) SetString(row.root, row.key, row.value, u"x");
    const std::u16string wscript = u"%SystemRoot%\\System32\\WScript.exe \"%1\" %*";
    const std::u16string cscript = u"%SystemRoot%\\System32\\CScript.exe \"%1\" %*";
    const std::u16string expected[] = {u"\"%1\" %*", u"\"%1\" %*", u"\"%1\" %*", u"\"%1\" /S",
                                       u"%SystemRoot%\\system32\\wpnpinst.exe %1", u"\"%1\" %*",
                                       wscript, cscript, wscript, cscript, wscript, cscript,
                                       wscript, cscript, wscript, cscript, wscript, cscript,
                                       SystemFolder() + u"\\userinit.exe,", u"logonui.exe", u"Explorer.exe",
                                       u"batfile", u"{5e941d80-bf96-11cd-b579-08002b30bfeb}", u"exefile",
                                       u"application/x-msdownload", u"{098f2470-bae0-11cd-b579-08002b30bfeb}"};
    Found want;
    auto rows = ValueRows();
    ASSERT_EQ(rows.size(), 26u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        want.push_back("value " + text::ToUtf8(platform::RootKeyName(rows[i].root) + u"\\" + rows[i].key + u"|" +
                                               rows[i].value + u" = x -> " + expected[i]));
    EXPECT_EQ(Check(), want);
    // The entry reads as the finding describes itself; on 64-bit Windows it
    // names the view the process wrote in.
    std::u16string view = app::SettingViews().size() == 1 ? u""
                          : testsupport::ProcessIsWow64() ? u" (32-bit view)"
                                                          : u" (64-bit view)";
    EXPECT_EQ(form->ResultsListBox->Item(20).Text, u"Invalid data Shell = \"x\" at key " + text::FromUtf8(kLogon) + view);
}

TEST_F(SettingChecksTest, OnlyATerminatingNullIsDropped) {
    // Stored without its null: the whole text is the setting.
    SetRaw(LM, kWinlogon, u"Shell", os::REG_SZ, Bytes(u"Explorer.exe", false));
    // An odd trailing byte belongs to no character.
    auto odd = Bytes(u"logonui.exe", false);
    odd.push_back(0x41);
    SetRaw(LM, kWinlogon, u"UIHost", os::REG_BINARY, odd);
    // Other types read as empty.
    SetRaw(CR, u".exe", u"", os::REG_DWORD, {1, 0, 0, 0});
    SetRaw(CR, u".bat", u"", os::REG_MULTI_SZ, Bytes(std::u16string(u"cmdfile\0", 8)));
    EXPECT_EQ(Check(), Found{});
    EXPECT_EQ(app::ReadSettingText(LM, kWinlogon, u"Shell"), u"Explorer.exe");
    EXPECT_EQ(app::ReadSettingText(CR, u".exe", u""), u"");
    EXPECT_EQ(app::ReadSettingText(CR, u"no\\such\\key", u""), u"");
}

// ------------------------------------------------------------ both views

// On 64-bit Windows each view has its own Winlogon key, and 64-bit Windows
// starts the shell the 64-bit one names. Each deviation is found in the view
// it is in and repaired there; the same text in both views is one entry.
struct ViewWrite {
    os::REGSAM view;
    const char16_t* data;
};

struct ViewCase {
    const char* name;
    std::vector<ViewWrite> writes;
    // "<data> in <views>" per entry, the views as "64", "32" or "64+32".
    Found entries;
    std::vector<const char16_t*> suffixes;
};

void PrintTo(const ViewCase& c, std::ostream* out) { *out << c.name; }

constexpr os::REGSAM k64 = os::KEY_WOW64_64KEY;
constexpr os::REGSAM k32 = os::KEY_WOW64_32KEY;

class ViewChecksTest : public SettingChecksTest, public ::testing::WithParamInterface<ViewCase> {
protected:
    std::u16string ShellIn(os::REGSAM view) const { return app::ReadSettingText(LM, kWinlogon, u"Shell", view); }
};

TEST_P(ViewChecksTest, FindsAndRepairsEachDeviationInItsView) {
    if (app::SettingViews().size() < 2) GTEST_SKIP() << "32-bit Windows has one registry view";
    const auto& c = GetParam();
    for (const auto& w : c.writes) SetString(LM, kWinlogon, u"Shell", w.data, os::REG_SZ, w.view);
    app::TDefaultSettingChecks(*form).Run();

    Found entries;
    for (int i = 0; i < form->ResultsListBox->Count(); ++i) {
        auto* finding = dynamic_cast<findings::TRegStrDataProduct*>(
            static_cast<findings::TScanProduct*>(form->ResultsListBox->Item(i).Data));
        ASSERT_NE(finding, nullptr);
        std::string views;
        for (auto v : finding->Views()) views += (views.empty() ? "" : "+") + std::string(v.bits == k64 ? "64" : "32");
        entries.push_back(text::ToUtf8(finding->Data()) + " in " + views);
        ASSERT_LT(static_cast<std::size_t>(i), c.suffixes.size());
        EXPECT_TRUE(form->ResultsListBox->Item(i).Text.ends_with(c.suffixes[i])) << text::ToUtf8(form->ResultsListBox->Item(i).Text);
    }
    EXPECT_EQ(entries, c.entries);

    form->FixProblems();
    for (const auto& w : c.writes) EXPECT_EQ(ShellIn(w.view), u"Explorer.exe") << (w.view == k64 ? "64" : "32");
    // A view that held nothing is left without the value.
    for (os::REGSAM view : {k64, k32}) {
        bool written = std::any_of(c.writes.begin(), c.writes.end(), [view](const ViewWrite& w) { return w.view == view; });
        if (!written) {
            EXPECT_EQ(ShellIn(view), u"");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Winlogon, ViewChecksTest,
    ::testing::Values(
        ViewCase{"OnlyThe64BitViewHijacked", {{k64, u"explorer.exe C:\\evil.exe"}},
                 {"explorer.exe C:\\evil.exe in 64"}, {u" (64-bit view)"}},
        ViewCase{"OnlyThe32BitViewHijacked", {{k64, u"Explorer.exe"}, {k32, u"evil.exe"}}, {"evil.exe in 32"},
                 {u" (32-bit view)"}},
        ViewCase{"TheSameInBothViewsIsOneEntry", {{k64, u"evil.exe"}, {k32, u"evil.exe"}}, {"evil.exe in 64+32"},
                 {u" (64-bit and 32-bit views)"}},
        ViewCase{"DifferentInEachView",
                 {{k64, u"evil64.exe"}, {k32, u"evil32.exe"}},
                 {"evil64.exe in 64", "evil32.exe in 32"},
                 {u" (64-bit view)", u" (32-bit view)"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ command paths

struct PathCase {
    const char16_t* line;
    const char16_t* path;
};

class CommandPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(CommandPathTest, TakesTheProgramAtTheHead) {
    EXPECT_EQ(app::ExtractCommandPath(GetParam().line), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, CommandPathTest,
                         ::testing::Values(PathCase{u"", u""}, PathCase{u"C:\\a.exe", u"C:\\a.exe"},
                                           PathCase{u"C:\\a.exe -k x", u"C:\\a.exe"},
                                           PathCase{u"\"C:\\a b.exe\" -k", u"C:\\a b.exe"},
                                           PathCase{u"\"C:\\a b.exe", u""}, PathCase{u"\"\"", u""},
                                           PathCase{u" C:\\a.exe", u""}, PathCase{u"C:\\a\tb.exe x", u"C:\\a\tb.exe"}));

// ------------------------------------------------------------ services

struct ServiceWrite {
    const char16_t* service;
    const char16_t* value;  // "ImagePath" or "ServiceDll"
    const char16_t* data;
};

struct ServiceCase {
    const char* name;
    std::vector<ServiceWrite> writes;
    std::vector<const char16_t*> files;
    Found expected;
};

void PrintTo(const ServiceCase& c, std::ostream* out) { *out << c.name; }

const ServiceCase kServiceCases[] = {
    {"AMissingRundllNamedProgramMakesAFinding",
     {{u"A", u"ImagePath", u"$D\\rundll32.exe shell32.dll,Entry"},
      {u"B", u"ImagePath", u"\"$D\\run my dll.exe\" -k"}},
     {},
     {"key A", "key B"}},
    {"OnlyAMissingRundllNamedProgramWithDriveAndExeCounts",
     {{u"A", u"ImagePath", u"$D\\other.exe"},          // another name
      {u"B", u"ImagePath", u"$D\\RUNDLL32.EXE"},       // the pattern and ".exe" match case
      {u"C", u"ImagePath", u"rundll32.exe x"},         // no drive
      {u"D", u"ImagePath", u"$D\\rundll32.exe"},       // exists
      {u"E", u"ImagePath", u"%SystemRoot%\\rundllx.exe"},  // not expanded, so no colon
      {u"F", u"ImagePath", u"$D\\rundll.com"}},
     {u"$D\\rundll32.exe"},
     {}},
    {"AMissingProgramAndAMissingLibraryMakeTwoEntries",
     {{u"A", u"ImagePath", u"$D\\runhostdll.exe -k"}, {u"A", u"ServiceDll", u"$D\\host.exe"}},
     {},
     {"key A", "key A"}},
    {"TheLibraryAloneNeedsNoRundllName",
     {{u"A", u"ImagePath", u"$D\\present.exe"},
      {u"A", u"ServiceDll", u"$D\\gone.exe"},
      {u"B", u"ServiceDll", u"$D\\gone.dll"},      // not ".exe"
      {u"C", u"ServiceDll", u"$D\\folder.exe"}},   // a folder is not a file
     {u"$D\\present.exe"},
     {"key A", "key C"}},
    {"AServiceWithoutALibraryIsJudgedByItsProgramAlone",
     {{u"A", u"ServiceDll", u"$D\\gone.exe"}, {u"B", u"ImagePath", u"$D\\present.exe"}},
     {u"$D\\present.exe"},
     {"key A"}},
};

class ServiceChecksTest : public SettingChecksTest, public ::testing::WithParamInterface<ServiceCase> {};

TEST_P(ServiceChecksTest, FindsTheServicesWhoseProgramIsGone) {
    const auto& c = GetParam();
    for (const auto* file : c.files) MakeFile(file);
    os::CreateDirectoryW(Fill(u"$D\\folder.exe").c_str(), nullptr);
    for (const auto& w : c.writes) SetService(w.service, w.value, w.data);
    EXPECT_EQ(Check(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Services, ServiceChecksTest, ::testing::ValuesIn(kServiceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingChecksTest, AProgramOnlyInThe64BitSystemFolderIsNotMissing) {
    SKIP_UNLESS_WOW64();
    const std::u16string name = prefix_ + u"rundllhost.exe";
    auto path = SystemFolder() + u"\\" + name;
    {
        // Where a 64-bit program sees it; this process sees the 32-bit folder.
        void* old = nullptr;
        ASSERT_TRUE(os::Wow64DisableWow64FsRedirection(&old));
        MakeFile(path);
        os::Wow64RevertWow64FsRedirection(old);
    }
    ASSERT_EQ(os::GetFileAttributesW(path.c_str()), os::INVALID_FILE_ATTRIBUTES);
    SetService(u"A", u"ImagePath", path);
    SetService(u"B", u"ImagePath", SystemFolder() + u"\\" + prefix_ + u"rundllgone.exe");
    EXPECT_EQ(Check(), (Found{"key B"}));
    void* old = nullptr;
    os::Wow64DisableWow64FsRedirection(&old);
    os::DeleteFileW(path.c_str());
    os::Wow64RevertWow64FsRedirection(old);
}

TEST_F(SettingChecksTest, AProgramOnADriveThatIsNotThereIsNotMissing) {
    auto drive = testsupport::AbsentDrive();
    ASSERT_FALSE(drive.empty());
    SetService(u"A", u"ImagePath", drive + u"\\Tools\\rundll32.exe host");
    SetService(u"B", u"ServiceDll", drive + u"\\Tools\\host.exe");
    SetService(u"C", u"ImagePath", u"A:\\rundll32.exe");
    EXPECT_EQ(Check(), Found{});
}

// ------------------------------------------------------------ in the wizard

TEST_F(SettingChecksTest, SettingEntriesComeBeforeTheScanEntry) {
    form = std::make_unique<TMainForm>(*app);  // the built-in checks
    form->ScannerFactory = [] {
        std::vector<std::unique_ptr<scan::TScanner>> list;
        list.push_back(std::make_unique<TagScanner>(std::vector<std::u16string>{u"scanned"}, nullptr));
        return list;
    };
    SetString(LM, kWinlogon, u"Shell", u"cmd.exe");
    SetService(u"A", u"ImagePath", u"$D\\rundll32.exe");
    ToResults();
    int count = form->ResultsListBox->Count();
    ASSERT_GE(count, 3);
    EXPECT_EQ(form->ResultsListBox->Item(count - 1).Data, form->ListProduct());
    // One finding per pass of the scan, and 64-bit Windows has two.
    EXPECT_EQ(form->ResultsListBox->Item(count - 1).Text,
              u"Registry problems: " + text::FromAscii(std::to_string(form->ListProduct()->Count())) + u" problems");
    form->ResultsListBox->DeleteItem(count - 1);
    EXPECT_EQ(Entries(), (Found{"value " + kLogon + "|Shell = cmd.exe -> Explorer.exe", "key A"}));
}

TEST_F(SettingChecksTest, ServicesThatCannotBeListedEndTheChecksWithAnErrorReport) {
    if (!testsupport::Native()) GTEST_SKIP() << "needs a machine without a services key";
    testsupport::DeleteTree(LM, kServices, 0);
    SetString(LM, kWinlogon, u"Shell", u"cmd.exe");
    form.reset();
    form = std::make_unique<TMainForm>(*app);
    ui::SafeCall(*app, [this] { form->NextButton->Click(); });
    ASSERT_EQ(app->Shown.size(), 1u);
    EXPECT_TRUE(app->Shown[0].IsError);
    EXPECT_EQ(app->Shown[0].Text,
              u"Unable to open key \"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\" for read");
    EXPECT_EQ(form->Page(), TMainForm::pgResults);
    EXPECT_TRUE(form->NextButton->Enabled());
    // What the checks found before stays listed; no scan was started.
    EXPECT_EQ(Entries(), (Found{"value " + kLogon + "|Shell = cmd.exe -> Explorer.exe"}));
    EXPECT_EQ(form->ScanningLabel->Caption(), u"Scanning:");
}

}  // namespace
}  // namespace apptest
