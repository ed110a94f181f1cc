// One run of the fix step with its journal session: every finding is backed
// up before it is repaired, and nothing is repaired whose backup was not
// recorded. Each repair's outcome is kept for the caller (the wizard, the
// unattended report).
#pragma once

#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

#include "backups/BackupsManagerUnit.h"
#include "findings/CleanerScanProduct.h"
#include "findings/ScanProduct.h"

namespace app {

struct TRepairOutcome {
    enum TKind { Repaired, Failed, Skipped };
    TKind Kind = Skipped;
    std::u16string Reason;
    std::u16string Entry;  // the journal entry that undoes it
};

const char* RepairKindName(TRepairOutcome::TKind kind);

// A setting finding was left as it was because its backup failed.
class ERepairRefused : public std::runtime_error {
public:
    explicit ERepairRefused(std::u16string message);
    const std::u16string& Message() const { return message_; }

private:
    std::u16string message_;
};

class TFixRun {
public:
    // Opens the data folder's journal, proves it can be written and starts
    // a session. Throws EJournalWriteError before anything is repaired.
    TFixRun();
    ~TFixRun();
    TFixRun(const TFixRun&) = delete;
    TFixRun& operator=(const TFixRun&) = delete;

    TRepairOutcome Repair(findings::TCleanerScanProduct& finding);
    // Throws what the finding's Solve throws, and ERepairRefused when its
    // backup could not be recorded; the outcome is recorded first.
    TRepairOutcome Repair(findings::TScanProduct& finding);

    const std::u16string& Session() const { return FSession; }
    // Outcomes by finding, for whoever reports them.
    const std::map<const void*, TRepairOutcome>& Outcomes() const { return FOutcomes; }

private:
    bool BackupFilesExist(const std::u16string& entry) const;

    std::unique_ptr<backups::TBackupsManager> FJournal;
    std::u16string FSession;
    std::map<const void*, TRepairOutcome> FOutcomes;
    std::set<std::u16string> FRepaired;  // descriptions
};

}  // namespace app
