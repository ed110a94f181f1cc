// The backup journal seen as fix runs: every run of the fix step is one
// session whose entries can be listed, put back together, and dropped when
// newer sessions push it out.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "backups/BackupsManagerUnit.h"
#include "platform/RegistryAccess.h"

namespace app {

struct TJournalEntry {
    int Position = -1;    // in the journal when it was listed
    std::u16string Name;  // the entry's section (its number)
    std::u16string Type, Description, Time;
    std::u16string Restored;  // when an earlier undo put it back
    os::HKEY Root = nullptr;
    std::u16string Key, Value;
    platform::RegView View;
    // Why the entry cannot be put back (unreadable, files missing); empty
    // when it can.
    std::u16string Problem;
};

struct TJournalSession {
    std::u16string Id;  // empty: entries made outside any fix run
    std::u16string Time, Windows;
    std::vector<TJournalEntry> Entries;  // in journal order
};

// Newest session first; entries that belong to no session come last, as one
// session with an empty Id. Never throws for a damaged journal: what cannot
// be read is listed with its Problem.
std::vector<TJournalSession> ListSessions(backups::TBackupsManager& journal);
// "last" or a session's Id; null when there is none such.
const TJournalSession* FindSession(const std::vector<TJournalSession>& sessions, const std::u16string& which);
// One more than the highest session number the journal holds.
std::u16string NextSessionId(backups::TBackupsManager& journal);

// "yyyy-mm-dd hh:mm:ss" local time, and "6.1.7601 64-bit": how sessions and
// reports name the moment and the system.
std::u16string NowText();
std::u16string WindowsText();

// What putting the entry back would overwrite now (its key or value exists
// again); nothing when it would overwrite nothing.
std::optional<std::u16string> RestoreConflict(const TJournalEntry& entry);

enum class TRestoreOutcome { Restored, Skipped, Failed };
struct TRestoreResult {
    TJournalEntry Entry;
    TRestoreOutcome Outcome = TRestoreOutcome::Skipped;
    std::u16string Reason;
};

// Answers whether to overwrite what `conflict` describes; without one every
// such entry is skipped.
using TOverwriteQuestion = std::function<bool(const TJournalEntry& entry, const std::u16string& conflict)>;

// Puts back the session's entries, the newest first (the reverse of the
// order they were repaired in, so a key comes back before the values that
// were deleted from it earlier). `only` limits it to those entry names.
std::vector<TRestoreResult> RestoreSession(backups::TBackupsManager& journal, const TJournalSession& session,
                                           const TOverwriteQuestion& ask,
                                           const std::set<std::u16string>* only = nullptr);

// "KeepSessions" of the journal's "Count" section; 10 when absent or not a
// positive number.
int KeepSessionsSetting(backups::TBackupsManager& journal);
// Removes every session but the newest `keep`, entries and folders; entries
// made outside a fix run stay.
void PruneSessions(backups::TBackupsManager& journal, int keep);

}  // namespace app
