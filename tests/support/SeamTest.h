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
// The test process is a 32-bit process on 64-bit Windows, as tallowmend.exe
// is there. True natively (the emulated default machine) and for the i686
// build under Wine; false for the x86_64 test build under wine64.
bool ProcessIsWow64();

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
// Writes a file through the seam (replacing it), failing the test when it
// cannot be written whole.
void WriteFile(const std::u16string& path, const std::string& bytes);

// "X:" for a drive letter the machine does not have now (an unplugged
// stick, an unmapped network drive); empty when every letter is in use.
std::u16string AbsentDrive();

#ifndef _WIN32
// Copies a host folder tree into a folder of the emulated machine (as a
// 64-bit program names it), merging into folders that are already there
// in whatever case they are spelled, as copying on Windows would.
void CopyIntoDrive(const std::string& hostFolder, const std::u16string& windowsFolder);
#endif

}  // namespace testsupport

// Wine lacks a Windows behaviour this case checks: skip under Wine only,
// with the reason; the emulation still has to follow Windows.
#define SKIP_ON_WINE(reason)                                            \
    do {                                                                \
        if (::testsupport::OnWine()) GTEST_SKIP() << "Wine: " << reason; \
    } while (0)

// The case needs the process to be a WOW64 process (registry redirection of
// the default view, file-system redirection).
#define SKIP_UNLESS_WOW64()                                                                          \
    do {                                                                                            \
        if (!::testsupport::ProcessIsWow64())                                                       \
            GTEST_SKIP() << "the test process is not a WOW64 process (64-bit test build under wine64)"; \
    } while (0)
