// The native command over a real Windows system drive:
//
//   tallowmend --offline DIR [--user NAME] [--drive X=DIR] [--scan-only]
//              [--auto] [--report FILE] [--details] [-debug]
//
// DIR is drive C: of that Windows (a mounted partition or a copy); the
// registry is its hive files, the user's hives those of NAME's profile. The
// run is the wizard's or the unattended mode's, over that machine; the JSON
// report names the hive file of each finding. What the run changed is then
// written into the hive files (see offline/WriteBack.h), never with
// --scan-only, and not at all when that would not be safe.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace entry {

struct TOfflineRequest {
    std::filesystem::path drive;
    std::optional<std::u16string> user;
    std::map<char16_t, std::filesystem::path> others;
    bool scanOnly = false;
    std::optional<std::string> report;
    unsigned short uiLanguage = 1033;  // --ui-language
};

// Runs the program with these arguments over the machine as configured, its
// program folder (log, journal) at the given host folder; gives its status.
using TRunProgram = std::function<int(const std::vector<std::u16string>&, const std::filesystem::path&)>;

// Exit status as the unattended mode's: 0 nothing found, 1 problems found,
// 2 an error (the drive cannot be read, or cannot safely be written).
int RunOffline(const TOfflineRequest& request, std::vector<std::u16string> args, const TRunProgram& run);

}  // namespace entry
