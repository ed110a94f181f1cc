// PCRE2 is linked the same way in both builds (Debian's library natively, a
// static cross build for Windows); the path checks depend on identical
// answers from both, JIT or not.
#include <gtest/gtest.h>
#include <pcre2.h>

#include <memory>
#include <string>

namespace {

struct CodeDeleter {
    void operator()(pcre2_code* c) const { pcre2_code_free(c); }
};
struct MatchDeleter {
    void operator()(pcre2_match_data* m) const { pcre2_match_data_free(m); }
};

std::string FirstGroup(const char* pattern, const std::string& subject, bool jit) {
    int err = 0;
    PCRE2_SIZE offset = 0;
    std::unique_ptr<pcre2_code, CodeDeleter> code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern),
                                                                PCRE2_ZERO_TERMINATED, PCRE2_CASELESS | PCRE2_MULTILINE,
                                                                &err, &offset, nullptr));
    if (!code) return "<compile error>";
    if (jit && pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) != 0) return "<jit error>";
    std::unique_ptr<pcre2_match_data, MatchDeleter> md(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    int rc = pcre2_match(code.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0, md.get(),
                         nullptr);
    if (rc < 2) return "<no match>";
    auto* ov = pcre2_get_ovector_pointer(md.get());
    return subject.substr(ov[2], ov[3] - ov[2]);
}

class Pcre2Smoke : public ::testing::TestWithParam<bool> {};

TEST_P(Pcre2Smoke, DrivePathExpressionAnswersAlike) {
    const char* pattern = "^([a-z]:\\\\[^/:*?\"<>|\\r\\n]*)";
    bool jit = GetParam();
    EXPECT_EQ(FirstGroup(pattern, "C:\\Windows\\x.dll", jit), "C:\\Windows\\x.dll");
    EXPECT_EQ(FirstGroup(pattern, "c:\\bad|name", jit), "c:\\bad");
    EXPECT_EQ(FirstGroup(pattern, "foo\nd:\\a\\b.txt", jit), "d:\\a\\b.txt");
    EXPECT_EQ(FirstGroup(pattern, "no path here", jit), "<no match>");
}

INSTANTIATE_TEST_SUITE_P(Interpreter, Pcre2Smoke, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Jit, Pcre2Smoke, ::testing::Values(true));

}  // namespace
