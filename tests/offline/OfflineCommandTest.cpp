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
#include "offline/OfflineMachine.h"
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

class OfflineCommand : public ::testing::TestWithParam<Spelling> {
protected:
    void SetUp() override {
        if (!fs::exists(SharedHives() / "SYSTEM.xz")) GTEST_SKIP() << "no shared hives at " << SharedHives();
    }
    void TearDown() override { emul::Reset(); }
    TTempDir out;
};

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

}  // namespace
