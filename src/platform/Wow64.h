// Whether the program runs as a 32-bit process on 64-bit Windows.
#pragma once

#include <stdexcept>

namespace platform {

// Raised when the system cannot answer for the current process.
class EWow64Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Asks the system now: false where IsWow64Process does not exist; throws
// EWow64Error "IsWow64: bad process handle" when the query itself fails.
bool IsWow64();

// Takes IsWow64 once and keeps it for IsWindows64. The main routine calls it
// first thing, before any window or thread; calling it again re-reads the
// system (tests that switch the emulated machine do so).
void InitWindows64();

// The value InitWindows64 kept; taken on first use when it never ran.
bool IsWindows64();

}  // namespace platform
