// One whole scan of the machine, run the way the wizard runs it: a scan
// manager with the built-in scanners, started from the UI thread, its
// deliveries served by a message loop. Each finding becomes one line:
//   "<pass> <description>" or "<pass> <description> -- <reason>"
// where <pass> is 64 for the 64-bit view and 32 for the 32-bit one.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "findings/CleanerScanProduct.h"

namespace fullscan {

struct ScanResult {
    std::vector<std::string> lines;
    // The findings themselves, in the same order, for repairing them.
    std::vector<std::unique_ptr<findings::TCleanerScanProduct>> products;
    bool completed = false;
};

// The manager runs its own passes: on 64-bit Windows, in a 32-bit process,
// the 64-bit view and then the process's own.
ScanResult RunFullScan(std::chrono::seconds timeout);

// Reads an expectations file: one line per finding, "#" comments and blank
// lines ignored. Lines starting with "native: " or "wine: " hold only for
// that side (the prefix is dropped); the others hold for both.
std::vector<std::string> ReadExpectations(const std::string& path, bool wine);

}  // namespace fullscan
