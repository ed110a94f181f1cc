#include "app/JournalSessions.h"

#include <algorithm>
#include <map>

#include "findings/CleanerRegKeyProduct.h"
#include "findings/CleanerRegValueProduct.h"
#include "findings/JournalSupport.h"
#include "findings/RegKeyProduct.h"
#include "findings/RegStrDataProduct.h"
#include "findings/RestoreDispatch.h"
#include "platform/Text.h"
#include "platform/Wow64.h"

namespace app {
namespace {

bool FileExists(const std::u16string& path) {
    return os::GetFileAttributesW(path.c_str()) != os::INVALID_FILE_ATTRIBUTES;
}

bool IsType(const std::u16string& type, const char16_t* name) { return text::EqualNoCase(type, name); }
bool IsKeyType(const std::u16string& type) {
    return IsType(type, findings::TCleanerRegKeyProduct::kTypeName) ||
           IsType(type, findings::TRegKeyProduct::kTypeName);
}

std::u16string Two(unsigned v) {
    auto s = text::FromAscii(std::to_string(v));
    return s.size() < 2 ? u"0" + s : s;
}

std::int64_t SessionNumber(const std::u16string& id) {
    std::int32_t n = 0;
    return backups::ParseJournalInteger(id, n) ? n : -1;
}

TJournalEntry ReadEntry(backups::TBackupsManager& journal, int position) {
    TJournalEntry e;
    e.Position = position;
    e.Name = journal.EntryName(position);
    e.Type = journal.GetBackupedString(position, u"Type");
    e.Description = journal.GetBackupedString(position, u"Desc");
    e.Time = journal.GetBackupedString(position, u"Time");
    e.Restored = journal.GetBackupedString(position, u"Restored");
    e.Key = journal.GetBackupedString(position, u"Key");
    e.Value = journal.GetBackupedString(position, u"Value");
    e.View = findings::JournalView(journal.GetBackupedInteger(position, u"View"));
    bool known = IsKeyType(e.Type) || IsType(e.Type, findings::TCleanerRegValueProduct::kTypeName) ||
                 IsType(e.Type, findings::TRegStrDataProduct::kTypeName);
    if (!known) {
        e.Problem =
            e.Type.empty() ? u"the entry names no kind of backup" : u"unknown kind of backup \"" + e.Type + u"\"";
        return e;
    }
    if (!findings::JournalRoot(journal.GetBackupedInteger(position, u"RootKey"), e.Root)) {
        e.Problem = u"the entry names no registry root";
        return e;
    }
    if (IsKeyType(e.Type) && e.Key.empty()) {
        e.Problem = u"the entry names no key";
        return e;
    }
    if (IsType(e.Type, findings::TRegStrDataProduct::kTypeName)) return e;
    std::u16string folder;
    if (!findings::JournalBackupPath(journal.GetBackupedString(position, u"BackupFolder"), folder)) {
        e.Problem = u"the entry's backup folder is not a plain folder name";
        return e;
    }
    if (IsKeyType(e.Type)) {
        if (!FileExists(folder + findings::kKeyHiveFile) && !FileExists(folder + findings::kKeyTextFile))
            e.Problem = u"the key's backup files are missing";
    } else if (!FileExists(folder + u"backuped_value.dat")) {
        e.Problem = u"the value's backup file is missing";
    }
    return e;
}

bool Present(const TJournalEntry& e) {
    if (IsKeyType(e.Type)) return platform::RegistryKeyExists(e.Root, e.Key, e.View);
    if (IsType(e.Type, findings::TCleanerRegValueProduct::kTypeName))
        return platform::RegistryValueExists(e.Root, e.Key, e.Value, e.View);
    return true;
}

std::u16string What(const TJournalEntry& e) {
    auto path = platform::RootKeyName(e.Root) + u"\\" + e.Key;
    if (IsType(e.Type, findings::TCleanerRegValueProduct::kTypeName)) return u"value \"" + e.Value + u"\" of " + path;
    return u"key " + path;
}

}  // namespace

std::u16string NowText() {
    os::SYSTEMTIME t{};
    os::GetLocalTime(&t);
    return text::FromAscii(std::to_string(t.wYear)) + u"-" + Two(t.wMonth) + u"-" + Two(t.wDay) + u" " + Two(t.wHour) +
           u":" + Two(t.wMinute) + u":" + Two(t.wSecond);
}

std::u16string WindowsText() {
    os::OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    std::u16string version = u"unknown";
    if (os::GetVersionExW(&info))
        version = text::FromAscii(std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                                  "." + std::to_string(info.dwBuildNumber));
    return version + (platform::IsWindows64() ? u" 64-bit" : u" 32-bit");
}

std::vector<TJournalSession> ListSessions(backups::TBackupsManager& journal) {
    std::vector<TJournalSession> sessions;
    std::map<std::u16string, std::size_t> byId;
    TJournalSession loose;
    int positions = journal.EntryPositions();
    for (int i = 0; i < positions; ++i) {
        auto entry = ReadEntry(journal, i);
        auto id = journal.GetBackupedString(i, u"Session");
        if (id.empty()) {
            loose.Entries.push_back(std::move(entry));
            continue;
        }
        auto [it, added] = byId.emplace(id, sessions.size());
        if (added) {
            TJournalSession s;
            s.Id = id;
            s.Time = journal.GetBackupedString(i, u"SessionTime");
            s.Windows = journal.GetBackupedString(i, u"Windows");
            sessions.push_back(std::move(s));
        }
        sessions[it->second].Entries.push_back(std::move(entry));
    }
    std::stable_sort(sessions.begin(), sessions.end(), [](const TJournalSession& a, const TJournalSession& b) {
        return SessionNumber(a.Id) > SessionNumber(b.Id);
    });
    if (!loose.Entries.empty()) sessions.push_back(std::move(loose));
    return sessions;
}

const TJournalSession* FindSession(const std::vector<TJournalSession>& sessions, const std::u16string& which) {
    for (const auto& s : sessions) {
        if (s.Id.empty()) continue;
        if (text::EqualNoCase(which, u"last") || s.Id == which) return &s;
    }
    return nullptr;
}

std::u16string NextSessionId(backups::TBackupsManager& journal) {
    std::int64_t highest = 0;
    int positions = journal.EntryPositions();
    for (int i = 0; i < positions; ++i)
        highest = std::max(highest, SessionNumber(journal.GetBackupedString(i, u"Session")));
    return text::FromAscii(std::to_string(highest + 1));
}

std::optional<std::u16string> RestoreConflict(const TJournalEntry& entry) {
    if (!entry.Problem.empty() || !entry.Root) return std::nullopt;
    if (IsType(entry.Type, findings::TRegStrDataProduct::kTypeName)) return std::nullopt;
    if (!Present(entry)) return std::nullopt;
    if (IsKeyType(entry.Type))
        return u"The " + What(entry) + u" exists again; putting it back replaces everything it holds now.";
    return u"The " + What(entry) + u" exists again; putting it back overwrites its data.";
}

std::vector<TRestoreResult> RestoreSession(backups::TBackupsManager& journal, const TJournalSession& session,
                                           const TOverwriteQuestion& ask, const std::set<std::u16string>* only) {
    std::vector<TRestoreResult> results;
    // Positions as the journal holds them now, the highest first: an entry
    // that its restore removes then moves none of the ones still to come.
    std::vector<TJournalEntry> entries;
    int positions = journal.EntryPositions();
    for (const auto& listed : session.Entries) {
        if (only && !only->count(listed.Name)) continue;
        for (int i = 0; i < positions; ++i)
            if (journal.EntryName(i) == listed.Name) entries.push_back(ReadEntry(journal, i));
    }
    std::sort(entries.begin(), entries.end(),
              [](const TJournalEntry& a, const TJournalEntry& b) { return a.Position > b.Position; });
    for (auto& entry : entries) {
        TRestoreResult result{entry, TRestoreOutcome::Skipped, {}};
        if (!entry.Problem.empty()) {
            result.Outcome = TRestoreOutcome::Failed;
            result.Reason = u"cannot be read: " + entry.Problem;
            results.push_back(std::move(result));
            continue;
        }
        if (auto conflict = RestoreConflict(entry)) {
            if (!ask || !ask(entry, *conflict)) {
                result.Reason = *conflict;
                results.push_back(std::move(result));
                continue;
            }
        }
        try {
            findings::RestoreBackupEntry(journal, entry.Position);
            if (!Present(entry)) {
                result.Outcome = TRestoreOutcome::Failed;
                result.Reason = IsType(entry.Type, findings::TCleanerRegValueProduct::kTypeName)
                                    ? u"the key the value belongs to does not exist"
                                    : u"the key did not come back";
            } else {
                result.Outcome = TRestoreOutcome::Restored;
                // Setting entries leave the journal when they are put back.
                if (journal.EntryName(entry.Position) == entry.Name)
                    journal.SetEntryString(entry.Position, u"Restored", NowText());
            }
        } catch (const platform::ERegistryError& e) {
            result.Outcome = TRestoreOutcome::Failed;
            result.Reason = e.Message();
        } catch (const std::exception& e) {
            result.Outcome = TRestoreOutcome::Failed;
            result.Reason = text::FromUtf8(e.what());
        }
        results.push_back(std::move(result));
    }
    return results;
}

int KeepSessionsSetting(backups::TBackupsManager& journal) {
    std::int32_t keep = 0;
    if (backups::ParseJournalInteger(journal.GetSetting(u"KeepSessions"), keep) && keep > 0) return keep;
    return 10;
}

void PruneSessions(backups::TBackupsManager& journal, int keep) {
    auto sessions = ListSessions(journal);
    std::set<std::u16string> drop;
    int kept = 0;
    for (const auto& s : sessions) {
        if (s.Id.empty()) continue;
        if (kept++ < keep) continue;
        for (const auto& e : s.Entries) drop.insert(e.Name);
    }
    if (drop.empty()) return;
    for (int i = journal.EntryPositions() - 1; i >= 0; --i)
        if (drop.count(journal.EntryName(i))) journal.DeleteEntry(i);
}

}  // namespace app
