// Fixture for every test that touches the OS seam. The same test code runs
// natively (over a freshly reset emulated machine) and under Wine (against
// the real API in the throwaway prefix). Each test gets its own registry key
// and folder, removed afterwards, so tests never see each other's data or
// depend on what Wine's own registry holds.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/os/WinApi.h"

namespace testsupport {

bool OnWine();
bool Native();

class SeamTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // "Software\TallowmendTests\<unique>" below HKEY_CURRENT_USER; exists.
    const std::u16string& ScratchKey() const { return scratchKey_; }
    // "SOFTWARE\TallowmendTests\<unique>" below HKEY_LOCAL_MACHINE, not
    // created; whatever a test creates there is removed in both views.
    const std::u16string& MachineScratchKey() const { return machineKey_; }
    // "C:\tallowmend-tests\<unique>"; exists and is empty.
    const std::u16string& ScratchFolder() const { return folder_; }

private:
    std::u16string scratchKey_;
    std::u16string machineKey_;
    std::u16string folder_;
};

// Deletes a key and everything below it through the seam (any view);
// missing keys are fine. Used for cleanup only.
void DeleteTree(os::HKEY root, const std::u16string& path, os::REGSAM view);
// Removes a folder tree through the seam; missing folders are fine.
void RemoveFolderTree(const std::u16string& path);

}  // namespace testsupport

// Wine lacks a Windows behaviour this case checks: skip under Wine only,
// with the reason; the emulation still has to follow Windows.
#define SKIP_ON_WINE(reason)                                            \
    do {                                                                \
        if (::testsupport::OnWine()) GTEST_SKIP() << "Wine: " << reason; \
    } while (0)
