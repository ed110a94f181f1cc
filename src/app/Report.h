// The unattended mode's report: JSON with a stable layout ("format": 1) that
// administrators' tools read. What the wizard lists, one object per finding,
// with each repair's outcome after a fix and each entry's after a restore.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/JournalSessions.h"
#include "app/RepairRun.h"

namespace app {

class TMainForm;

struct TReportFinding {
    const void* Finding = nullptr;  // identity, for the fix step's outcomes
    std::u16string Kind;            // "scanner" or "setting"
    std::u16string Class;
    std::u16string Root, Key, Value, Data, View, Description;
    bool HasValue = false, HasData = false;
};

// Every finding of the results list in list order, the composite entry
// opened up into the scanner findings it holds (in scan order).
std::vector<TReportFinding> CollectFindings(TMainForm& form);

// "64-bit" or "32-bit" on 64-bit Windows, "default" on 32-bit Windows.
std::u16string ViewName(platform::RegView view);

struct TReport {
    std::u16string Mode;  // "scan", "fix", "restore"
    std::vector<TReportFinding> Findings;
    const std::map<const void*, TRepairOutcome>* Outcomes = nullptr;
    std::u16string Session;
    std::vector<TRestoreResult> Restored;
    std::u16string Error;  // empty when the run went through
    int ExitCode = 0;
};

std::string ReportJson(const TReport& report);

}  // namespace app
