// The whole scan over a realistic 64-bit Windows 7 machine: every scanner in
// both views, healthy entries beside broken ones and the traps a real
// registry holds. The expected findings, in order, live beside the fixture
// (tests/fixtures/realistic/expected.txt); the same file is checked under
// Wine by wine-fullscan.sh.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fullscan/FullScan.h"
#include "platform/Text.h"
#include "platform/Wow64.h"
#include "platform/emul/Machine.h"
#include "support/SeamTest.h"

namespace fullscan {
namespace {

using namespace std::chrono_literals;

const std::string kFixture = std::string(TALLOWMEND_FIXTURES_DIR) + "/realistic";

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\n";
    return out;
}

class RealisticMachine : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        // The scratch key would be walked as a vendor of its own.
        testsupport::DeleteTree(os::HKEY_CURRENT_USER, u"Software\\TallowmendTests", 0);

        std::ifstream in(kFixture + "/machine.reg", std::ios::binary);
        ASSERT_TRUE(in);
        std::stringstream text;
        text << in.rdbuf();
        emul::LoadRegText(text::FromUtf8(text.str()));

        namespace fs = std::filesystem;
        fs::copy(kFixture + "/drive-c", emul::HostPath(u"C:\\"),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        platform::InitWindows64();
    }
};

TEST_F(RealisticMachine, FullScanFindsExactlyTheBrokenEntriesOfBothViewsInOrder) {
    ASSERT_TRUE(platform::IsWindows64()) << "the default emulated machine is 64-bit Windows 7";
    auto result = RunFullScan(120s);
    ASSERT_TRUE(result.completed) << "the scan did not complete";
    auto expected = ReadExpectations(kFixture + "/expected.txt", false);
    ASSERT_FALSE(expected.empty());
    // One string, so that a mismatch prints as a readable diff.
    EXPECT_EQ(Joined(result.lines), Joined(expected));
}

}  // namespace
}  // namespace fullscan
