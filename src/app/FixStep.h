// The fix step's restoration of the system's rundll32 program file from a
// copy shipped beside the program, chosen by the Windows version.
#pragma once

#include <string>

#include "platform/os/WinApi.h"

namespace app {

enum class TRundllVersion { None, WindowsXP, WindowsVista, Windows7 };

TRundllVersion ClassifyWindowsVersion(const os::OSVERSIONINFOEXW& info);
TRundllVersion CurrentRundllVersion();

// The shipped copy for a version ("rxp.dat", "rv.dat", "r7.dat"); empty for None.
std::u16string RundllSourceName(TRundllVersion version);
// The folder of the running executable, ending in "\".
std::u16string ProgramFolder();
// The system folder as the 32-bit program sees it, then "\rundll32.exe".
std::u16string RundllTargetPath();

// The command line that copies `source` over `target` in a hidden console.
std::u16string RundllCopyCommand(const std::u16string& source, const std::u16string& target);

// Whether the file exists, is not empty and is a Windows executable image
// for the i386 machine: the only kind of file that may replace rundll32.
bool IsI386ExecutableImage(const std::u16string& path);

// Puts the shipped copy for this Windows version over the system's
// rundll32. A copy that is missing or not a 32-bit executable image is
// left alone, so the system's file is never replaced by garbage. Failures
// are not reported: the fix step goes on with the findings either way.
void RestoreRundll32();

}  // namespace app
