// The emulated Windows machine behind the OS seam in the native build.
// Tests and the Linux demo configure it through these functions; program code
// never includes this header.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os/WinApi.h"

namespace emul {

// Back to a fresh machine: 64-bit Windows 7 SP1 workstation (6.1.7601,
// product type 1) with the program as a WOW64 process, ANSI code page 1252,
// locale 1033 with "/" and ":" separators, Wine-like environment and shell
// folders for drive C:, no drive mapped, an empty registry holding only the
// standard roots, the privileges of an elevated administrator token (SeBackup and
// SeRestore held but disabled), nothing recorded.
void Reset();

// Parts of Reset, each owned by its half of the emulator.
void ResetRegistry();
void ResetSystem();

}  // namespace emul

#include "platform/emul/EmulRegistry.h"
#include "platform/emul/EmulSystem.h"
