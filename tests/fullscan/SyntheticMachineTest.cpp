// The whole scan over a small synthetic machine (the benchmark's, a few
// thousand keys): every finding, in order, must match the list kept beside
// the fixtures. The list was taken before the scan learned to reuse key
// handles and remember paths, so any change to what is found, how it is
// described or the order it arrives in shows up here as a diff.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "SyntheticMachine.h"
#include "fullscan/FullScan.h"

namespace fullscan {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kKeys = 20000;
const std::string kExpected = std::string(TALLOWMEND_FIXTURES_DIR) + "/synthetic/findings-20000.txt.xz";

std::string Decompressed(const std::string& file) {
    std::string out;
    FILE* pipe = ::popen(("xz -dc '" + file + "'").c_str(), "r");
    if (!pipe) return out;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = ::pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "xz -dc " << file;
    return out;
}

class HostFolder {
public:
    HostFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tallowmend-synthetic-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~HostFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

TEST(SyntheticMachine, FullScanFindsExactlyTheKeptListInOrder) {
    HostFolder folder;
    ASSERT_FALSE(folder.path().empty());
    bench::BuildSyntheticMachine(folder.path(), bench::MachineSize{kKeys});
    auto result = RunFullScan(300s);
    ASSERT_TRUE(result.completed) << "the scan did not complete";
    std::string actual;
    for (const auto& line : result.lines) actual += line + "\n";
    const std::string expected = Decompressed(kExpected);
    EXPECT_FALSE(expected.empty());
    if (actual != expected) {
        // The whole list is long: leave it beside the test for a diff.
        std::ofstream(std::filesystem::current_path() / "synthetic-findings.txt", std::ios::binary) << actual;
        ADD_FAILURE() << "the findings differ from " << kExpected
                      << "; this run's list is in synthetic-findings.txt of the test's folder ("
                      << result.lines.size() << " findings)";
    }
}

}  // namespace
}  // namespace fullscan
