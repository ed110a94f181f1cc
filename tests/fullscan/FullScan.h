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

// One line of a census file, "SIDES | FINDING | VERDICT": the runs it holds
// for ("native", "wine", or "all"; comma-separated), one finding as
// RunFullScan writes it, and why it is one ("missing PATH", "empty" or
// "harness WHY").
struct CensusLine {
    std::vector<std::string> sides;
    std::string finding;
    std::string verdict;
    bool HoldsFor(const std::string& side) const;
};

// Every line of a census file; "#" comments and blank lines are skipped. A
// line without the three parts throws std::runtime_error naming it.
std::vector<CensusLine> ReadCensus(const std::string& path);
// The findings the census expects of one side, in order.
std::vector<std::string> CensusFindings(const std::vector<CensusLine>& census, const std::string& side);

}  // namespace fullscan
