// How often the emulated machine served each seam function since the last
// reset: on Windows each of these is a kernel call, under Wine a round trip
// to the server, so their number is the scan's cost that does not depend on
// the machine the benchmark runs on. Counting is a relaxed atomic increment
// and changes no answer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace emul {

enum class SeamCall : std::size_t {
    RegOpen,       // RegOpenKeyExW
    RegCreate,     // RegCreateKeyExW
    RegClose,      // RegCloseKey
    RegQueryInfo,  // RegQueryInfoKeyW
    RegQueryValue, // RegQueryValueExW
    RegEnumKey,    // RegEnumKeyExW
    RegEnumValue,  // RegEnumValueW
    RegWrite,      // values set or deleted, keys deleted
    FileAttributes,  // GetFileAttributesW
    FindFirst,       // FindFirstFileW
    FileOpen,        // CreateFileW
    DriveType,       // GetDriveTypeW
    Count
};
constexpr std::size_t kSeamCallKinds = static_cast<std::size_t>(SeamCall::Count);

std::string_view SeamCallName(SeamCall call);

struct SeamCallCounts {
    std::array<std::uint64_t, kSeamCallKinds> calls{};

    std::uint64_t operator[](SeamCall call) const { return calls[static_cast<std::size_t>(call)]; }
    std::uint64_t Registry() const;
    // Questions about paths: attributes, directory searches, opens.
    std::uint64_t PathProbes() const;
    std::uint64_t Total() const;
    friend SeamCallCounts operator-(const SeamCallCounts& a, const SeamCallCounts& b);
};

void CountSeamCall(SeamCall call);
SeamCallCounts SeamCalls();
void ResetSeamCalls();

// While on, the paths asked about (attributes and directory searches) are
// kept, upper-cased, to count the distinct ones. Off after a reset; only a
// benchmark turns it on, since it costs a lock and a string per probe.
void RecordProbedPaths(bool on);
void RecordProbedPath(const char16_t* path);
std::size_t DistinctProbedPaths();

}  // namespace emul
