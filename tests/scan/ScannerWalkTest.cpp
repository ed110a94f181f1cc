// The registry walkers over a seeded registry: natively on the emulated
// machine, under Wine below the test's own scratch keys. Findings are
// compared as sets where Wine and Windows enumerate values differently.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "findings/CleanerRegKeyProduct.h"
#include "findings/CleanerRegValueProduct.h"
#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "platform/Wow64.h"
#include "scan/ScanManager.h"
#include "scan/Scanners.h"
#include "support/SeamTest.h"
#include "ui/headless/HeadlessLoop.h"
#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

namespace scan {
namespace {

using namespace std::chrono_literals;
using platform::RegView;

// What a finding says, flattened: "key <sub> [empty]" or
// "value <sub> <name> | <reason>", with the scratch key written as "~".
struct Recorded {
    std::vector<std::string> findings;
    std::vector<std::string> progress;
};

class WalkScanner : public TScanner {
public:
    void Scan() override {}
    using TScanner::Aborted;
};

class WalkTest : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        platform::InitWindows64();
        scanner.SetResultFoundEvent([this](std::unique_ptr<findings::TCleanerScanProduct> p) { Record(*p); });
        scanner.SetProgressEvent([this](const std::u16string& t) { out.progress.push_back(Short(t)); });
    }

    std::string Short(std::u16string s) const {
        for (std::size_t at; (at = s.find(ScratchKey())) != std::u16string::npos;) s.replace(at, ScratchKey().size(), u"~");
        for (std::size_t at; (at = s.find(ScratchFolder())) != std::u16string::npos;)
            s.replace(at, ScratchFolder().size(), u"<S>");
        return text::ToUtf8(s);
    }

    void Record(const findings::TCleanerScanProduct& p) {
        if (auto* k = dynamic_cast<const findings::TCleanerRegKeyProduct*>(&p)) {
            EXPECT_EQ(k->RootKey(), os::HKEY_CURRENT_USER);
            EXPECT_EQ(k->Reason(), u"Empty key");
            out.findings.push_back("key " + Short(k->SubKey()) + (k->HasNoValues() ? " empty" : ""));
        } else if (auto* v = dynamic_cast<const findings::TCleanerRegValueProduct*>(&p)) {
            out.findings.push_back("value " + Short(v->SubKey()) + " " + Short(v->Value()) + " | " + Short(v->Reason()));
        } else {
            ADD_FAILURE() << "unexpected finding class";
        }
    }

    std::u16string Key(const std::string& sub) const {
        return sub.empty() ? ScratchKey() : ScratchKey() + u"\\" + text::FromUtf8(sub);
    }
    void MakeKey(const std::string& sub) { platform::RegistryCreateKey(os::HKEY_CURRENT_USER, Key(sub)); }
    void Put(const std::string& sub, const std::u16string& name, const std::u16string& data) {
        MakeKey(sub);
        platform::RegistryWriteString(os::HKEY_CURRENT_USER, Key(sub), name, data);
    }
    void PutRaw(const std::string& sub, const std::u16string& name, os::DWORD type, const void* data,
                std::size_t bytes) {
        MakeKey(sub);
        os::HKEY h = nullptr;
        ASSERT_EQ(os::RegOpenKeyExW(os::HKEY_CURRENT_USER, Key(sub).c_str(), 0, os::KEY_SET_VALUE, &h),
                  os::ERROR_SUCCESS);
        EXPECT_EQ(os::RegSetValueExW(h, name.c_str(), 0, type, static_cast<const os::BYTE*>(data),
                                     static_cast<os::DWORD>(bytes)),
                  os::ERROR_SUCCESS);
        os::RegCloseKey(h);
    }
    std::u16string Missing() const { return ScratchFolder() + u"\\gone.dll"; }

    // Builds the tree from "path" (a key) and "path=" (a key with a
    // harmless string value) lines, relative to the scratch key's "T".
    void Seed(const std::vector<std::string>& lines) {
        for (const auto& line : lines) {
            if (line.back() == '=')
                Put("T\\" + line.substr(0, line.size() - 1), u"v", u"plain text");
            else
                MakeKey("T\\" + line);
        }
    }

    static std::vector<std::string> Sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }

    WalkScanner scanner;
    Recorded out;
};

// ---------------------------------------------------------------- ScanValues

TEST_F(WalkTest, ScanValuesJudgesNamesAndOnlyStringData) {
    const std::u16string gone = Missing();
    const std::string goneA = text::ToUtf8(gone);
    const std::u16string present = ScratchFolder() + u"\\present.dll";
    os::HANDLE f = os::CreateFileW(present.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS,
                                   os::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, os::INVALID_HANDLE_VALUE);
    os::CloseHandle(f);

    Put("V", u"sz-missing", gone);
    Put("V", u"", gone);  // the default value
    Put("V", u"sz-present", present);
    Put("V", u"sz-quoted", u"\"" + gone + u"\" /run");
    platform::RegistryWriteExpandString(os::HKEY_CURRENT_USER, Key("V"), u"expand-missing", gone);
    os::DWORD one = 1;
    PutRaw("V", gone, os::REG_DWORD, &one, sizeof one);  // judged by its name
    std::u16string multi = gone + u'\0' + gone + u'\0' + u'\0';
    PutRaw("V", u"multi", os::REG_MULTI_SZ, multi.data(), multi.size() * 2);
    PutRaw("V", u"binary", os::REG_BINARY, gone.data(), (gone.size() + 1) * 2);

    scanner.ScanValues(os::HKEY_CURRENT_USER, Key("V"));
    const std::string reason = " | Invalid data: <S>\\gone.dll";
    EXPECT_EQ(Sorted(out.findings), Sorted({"value ~\\V " + reason, "value ~\\V sz-missing" + reason,
                                            "value ~\\V expand-missing" + reason, "value ~\\V <S>\\gone.dll | "}));
    EXPECT_TRUE(out.progress.empty());
}

// Values are read a key at a time into buffers sized for the usual value;
// a longer name or more data must still be read whole, in its place.
TEST_F(WalkTest, ScanValuesReadsValuesBeyondTheUsualSizesWhole) {
    const std::u16string gone = Missing();
    const std::u16string longName(300, u'n');
    const std::u16string longData = gone + u" /args " + std::u16string(1500, u'a');
    Put("L", u"a-first", gone);
    Put("L", longName, gone);
    Put("L", u"b-long-data", longData);
    std::u16string cut = gone + u'\0' + u"C:\\elsewhere";
    PutRaw("L", u"c-cut", os::REG_SZ, cut.data(), cut.size() * 2 + 1);  // an odd last byte too
    Put("L", u"d-last", gone);

    scanner.ScanValues(os::HKEY_CURRENT_USER, Key("L"));
    const std::string reason = " | Invalid data: <S>\\gone.dll";
    EXPECT_EQ(Sorted(out.findings),
              Sorted({"value ~\\L a-first" + reason, "value ~\\L " + std::string(300, 'n') + reason,
                      "value ~\\L b-long-data" + reason + " /args " + std::string(1500, 'a'),
                      "value ~\\L c-cut" + reason, "value ~\\L d-last" + reason}));
}

TEST_F(WalkTest, ScanValuesOfAMissingKeyFindsNothing) {
    scanner.ScanValues(os::HKEY_CURRENT_USER, Key("NoSuchKey"));
    EXPECT_TRUE(out.findings.empty());
}

// ---------------------------------------------------------------- ScanKeyTree

struct TreeCase {
    const char* name;
    std::vector<std::string> tree;  // below the scratch key's "T"
    bool callerFlag;
    std::vector<std::string> reported;
    bool flagAfter;
};

class KeyTree : public WalkTest, public ::testing::WithParamInterface<TreeCase> {};

TEST_P(KeyTree, ReportsTheTopOfEveryEmptySubtree) {
    const auto& c = GetParam();
    MakeKey("T");
    Seed(c.tree);
    bool flag = c.callerFlag;
    scanner.ScanKeyTree(os::HKEY_CURRENT_USER, Key("T"), flag);
    EXPECT_EQ(out.findings, c.reported);
    EXPECT_EQ(flag, c.flagAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, KeyTree,
    ::testing::Values(
        TreeCase{"EmptyTopWithCallerFlag", {}, true, {"key ~\\T empty"}, true},
        TreeCase{"EmptyTopWithoutCallerFlag", {}, false, {}, false},
        TreeCase{"OnlyTheTopOfAnEmptyChain", {"=", "A", "A\\B", "A\\B\\C"}, true, {"key ~\\T\\A empty"}, true},
        // Subkeys enumerate sorted: the empty "a" is walked before "b" has
        // set the shared flag, so it is not reported...
        TreeCase{"EmptySiblingFirstIsNotReported", {"a_empty", "b_full="}, true, {}, true},
        // ...while an empty sibling after one with values is.
        TreeCase{"EmptySiblingAfterAFullOneIsReported", {"a_full=", "b_empty"}, true, {"key ~\\T\\b_empty empty"},
                 true},
        TreeCase{"ValuesDeepDownKeepTheWholeChain", {"A", "A\\B", "A\\B\\C="}, true, {}, true},
        TreeCase{"SeveralEmptySubtrees", {"=", "A", "A\\x", "B=", "C", "C\\y="}, true, {"key ~\\T\\A empty"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WalkTest, KeyTreeReportsProgressForEveryKeyAndChecksValuesOnTheWay) {
    Put("T\\A", u"x", Missing());
    MakeKey("T\\B");
    bool flag = true;
    scanner.ScanKeyTree(os::HKEY_CURRENT_USER, Key("T"), flag);
    // The same scanner walking other roots in turn (a missing key is still
    // reported as reached).
    scanner.ScanKeyTree(os::HKEY_LOCAL_MACHINE, Key("T"), flag);
    scanner.ScanKeyTree(os::HKEY_CURRENT_USER, Key("Gone"), flag);
    EXPECT_EQ(out.progress, (std::vector<std::string>{"HKEY_CURRENT_USER\\~\\T", "HKEY_CURRENT_USER\\~\\T\\A",
                                                      "HKEY_CURRENT_USER\\~\\T\\B", "HKEY_LOCAL_MACHINE\\~\\T",
                                                      "HKEY_CURRENT_USER\\~\\Gone"}));
    EXPECT_EQ(out.findings, (std::vector<std::string>{"value ~\\T\\A x | Invalid data: <S>\\gone.dll",
                                                      "key ~\\T\\B empty"}));
}

// A key that cannot be read may hold anything: it is not reported empty
// (the fix could not delete it anyway, and it would come back at every
// scan), and neither is a key above it whose subtree was thus not all seen.
TEST_F(WalkTest, AnUnreadableSubkeyIsNotKnownToBeEmpty) {
#ifdef _WIN32
    GTEST_SKIP() << "the seam has no call to build a denying DACL; the native run covers this case";
#else
    Seed({"=", "Locked", "Locked\\Inner=", "empty", "U", "U\\Locked", "U\\Locked\\Inner="});
    emul::DenyKeyAccess(u"HKEY_CURRENT_USER\\" + Key("T\\Locked"), true, false);
    emul::DenyKeyAccess(u"HKEY_CURRENT_USER\\" + Key("T\\U\\Locked"), true, false);
#endif
    bool flag = true;
    scanner.ScanKeyTree(os::HKEY_CURRENT_USER, Key("T"), flag);
    EXPECT_EQ(out.findings, (std::vector<std::string>{"key ~\\T\\empty empty"}));
    EXPECT_TRUE(flag);
}

// The abort event answers true from its n-th question on.
void AbortFromQuestion(TScanner& scanner, int n) {
    auto asked = std::make_shared<int>(0);
    scanner.SetAbortEvent([asked, n] { return ++*asked >= n; });
}

TEST_F(WalkTest, AbortBeforeTheWalkLeavesNoTrace) {
    Seed({"A"});
    AbortFromQuestion(scanner, 1);
    bool flag = false;
    scanner.ScanKeyTree(os::HKEY_CURRENT_USER, Key("T"), flag);
    EXPECT_TRUE(out.progress.empty());
    EXPECT_TRUE(out.findings.empty());
    EXPECT_FALSE(flag);
}

struct AbortCase {
    const char* name;
    int abortFrom;  // question number
    std::vector<std::string> reported;
};

class AbortedTree : public WalkTest, public ::testing::WithParamInterface<AbortCase> {};

// "T" holds no value itself; its last subkey "z" does. Questions: entry T,
// loop before "a", entry "a", loop before "z", entry "z".
TEST_P(AbortedTree, AKeyWhoseSubtreeWasCutShortIsNeverReportedEmpty) {
    Seed({"a", "z="});
    AbortFromQuestion(scanner, GetParam().abortFrom);
    bool flag = true;
    scanner.ScanKeyTree(os::HKEY_CURRENT_USER, Key("T"), flag);
    EXPECT_EQ(out.findings, GetParam().reported);
}

INSTANTIATE_TEST_SUITE_P(Points, AbortedTree,
                         ::testing::Values(AbortCase{"BeforeTheFirstChild", 2, {}},
                                           AbortCase{"AtTheFirstChildsEntry", 3, {}},
                                           AbortCase{"BeforeTheChildWithValues", 4, {}},
                                           AbortCase{"AtTheEntryOfTheChildWithValues", 5, {}},
                                           AbortCase{"NoAbortAtAll", 100, {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WalkTest, ACompletedEmptySubtreeIsStillReportedBeforeAnAbort) {
    Seed({"=", "a", "b", "c="});
    // Entry T, loop a, entry a, loop b, entry b: stop before "c".
    AbortFromQuestion(scanner, 6);
    bool flag = true;
    scanner.ScanKeyTree(os::HKEY_CURRENT_USER, Key("T"), flag);
    EXPECT_EQ(out.findings, (std::vector<std::string>{"key ~\\T\\a empty", "key ~\\T\\b empty"}));
    EXPECT_TRUE(flag);
}

TEST_F(WalkTest, AFailedChildWalkKeepsItsParentFromBeingReportedButSiblingsGoOn) {
    // "a" holds a broken value; the handler refuses that finding, which ends
    // a's walk before it could tell its parent about the value.
    Put("T\\a", u"x", Missing());
    MakeKey("T\\b");
    Put("T\\c", u"x", Missing());
    scanner.SetResultFoundEvent([this](std::unique_ptr<findings::TCleanerScanProduct> p) {
        if (dynamic_cast<findings::TCleanerRegValueProduct*>(p.get()) &&
            static_cast<findings::TCleanerRegValueProduct*>(p.get())->SubKey() == Key("T\\a"))
            throw std::runtime_error("refused");
        Record(*p);
    });
    bool flag = true;
    scanner.ScanKeyTree(os::HKEY_CURRENT_USER, Key("T"), flag);
    EXPECT_EQ(out.findings, (std::vector<std::string>{"value ~\\T\\c x | Invalid data: <S>\\gone.dll"}));
    EXPECT_TRUE(flag);
}

// Nothing else in "T" holds a value: only the failed walk of "a" keeps "T"
// from being reported, and deleted with the value "a" really holds.
TEST_F(WalkTest, AFailedChildKeepsAnOtherwiseEmptyParentFromBeingReported) {
    Put("T\\a", u"x", Missing());
    MakeKey("T\\b");
    MakeKey("T\\c");
    scanner.SetResultFoundEvent([this](std::unique_ptr<findings::TCleanerScanProduct> p) {
        if (dynamic_cast<findings::TCleanerRegValueProduct*>(p.get())) throw std::runtime_error("refused");
        Record(*p);
    });
    bool flag = true;
    scanner.ScanKeyTree(os::HKEY_CURRENT_USER, Key("T"), flag);
    EXPECT_TRUE(out.findings.empty());
    EXPECT_EQ(out.progress, (std::vector<std::string>{"HKEY_CURRENT_USER\\~\\T", "HKEY_CURRENT_USER\\~\\T\\a",
                                                      "HKEY_CURRENT_USER\\~\\T\\b", "HKEY_CURRENT_USER\\~\\T\\c"}));
}

// ---------------------------------------------------------------- ScanSubKeys

TEST_F(WalkTest, ScanSubKeysChecksValuesEverywhereAndReportsNoEmptyKeys) {
    Seed({"A", "A\\B"});
    Put("T\\A\\B", u"deep", Missing());
    scanner.ScanSubKeys(os::HKEY_CURRENT_USER, Key("T"));
    EXPECT_EQ(out.findings, (std::vector<std::string>{"value ~\\T\\A\\B deep | Invalid data: <S>\\gone.dll"}));
    EXPECT_EQ(out.progress.size(), 3u);
}

TEST_F(WalkTest, ScanSubKeysAbortsOnlyBetweenSubkeys) {
    Seed({"A", "B"});
    Put("T", u"top", Missing());
    AbortFromQuestion(scanner, 1);
    scanner.ScanSubKeys(os::HKEY_CURRENT_USER, Key("T"));
    EXPECT_EQ(out.findings, (std::vector<std::string>{"value ~\\T top | Invalid data: <S>\\gone.dll"}));
    EXPECT_EQ(out.progress.size(), 1u);
}

TEST_F(WalkTest, KeyHasValues) {
    Seed({"Empty", "Full="});
    EXPECT_FALSE(scanner.KeyHasValues(os::HKEY_CURRENT_USER, Key("T\\Empty")));
    EXPECT_TRUE(scanner.KeyHasValues(os::HKEY_CURRENT_USER, Key("T\\Full")));
    EXPECT_FALSE(scanner.KeyHasValues(os::HKEY_CURRENT_USER, Key("T\\Missing")));
}

// ---------------------------------------------------------------- COM classes

class ActiveXInfo : public WalkTest {
protected:
    void TearDown() override {
        testsupport::DeleteTree(os::HKEY_CLASSES_ROOT, u"CLSID\\" + clsid, 0);
        WalkTest::TearDown();
    }
    void PutClass(const std::u16string& sub, const std::u16string& name, const std::u16string& data) {
        auto key = u"CLSID\\" + clsid + sub;
        ASSERT_TRUE(platform::RegistryCreateKey(os::HKEY_CLASSES_ROOT, key));
        if (!name.empty() || !data.empty()) platform::RegistryWriteString(os::HKEY_CLASSES_ROOT, key, name, data);
    }
    void SetUp() override {
        WalkTest::SetUp();
        // Unique per test and process, in the braces a class identifier has.
        // Taken after the base set-up has named the scratch folder: a member
        // initialiser would see it empty and give every test "{}", which
        // parallel runs under Wine then share.
        clsid = u"{" + ScratchFolder().substr(ScratchFolder().rfind(u'\\') + 1) + u"}";
    }
    std::u16string clsid;
};

TEST_F(ActiveXInfo, UnknownClassGivesFalseAndEmptyFields) {
    TActiveXInfo info{u"stale", u"stale"};
    EXPECT_FALSE(scanner.GetActivexInfoByCLSID(clsid, info));
    EXPECT_EQ(info.Name, u"");
    EXPECT_EQ(info.Path, u"");
}

TEST_F(ActiveXInfo, LocalServerWinsOverInprocServer) {
    PutClass(u"", u"", u"Probe Class");
    PutClass(u"\\LocalServer32", u"", u"C:\\probe\\local.exe /automation");
    PutClass(u"\\InprocServer32", u"", u"C:\\probe\\inproc.dll");
    TActiveXInfo info;
    EXPECT_TRUE(scanner.GetActivexInfoByCLSID(clsid, info));
    EXPECT_EQ(info.Name, u"Probe Class");
    EXPECT_EQ(info.Path, u"C:\\probe\\local.exe /automation");
}

TEST_F(ActiveXInfo, LocalServerWithoutDefaultValueFallsBackToInproc) {
    PutClass(u"", u"", u"Probe Class");
    PutClass(u"\\LocalServer32", u"ServerExecutable", u"C:\\probe\\local.exe");
    PutClass(u"\\InprocServer32", u"", u"C:\\probe\\inproc.dll");
    TActiveXInfo info;
    EXPECT_TRUE(scanner.GetActivexInfoByCLSID(clsid, info));
    EXPECT_EQ(info.Path, u"C:\\probe\\inproc.dll");
}

TEST_F(ActiveXInfo, ClassWithoutServersHasANameAndNoPath) {
    PutClass(u"", u"", u"");
    PutClass(u"\\InprocServer32", u"ThreadingModel", u"Both");
    TActiveXInfo info{u"stale", u"stale"};
    EXPECT_TRUE(scanner.GetActivexInfoByCLSID(clsid, info));
    EXPECT_EQ(info.Name, u"");
    EXPECT_EQ(info.Path, u"");
}


// ---------------------------------------------------------------- through the manager

class TreeScanner : public TScanner {
public:
    TreeScanner(os::HKEY root, std::u16string key) : root_(root), key_(std::move(key)) {}
    void Scan() override {
        bool flag = true;
        ScanKeyTree(root_, key_, flag);
    }

private:
    os::HKEY root_;
    std::u16string key_;
};

class ManagedWalk : public WalkTest {
protected:
    void TearDown() override {
        EXPECT_TRUE(ui::TWorkerThread::WaitUntilNoneLive(60s));
        WalkTest::TearDown();
    }

    // Runs the scanners through a manager; every finding as
    // "<view> <description>", in delivery order.
    std::vector<std::string> RunScan(std::vector<std::pair<os::HKEY, std::u16string>> trees,
                                     std::size_t* progressCount = nullptr) {
        std::vector<std::string> seen;
        bool done = false;
        bool offUiThread = false;
        std::size_t progress = 0;
        auto ui = std::this_thread::get_id();
        auto* manager = new TScanManager(loop.Target());
        manager->SetScannerFactory([trees] {
            std::vector<std::unique_ptr<TScanner>> list;
            for (auto& [root, key] : trees) list.push_back(std::make_unique<TreeScanner>(root, key));
            return list;
        });
        manager->SetFoundEvent([&](std::unique_ptr<findings::TCleanerScanProduct> p, findings::TCategory*) {
            offUiThread |= std::this_thread::get_id() != ui;
            seen.push_back(std::to_string(p->View().bits) + " " + Short(p->GetDescription()));
        });
        manager->SetProgressEvent([&](const std::u16string&) { ++progress; });
        manager->SetCompletedEvent([&] { done = true; });
        manager->Start();
        EXPECT_TRUE(loop.RunUntil([&] { return done; }, 300s));
        EXPECT_FALSE(offUiThread);
        if (progressCount) *progressCount = progress;
        return seen;
    }

    ui::THeadlessLoop loop;
};

TEST_F(ManagedWalk, AKeyBothViewsShareIsReportedOncePerPass) {
    if (!platform::IsWindows64()) GTEST_SKIP() << "one registry view on this Windows: a single pass";
    SKIP_UNLESS_WOW64();
    MakeKey("T");
    MakeKey("T\\Empty");
    Put("T", u"v", u"plain text");
    // Seen only in the 64-bit view: HKLM\SOFTWARE is redirected for the
    // 32-bit one.
    platform::RegistryCreateKey(os::HKEY_LOCAL_MACHINE, MachineScratchKey() + u"\\Empty", RegView::Wow64_64());
    platform::RegistryWriteString(os::HKEY_LOCAL_MACHINE, MachineScratchKey(), u"v", u"x", RegView::Wow64_64());

    auto seen = RunScan({{os::HKEY_CURRENT_USER, Key("T")}, {os::HKEY_LOCAL_MACHINE, MachineScratchKey()}});
    const std::string machine = "HKEY_LOCAL_MACHINE\\" + text::ToUtf8(MachineScratchKey());
    // The 32-bit view has no such machine key: nothing is there to report.
    EXPECT_EQ(seen, (std::vector<std::string>{"256 HKEY_CURRENT_USER\\~\\T\\Empty", "256 " + machine + "\\Empty",
                                              "0 HKEY_CURRENT_USER\\~\\T\\Empty"}));
}

// Many findings and progress texts cross from the worker to the UI thread
// (the ThreadSanitizer run's main load).
TEST_F(ManagedWalk, ThousandsOfFindingsAllArriveInOrder) {
    const int keys = testsupport::Native() ? 1500 : 60;
    const std::u16string gone = Missing();
    MakeKey("T");
    Put("T", u"top", u"plain text");
    for (int i = 0; i < keys; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "k%05d", i);
        Put(std::string("T\\") + name, u"x", gone);
        MakeKey(std::string("T\\") + name + "\\empty");
    }
    std::size_t progress = 0;
    auto seen = RunScan({{os::HKEY_CURRENT_USER, Key("T")}}, &progress);
    const std::size_t passes = platform::IsWindows64() ? 2 : 1;
    ASSERT_EQ(seen.size(), passes * keys * 2);
    // Depth first: each key's broken value, then its empty subkey.
    EXPECT_NE(seen[0].find("k00000"), std::string::npos);
    EXPECT_NE(seen[1].find("k00000\\empty"), std::string::npos);
    char last[16];
    std::snprintf(last, sizeof last, "k%05d", keys - 1);
    EXPECT_NE(seen.back().find(last), std::string::npos);
    // One progress text per key walked; every 81st arrives.
    EXPECT_EQ(progress, passes * (1 + 2 * keys) / 81);
}

}  // namespace
}  // namespace scan
