// The backup journal: "backups.ini" in the data folder, one numbered section
// per backed-up finding, and a folder "backuped\<number>\" per entry for its
// backup file. It knows nothing of registry data.
//
// Other tools read these files, so the numbering quirks stay: a fresh
// journal counts -1, entry numbers are never reused ("LastCode"), and the
// section list lags behind a "Count" section created after loading until the
// count rule reloads it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "backups/IniDocument.h"
#include "platform/os/WinApi.h"

namespace backups {

// "backups.ini" could not be written; the change stays in memory and goes
// out with the next save that succeeds.
class EJournalWriteError : public std::runtime_error {
public:
    EJournalWriteError(const std::string& message, os::DWORD code) : std::runtime_error(message), code_(code) {}
    os::DWORD Code() const { return code_; }

private:
    os::DWORD code_;
};

// An Index outside the journal.
class EJournalIndexError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

class TBackupsManager {
public:
    // Loads the journal of the current data folder and makes sure that its
    // "backuped" folder exists.
    TBackupsManager();
    TBackupsManager(const TBackupsManager&) = delete;
    TBackupsManager& operator=(const TBackupsManager&) = delete;

    // Appends an entry; it becomes the current entry.
    void NewEntry(const std::u16string& BackupItemType, const std::u16string& Description);
    // Creates the current entry's folder. A failure is logged and the caller
    // goes on; both outputs are set either way.
    void CreateBackupFolder(std::u16string& BackupPath, std::u16string& BackupFolder);
    void BackupString(const std::u16string& Ident, const std::u16string& Value);
    void BackupInteger(const std::u16string& Ident, std::int32_t Value);

    // Reads of the entry at position Index (not its number). Never throw:
    // "" or 0 for anything missing.
    std::u16string GetBackupedString(int Index, const std::u16string& Ident) const;
    std::int32_t GetBackupedInteger(int Index, const std::u16string& Ident) const;

    // Removes the entry at position Index with its folder. Throws
    // EJournalIndexError for a position outside the journal.
    void DeleteEntry(int Index);

    int BackupsCount();

    // Data folder + "backuped\".
    const std::u16string& BackupRoot() const { return FBackupRoot; }

    // Entries made from now on belong to one fix run: NewEntry writes
    // "Session", "SessionTime" and "Windows" after "Desc", so that a run can
    // be listed and undone as a whole.
    void BeginSession(std::u16string Id, std::u16string Time, std::u16string Windows);
    // Section name of the entry NewEntry made last.
    std::u16string CurrentEntryName() const { return CurrentSection(); }
    // Saves the document as it stands and checks the "backuped" folder: a
    // fix run calls it before repairing anything. Throws EJournalWriteError.
    void CheckWritable();
    // Reloads the section list from the document and returns the number of
    // entry positions it holds (what a damaged "Count" may misstate).
    int EntryPositions();
    // Section name of the entry at position Index; empty outside.
    std::u16string EntryName(int Index) const;
    // A setting kept in the "Count" section (such as "KeepSessions"); empty
    // when absent.
    std::u16string GetSetting(const std::u16string& Ident) const;
    // Stores Ident = Value in the entry at position Index and saves.
    void SetEntryString(int Index, const std::u16string& Ident, const std::u16string& Value);

private:
    std::u16string GetSectionName(int Index) const;
    std::int32_t GetLastCode() const;
    std::u16string GetLastCodeString() const;
    std::u16string CurrentSection() const;
    void Save();

    TIniDocument FIniFile;
    std::vector<std::u16string> FSections;
    std::u16string FFileName;
    std::u16string FBackupRoot;
    std::u16string FSession, FSessionTime, FSessionWindows;
};

// Decimal text to a signed 32-bit integer; false for anything else
// (blanks, hexadecimal, overflow).
bool ParseJournalInteger(std::u16string_view text, std::int32_t& value);

}  // namespace backups
