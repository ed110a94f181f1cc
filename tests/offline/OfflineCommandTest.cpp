// The command over drives assembled from the shared real hives: what a scan
// reports, what a fix writes into the hive files and what it leaves alone,
// and when it refuses to write at all.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

#include "TestDrive.h"
#include "findings/CleanerRegKeyProduct.h"
#include "offline/Hive.h"
#include "offline/OfflineMachine.h"
#include "offline/WriteBack.h"
#include "platform/Text.h"
#include "platform/emul/Machine.h"

namespace fs = std::filesystem;
using namespace offline_test;
using Json = nlohmann::json;

namespace {

struct TRun {
    int status = -1;
    std::string output;
};

std::string Quote(const std::string& s) { return "'" + s + "'"; }

TRun RunProgram(const std::string& arguments, const std::string& prefix = "") {
    std::string command = prefix + Quote(TALLOWMEND_PROGRAM) + " " + arguments + " 2>&1";
    TRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Json ReadReport(const fs::path& file) { return Json::parse(Bytes(file)); }

std::map<fs::path, std::string> Snapshot(const TTestDrive& drive) {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(drive.Root()))
        if (entry.is_regular_file()) files[entry.path()] = Bytes(entry.path());
    return files;
}

std::string Upper(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A file on the drive at a Windows path (C: only), found without case.
bool FileOnDrive(const TTestDrive& drive, const std::string& windowsPath) {
    fs::path host = offline::FindOnDrive(drive.Root(), std::u16string(windowsPath.begin(), windowsPath.end()));
    return !host.empty() && fs::is_regular_file(host);
}

// Every C: path in the text, cut at each blank, that names a file the drive
// holds: a finding must name none.
std::vector<std::string> PresentFilesNamed(const TTestDrive& drive, const std::string& data) {
    std::vector<std::string> present;
    std::string upper = Upper(data);
    for (std::size_t at = upper.find("C:\\"); at != std::string::npos; at = upper.find("C:\\", at + 3)) {
        std::size_t end = data.find_first_of("\",;|\n", at);
        std::string path = data.substr(at, end == std::string::npos ? std::string::npos : end - at);
        for (std::size_t cut = path.size(); cut > 3; cut = path.rfind(' ', cut - 1)) {
            if (FileOnDrive(drive, path.substr(0, cut))) present.push_back(path.substr(0, cut));
            if (cut == std::string::npos || cut == 0) break;
        }
    }
    return present;
}

// Each test needs the shared hives and leaves a fresh emulated machine.
class SharedHivesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(SharedHives() / "SYSTEM.xz")) GTEST_SKIP() << "no shared hives at " << SharedHives();
    }
    void TearDown() override { emul::Reset(); }
    TTempDir out;
};

template <typename Param>
class SharedHivesWith : public SharedHivesTest, public ::testing::WithParamInterface<Param> {};

class OfflineCommand : public SharedHivesWith<Spelling> {};

TEST_P(OfflineCommand, ScanReportsWhatIsAbsentAndChangesNothing) {
    TTestDrive drive({GetParam()});
    auto before = Snapshot(drive);
    fs::path report = out.path / "scan.json";
    TRun run = RunProgram("--offline " + Quote(drive.Root().string()) + " --scan-only --report " + Quote(report.string()));
    ASSERT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(Snapshot(drive), before) << "a scan changed the drive";

    Json doc = ReadReport(report);
    ASSERT_TRUE(doc["findings"].is_array());
    std::set<std::string> views, hives;
    bool gone = false;
    for (const auto& f : doc["findings"]) {
        ASSERT_TRUE(f["hive"].is_string()) << f.dump();
        hives.insert(Upper(f["hive"].get<std::string>()));
        views.insert(f["view"].get<std::string>());
        std::string data = f["data"].is_string() ? f["data"].get<std::string>() : "";
        EXPECT_EQ(PresentFilesNamed(drive, data), std::vector<std::string>{}) << f.dump();
        if (f["value"] == "TestGone") gone = true;
        EXPECT_NE(f["value"], "TestPresent");
    }
    EXPECT_TRUE(gone) << "the start-up entry whose program is gone was not found";
    // Both views of the 64-bit machine were scanned, and the findings lie in
    // the machine's and the user's hives.
    EXPECT_TRUE(views.count("64-bit") && views.count("32-bit"));
    EXPECT_TRUE(hives.count("C:\\WINDOWS\\SYSTEM32\\CONFIG\\SOFTWARE")) << run.output;
    EXPECT_TRUE(hives.count("C:\\USERS\\ALICE\\NTUSER.DAT")) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Spellings, OfflineCommand, ::testing::Values(Spelling::Windows, Spelling::Other));

// Where a finding lives in its hive file's own terms: the path below the
// hive's root, upper-cased, the view's Wow6432Node left out.
std::string InHive(const Json& f) {
    std::string root = f["root"], key = Upper(f["key"].get<std::string>());
    std::string hive = Upper(f["hive"].get<std::string>());
    auto strip = [](std::string path, const std::string& prefix) {
        return path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
    };
    // Through HKEY_CLASSES_ROOT: the user's classes hive, or the machine's
    // classes below SOFTWARE.
    if (root == "HKEY_CLASSES_ROOT") return (hive.ends_with("USRCLASS.DAT") ? "\\" : "\\CLASSES\\") + key;
    if (root == "HKEY_LOCAL_MACHINE") key = strip(strip(key, "SOFTWARE"), "SYSTEM");
    else if (root == "HKEY_USERS") key = key.substr(std::min(key.size(), key.find('\\')));
    else key = "\\" + key;
    if (hive.ends_with("USRCLASS.DAT")) key = strip(key, "\\SOFTWARE\\CLASSES");
    return key.empty() || key[0] == '\\' ? key : "\\" + key;
}

std::string NoWow(std::string path) {
    for (std::size_t at; (at = path.find("\\WOW6432NODE")) != std::string::npos;) path.erase(at, 12);
    return path;
}

// Whether a line of a hive dump is the finding's entry or lies below it.
bool Covers(const Json& f, const std::string& line) {
    std::string where = InHive(f);
    bool value = line.rfind("V ", 0) == 0;
    std::string path = NoWow(line.substr(2, value ? line.find(" : ") - 2 : std::string::npos));
    if (f["value"].is_string()) return value && path == where && line.substr(line.find(" : ") + 3) == f["value"];
    return path == where || path.rfind(where + "\\", 0) == 0;
}

struct TFixCase {
    Spelling spelling;
    bool wizard;  // the wizard's own fix step, or the unattended one with its report
};

void PrintTo(const TFixCase& c, std::ostream* os) {
    *os << (c.wizard ? "wizard" : "unattended") << (c.spelling == Spelling::Windows ? ", Windows' case" : ", other case");
}

class OfflineFix : public SharedHivesWith<TFixCase> {};

TEST_P(OfflineFix, ChangesExactlyTheReportedEntriesAndKeepsTheOriginals) {
    TTestDrive drive({GetParam().spelling});
    std::string dir = Quote(drive.Root().string());
    fs::path scan = out.path / "scan.json", fix = out.path / "fix.json", again = out.path / "again.json";
    ASSERT_EQ(RunProgram("--offline " + dir + " --scan-only --report " + Quote(scan.string())).status, 1);
    Json found = ReadReport(scan)["findings"];

    std::map<fs::path, std::string> bytes;
    std::map<fs::path, std::map<std::string, std::string>> dumps;
    for (const auto& hive : drive.Hives()) {
        bytes[hive] = Bytes(hive);
        dumps[hive] = DumpHive(hive);
    }
    TRun run = RunProgram("--offline " + dir + " --auto" + (GetParam().wizard ? "" : " --report " + Quote(fix.string())));
    ASSERT_EQ(run.status, GetParam().wizard ? 0 : 1) << run.output;
    Json repaired = GetParam().wizard ? found : Json::array();
    if (!GetParam().wizard) {
        Json report = ReadReport(fix);
        for (const auto& f : report["findings"])
            if (f["outcome"] == "repaired") repaired.push_back(f);
    }
    ASSERT_FALSE(repaired.empty()) << run.output;

    auto folder = run.output.find("(the originals are in ");
    ASSERT_NE(folder, std::string::npos) << run.output;
    fs::path backups = run.output.substr(folder + 22, run.output.find("):", folder) - folder - 22);
    ASSERT_EQ(backups.parent_path(), drive.Root() / "TallowmendBackup");

    std::size_t changedHives = 0;
    for (const auto& hive : drive.Hives()) {
        std::string name = Upper(fs::relative(hive, drive.Root()).string());
        if (Bytes(hive) == bytes[hive]) {
            EXPECT_FALSE(fs::exists(backups / fs::relative(hive, drive.Root()))) << name;
            continue;
        }
        ++changedHives;
        EXPECT_FALSE(offline::InspectHive(hive).Dirty()) << name;
        // The original, byte for byte, in the backup folder.
        EXPECT_EQ(Bytes(backups / fs::relative(hive, drive.Root())), bytes[hive]) << name;
        auto after = DumpHive(hive);
        std::vector<std::string> lines;
        for (const auto& [line, data] : dumps[hive]) {
            auto it = after.find(line);
            if (it == after.end() || it->second != data) lines.push_back(line);
        }
        for (const auto& [line, data] : after)
            if (!dumps[hive].count(line)) lines.push_back(line);
        ASSERT_FALSE(lines.empty()) << name;
        for (const auto& line : lines) {
            bool covered = false;
            for (const auto& f : repaired)
                if (Upper(f["hive"].get<std::string>()).ends_with(name.substr(name.rfind('/') + 1)) && Covers(f, line))
                    covered = true;
            EXPECT_TRUE(covered) << name << ": " << line << " changed, no repaired finding names it";
        }
    }
    EXPECT_GE(changedHives, 2u);

    // The changed hives load again, and a second scan finds none of the
    // repaired entries.
    ASSERT_EQ(RunProgram("--offline " + dir + " --scan-only --report " + Quote(again.string())).status, 1);
    std::set<std::string> left;
    Json second = ReadReport(again);
    for (const auto& f : second["findings"])
        left.insert(f["root"].dump() + f["key"].dump() + f["value"].dump() + f["view"].dump());
    for (const auto& f : repaired)
        EXPECT_FALSE(left.count(f["root"].dump() + f["key"].dump() + f["value"].dump() + f["view"].dump())) << f.dump();
}

INSTANTIATE_TEST_SUITE_P(Modes, OfflineFix,
                         ::testing::Values(TFixCase{Spelling::Windows, false}, TFixCase{Spelling::Other, true}));

using OfflineUserClasses = SharedHivesTest;

// A file type of the user's own classes whose icon is gone, over the
// machine's working one of the same name: found where it lives, in
// UsrClass.dat, and its repair changes that file alone, leaving the
// machine's key whole.
TEST_F(OfflineUserClasses, AUsersFileTypeIsFoundAndRepairedInTheirClassesHiveOnly) {
    TDriveLayout layout;
    layout.userFileType = true;
    TTestDrive drive(layout);
    fs::path report = out.path / "scan.json";
    TRun run = RunProgram("--offline " + Quote(drive.Root().string()) + " --scan-only --report " + Quote(report.string()));
    ASSERT_EQ(run.status, 1) << run.output;
    const std::string type = Upper(kUserFileType);
    std::set<std::string> views;
    Json doc = ReadReport(report);
    for (const auto& f : doc["findings"]) {
        if (Upper(f["key"].get<std::string>()).find(type) == std::string::npos) continue;
        EXPECT_EQ(f["root"], "HKEY_CURRENT_USER") << f.dump();
        EXPECT_EQ(Upper(f["key"].get<std::string>()), "SOFTWARE\\CLASSES\\" + type + "\\DEFAULTICON") << f.dump();
        EXPECT_TRUE(Upper(f["hive"].get<std::string>()).ends_with("\\USRCLASS.DAT")) << f.dump();
        views.insert(f["view"].get<std::string>());
    }
    EXPECT_EQ(views, (std::set<std::string>{"32-bit", "64-bit"}));

    std::map<fs::path, std::map<std::string, std::string>> before;
    for (const auto& hive : drive.Hives()) before[hive] = DumpHive(hive);
    {
        // Repaired as the scan made it, through HKEY_CLASSES_ROOT.
        offline::TOfflineMachine machine({drive.Root(), std::nullopt, {}});
        std::string icon = std::string(kUserFileType) + "\\DefaultIcon";
        findings::TCleanerRegKeyProduct(os::HKEY_CLASSES_ROOT, std::u16string(icon.begin(), icon.end()), u"", false,
                                        platform::RegView::Wow64_64())
            .Solve(nullptr);
        auto written = offline::WriteBack(machine);
        ASSERT_EQ(written.written.size(), 1u);
        EXPECT_TRUE(Upper(text::ToUtf8(written.written[0])).ends_with("\\USRCLASS.DAT"));
    }
    for (const auto& hive : drive.Hives()) {
        auto after = DumpHive(hive);
        if (hive != drive.ClassesHive()) {
            EXPECT_EQ(after, before[hive]) << hive;
            continue;
        }
        std::vector<std::string> gone;
        for (const auto& [line, data] : before[hive])
            if (!after.count(line)) gone.push_back(line);
        for (const auto& [line, data] : after) EXPECT_EQ(before[hive].at(line), data) << line;
        EXPECT_EQ(gone, (std::vector<std::string>{"K \\" + type + "\\DEFAULTICON",
                                                  "V \\" + type + "\\DEFAULTICON : "}));
    }
}

// A transaction log beside the hive whose first entry is numbered `sequence`.
void WriteLog(const fs::path& hive, const std::string& suffix, std::uint32_t sequence) {
    std::string block(0x200 + 32, '\0');
    block.replace(0, 4, "regf");
    block.replace(0x200, 4, "HvLE");
    for (int i = 0; i < 4; ++i) block[0x200 + 12 + i] = static_cast<char>(sequence >> (8 * i));
    fs::path log = hive;
    log += suffix;
    std::ofstream(log, std::ios::binary) << block;
}

std::uint32_t Secondary(const fs::path& hive) { return offline::InspectHive(hive).secondarySequence; }

void Hiberfil(const TTestDrive& drive, const std::string& head) {
    std::string bytes(4096, '\0');
    bytes.replace(0, head.size(), head);
    std::ofstream(drive.Root() / "hiberfil.sys", std::ios::binary) << bytes;
}

struct TRefusalCase {
    const char* name;
    void (*prepare)(const TTestDrive&);
    const char* expected;  // in the refusal; null: writing is safe
};

void PrintTo(const TRefusalCase& c, std::ostream* os) { *os << c.name; }

class OfflineRefusal : public SharedHivesWith<TRefusalCase> {};

// The command refuses before the scan, names why and leaves every file of
// the drive as it was; a clean drive passes the same checks.
TEST_P(OfflineRefusal, RefusesToWriteWhatWindowsWouldNotKeep) {
    TTestDrive drive;
    GetParam().prepare(drive);
    {
        offline::TOfflineMachine machine({drive.Root(), std::nullopt, {}});
        auto refusals = offline::WriteRefusals(machine);
        if (!GetParam().expected) {
            EXPECT_EQ(refusals, std::vector<std::string>{});
            return;
        }
        ASSERT_EQ(refusals.size(), 1u);
        EXPECT_NE(refusals[0].find(GetParam().expected), std::string::npos) << refusals[0];
    }
    auto before = Snapshot(drive);
    TRun run = RunProgram("--offline " + Quote(drive.Root().string()) + " --auto");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find(GetParam().expected), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("nothing was changed"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Scan:"), std::string::npos) << run.output;
    EXPECT_EQ(Snapshot(drive), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OfflineRefusal,
    ::testing::Values(
        TRefusalCase{"Clean", [](const TTestDrive&) {}, nullptr},
        TRefusalCase{"UnfinishedWrite", [](const TTestDrive& d) { SetSequences(d.Software(), 9, 8); },
                     "sequence numbers 9 and 8 differ"},
        TRefusalCase{"NewerLog", [](const TTestDrive& d) { WriteLog(d.System(), ".LOG1", Secondary(d.System())); },
                     "transaction log"},
        TRefusalCase{"StaleLog", [](const TTestDrive& d) { WriteLog(d.System(), ".LOG2", Secondary(d.System()) - 1); },
                     nullptr},
        TRefusalCase{"Hibernated", [](const TTestDrive& d) { Hiberfil(d, "HIBR"); }, "hibernated"},
        TRefusalCase{"FastStartup", [](const TTestDrive& d) { Hiberfil(d, "wake"); }, "fast start-up"},
        TRefusalCase{"ShutDownFully", [](const TTestDrive& d) { Hiberfil(d, ""); }, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// Root passes every permission check, so the drive is made read-only the
// way a mount is: in a mount namespace of its own.
using OfflineReadOnly = SharedHivesTest;

TEST_F(OfflineReadOnly, RefusesADriveMountedReadOnly) {
    if (std::system("unshare -m true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no mount namespace here (unshare -m): a read-only mount cannot be made";
    TTestDrive drive;
    auto before = Snapshot(drive);
    std::string dir = drive.Root().string();
    TRun run = RunProgram("--offline " + Quote(dir) + " --auto",
                          "unshare -m sh -c 'mount --bind -o ro " + dir + " " + dir + " && exec \"$0\" \"$@\"' ");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("read-only"), std::string::npos) << run.output;
    EXPECT_EQ(Snapshot(drive), before);
    // The same drive, scanned only, is not refused.
    run = RunProgram("--offline " + Quote(dir) + " --scan-only",
                     "unshare -m sh -c 'mount --bind -o ro " + dir + " " + dir + " && exec \"$0\" \"$@\"' ");
    EXPECT_EQ(run.status, 1) << run.output;
}

}  // namespace
