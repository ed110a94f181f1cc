// Runs one scanner over the emulated machine and flattens what it reports,
// so expectations read as lists of registry locations.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "findings/CleanerRegKeyProduct.h"
#include "findings/CleanerRegValueProduct.h"
#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "platform/Wow64.h"
#include "scan/Scanners.h"
#include "support/SeamTest.h"
#ifndef _WIN32
#include "platform/emul/EmulRegistry.h"
#include "platform/emul/EmulSystem.h"
#endif

namespace scanners::testing {

using Lines = std::vector<std::string>;

// The 32-bit pass runs with no view bits, the 64-bit pass with KEY_WOW64_64KEY.
constexpr os::REGSAM kPass32 = 0;
constexpr os::REGSAM kPass64 = 0x100;

class ScannerHarness : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        platform::InitWindows64();
    }
    void TearDown() override {
        platform::RegistryViewFlag = 0;
        SeamTest::TearDown();
    }

    // "key HKEY_...\sub" or "value HKEY_...\sub|name"; " (data)" marks a
    // value judged by its data rather than its name.
    static std::string Describe(const findings::TCleanerScanProduct& p) {
        if (auto* k = dynamic_cast<const findings::TCleanerRegKeyProduct*>(&p)) {
            EXPECT_TRUE(k->Reason().empty());
            EXPECT_FALSE(k->HasNoValues());
            return "key " + text::ToUtf8(platform::RootKeyName(k->RootKey()) + u"\\" + k->SubKey());
        }
        if (auto* v = dynamic_cast<const findings::TCleanerRegValueProduct*>(&p))
            return "value " + text::ToUtf8(platform::RootKeyName(v->RootKey()) + u"\\" + v->SubKey() + u"|" + v->Value()) +
                   (v->Reason().empty() ? "" : " (data)");
        ADD_FAILURE() << "unexpected finding class";
        return {};
    }

    // Runs the scanner in one pass; `abortAfter` answers true from that
    // many abort checks on.
    Lines Run(scan::TScanner& scanner, os::REGSAM pass, int abortAfter = -1) {
        findings.clear();
        progress.clear();
        abortChecks = 0;
        scanner.SetResultFoundEvent([this](std::unique_ptr<findings::TCleanerScanProduct> p) { findings.push_back(Describe(*p)); });
        scanner.SetProgressEvent([this](const std::u16string& t) { progress.push_back(text::ToUtf8(t)); });
        scanner.SetAbortEvent([this, abortAfter] { return abortChecks++ >= abortAfter && abortAfter >= 0; });
        platform::RegistryViewFlag = static_cast<std::int32_t>(pass);
        scanner.Scan();
        platform::RegistryViewFlag = 0;
        return findings;
    }

#ifndef _WIN32
    // Loads a .reg fixture of tests/fixtures/scanners and creates the files
    // and folders its healthy entries name (C:\Apps\Good); nothing under
    // C:\Apps\Gone exists.
    static void LoadFixture(const std::string& name);
    static void MakeFile(const std::u16string& windowsPath);
    static void MakeFolder(const std::u16string& windowsPath);
#endif

    Lines findings;
    Lines progress;
    int abortChecks = 0;
};

// One row of a scanner's table: the fixture it runs over, the pass, and
// every finding in order.
struct Case {
    std::string name;
    std::function<std::unique_ptr<scan::TScanner>()> make;
    std::string fixture;
    os::REGSAM pass;
    Lines expected;
};

inline void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class ScannerTable : public ScannerHarness, public ::testing::WithParamInterface<Case> {};

inline std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

template <class T>
std::unique_ptr<scan::TScanner> Make() {
    return std::make_unique<T>();
}

}  // namespace scanners::testing
