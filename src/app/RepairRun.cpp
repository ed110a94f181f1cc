#include "app/RepairRun.h"

#include "app/JournalSessions.h"
#include "findings/CleanerRegKeyProduct.h"
#include "findings/CleanerRegValueProduct.h"
#include "findings/JournalSupport.h"
#include "findings/RegKeyProduct.h"
#include "platform/Text.h"
#include "runtime/Logger.h"

namespace app {
namespace {

// Whether what the finding stands for is still in the registry; true for
// kinds this run cannot look at.
bool StillPresent(const findings::TCleanerScanProduct& finding) {
    if (auto* key = dynamic_cast<const findings::TCleanerRegKeyProduct*>(&finding))
        return platform::RegistryKeyExists(key->RootKey(), key->SubKey(), key->View());
    if (auto* value = dynamic_cast<const findings::TCleanerRegValueProduct*>(&finding))
        return platform::RegistryValueExists(value->RootKey(), value->SubKey(), value->Value(), value->View());
    return true;
}

bool Checkable(const findings::TCleanerScanProduct& finding) {
    return dynamic_cast<const findings::TCleanerRegKeyProduct*>(&finding) ||
           dynamic_cast<const findings::TCleanerRegValueProduct*>(&finding);
}

const char16_t kNoBackup[] = u"its backup could not be written, so it was left as it was";

}  // namespace

const char* RepairKindName(TRepairOutcome::TKind kind) {
    switch (kind) {
        case TRepairOutcome::Repaired:
            return "repaired";
        case TRepairOutcome::Failed:
            return "failed";
        case TRepairOutcome::Skipped:
            break;
    }
    return "skipped";
}

ERepairRefused::ERepairRefused(std::u16string message)
    : std::runtime_error(text::ToUtf8(message)), message_(std::move(message)) {}

TFixRun::TFixRun() : FJournal(std::make_unique<backups::TBackupsManager>()) {
    FJournal->CheckWritable();
    FSession = NextSessionId(*FJournal);
    FJournal->BeginSession(FSession, NowText(), WindowsText());
    runtime::Log(u"Fix step: journal session " + FSession);
}

TFixRun::~TFixRun() {
    try {
        PruneSessions(*FJournal, KeepSessionsSetting(*FJournal));
    } catch (const std::exception& e) {
        runtime::Log(u"Old backup sessions could not be removed: " + text::FromUtf8(e.what()));
    }
}

bool TFixRun::BackupFilesExist(const std::u16string& entry) const {
    auto folder = FJournal->BackupRoot() + entry + u"\\";
    for (const char16_t* name : {findings::kKeyHiveFile, findings::kKeyTextFile, u"backuped_value.dat"})
        if (os::GetFileAttributesW((folder + name).c_str()) != os::INVALID_FILE_ATTRIBUTES) return true;
    return false;
}

TRepairOutcome TFixRun::Repair(findings::TCleanerScanProduct& finding) {
    TRepairOutcome outcome;
    if (Checkable(finding) && !StillPresent(finding)) {
        // The keys both views share are found once in each pass.
        outcome.Reason = FRepaired.count(finding.GetDescription())
                             ? u"repaired above: the same entry, found in both registry views"
                             : u"already gone";
        return FOutcomes[&finding] = outcome;
    }
    auto before = FJournal->CurrentEntryName();
    finding.Solve(FJournal.get());
    auto after = FJournal->CurrentEntryName();
    if (after != before) outcome.Entry = after;
    if (!Checkable(finding) || !StillPresent(finding)) {
        outcome.Kind = TRepairOutcome::Repaired;
        FRepaired.insert(finding.GetDescription());
    } else {
        outcome.Kind = TRepairOutcome::Failed;
        outcome.Reason =
            outcome.Entry.empty() || !BackupFilesExist(outcome.Entry) ? kNoBackup : u"the registry refused the change";
    }
    return FOutcomes[&finding] = outcome;
}

TRepairOutcome TFixRun::Repair(findings::TScanProduct& finding) {
    TRepairOutcome outcome;
    if (auto* key = dynamic_cast<findings::TRegKeyProduct*>(&finding);
        key && !platform::RegistryKeyExists(key->RootKey(), key->Key(), platform::RegView::Default())) {
        outcome.Reason = u"already gone";
        return FOutcomes[&finding] = outcome;
    }
    bool recorded = false;
    std::u16string why = kNoBackup;
    try {
        recorded = finding.Backup(*FJournal);
    } catch (const std::exception& e) {
        why = std::u16string(kNoBackup) + u": " + text::FromUtf8(e.what());
    }
    if (!recorded) {
        outcome.Kind = TRepairOutcome::Failed;
        outcome.Reason = why;
        FOutcomes[&finding] = outcome;
        throw ERepairRefused(finding.GetDescription() + u": " + why);
    }
    outcome.Entry = FJournal->CurrentEntryName();
    try {
        finding.Solve();
    } catch (const std::exception& e) {
        outcome.Kind = TRepairOutcome::Failed;
        outcome.Reason = text::FromUtf8(e.what());
        FOutcomes[&finding] = outcome;
        throw;
    }
    outcome.Kind = TRepairOutcome::Repaired;
    return FOutcomes[&finding] = outcome;
}

}  // namespace app
