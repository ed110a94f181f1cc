#include "backups/BackupsManagerUnit.h"

#include <limits>
#include <string>

#include "platform/FileIo.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "runtime/AppFolders.h"
#include "runtime/Logger.h"

namespace backups {
namespace {

constexpr char16_t kCountSection[] = u"Count";
constexpr char16_t kCountKey[] = u"Count";
constexpr char16_t kLastCodeKey[] = u"LastCode";

std::u16string Decimal(std::int64_t value) { return text::FromAscii(std::to_string(value)); }

bool IsFolder(const std::u16string& path) {
    auto attributes = os::GetFileAttributesW(path.c_str());
    return attributes != os::INVALID_FILE_ATTRIBUTES && (attributes & os::FILE_ATTRIBUTE_DIRECTORY);
}

void CreateFolderTree(const std::u16string& path) {
    // path ends in "\"; create every missing level from the top down.
    for (std::size_t at = path.find(u'\\'); at != std::u16string::npos; at = path.find(u'\\', at + 1)) {
        auto prefix = path.substr(0, at);
        if (prefix.empty() || prefix.back() == u':' || IsFolder(prefix)) continue;
        os::CreateDirectoryW(prefix.c_str(), nullptr);
    }
}

// Deletes every file (made writable first), then every folder deepest first;
// what cannot go stays without stopping the rest.
void DeleteFolderTree(const std::u16string& folder) {
    os::WIN32_FIND_DATAW data{};
    auto pattern = folder + u"\\*";
    if (platform::FindHandle find(os::FindFirstFileW(pattern.c_str(), &data)); find) {
        do {
            std::u16string name(data.cFileName);
            if (name == u"." || name == u"..") continue;
            auto child = folder + u"\\" + name;
            if ((data.dwFileAttributes & os::FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & os::FILE_ATTRIBUTE_REPARSE_POINT)) {
                DeleteFolderTree(child);
            } else if (data.dwFileAttributes & os::FILE_ATTRIBUTE_DIRECTORY) {
                // A linked folder is removed as a link; its target is not ours.
                os::RemoveDirectoryW(child.c_str());
            } else {
                os::SetFileAttributesW(child.c_str(), os::FILE_ATTRIBUTE_NORMAL);
                os::DeleteFileW(child.c_str());
            }
        } while (os::FindNextFileW(find.get(), &data));
    }
    os::RemoveDirectoryW(folder.c_str());
}

}  // namespace

bool ParseJournalInteger(std::u16string_view text, std::int32_t& value) {
    if (text.empty()) return false;
    std::size_t i = 0;
    bool negative = false;
    if (text[0] == u'-' || text[0] == u'+') {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size()) return false;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9') return false;
        magnitude = magnitude * 10 + (text[i] - u'0');
        if (magnitude > std::int64_t{1} << 31) return false;
    }
    auto signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

TBackupsManager::TBackupsManager() {
    auto dataFolder = runtime::GetDataFolder();
    FFileName = dataFolder + u"backups.ini";
    FBackupRoot = dataFolder + u"backuped\\";
    // A journal that cannot be read, wholly or partly, lists what was read.
    std::vector<std::uint8_t> bytes;
    platform::ReadWholeFile(FFileName, bytes);
    FIniFile = TIniDocument::Parse(bytes);
    FSections = FIniFile.SectionNames();
    if (!IsFolder(dataFolder + u"backuped")) CreateFolderTree(FBackupRoot);
}

std::u16string TBackupsManager::GetSectionName(int Index) const {
    if (Index < 0 || static_cast<std::size_t>(Index) + 1 >= FSections.size())
        throw EJournalIndexError("journal index " + std::to_string(Index) + " out of bounds");
    return FSections[static_cast<std::size_t>(Index) + 1];
}

std::int32_t TBackupsManager::GetLastCode() const {
    const auto* text = FIniFile.Find(kCountSection, kLastCodeKey);
    std::int32_t value = 0;
    if (!text || !ParseJournalInteger(StripIniText(*text), value)) return 0;
    return value;
}

std::u16string TBackupsManager::GetLastCodeString() const {
    const auto* text = FIniFile.Find(kCountSection, kLastCodeKey);
    return text ? std::u16string(StripIniText(*text)) : u"0";
}

std::u16string TBackupsManager::CurrentSection() const {
    return Decimal(static_cast<std::int64_t>(GetLastCode()) - 1);
}

int TBackupsManager::BackupsCount() {
    const auto* text = FIniFile.Find(kCountSection, kCountKey);
    std::int32_t count = 0;
    if (text && ParseJournalInteger(StripIniText(*text), count) && count != 0) return count;
    FSections = FIniFile.SectionNames();
    return static_cast<int>(FSections.size()) - 1;
}

void TBackupsManager::NewEntry(const std::u16string& BackupItemType, const std::u16string& Description) {
    auto count = BackupsCount();
    FIniFile.Write(kCountSection, kCountKey, Decimal(static_cast<std::int64_t>(count) + 1));
    auto section = GetLastCodeString();
    FIniFile.Write(section, u"Type", BackupItemType);
    FIniFile.Write(section, u"Desc", Description);
    if (!FSession.empty()) {
        FIniFile.Write(section, u"Session", FSession);
        FIniFile.Write(section, u"SessionTime", FSessionTime);
        FIniFile.Write(section, u"Windows", FSessionWindows);
    }
    FIniFile.Write(kCountSection, kLastCodeKey, Decimal(static_cast<std::int64_t>(GetLastCode()) + 1));
    FSections.push_back(section);
    Save();
}

void TBackupsManager::CreateBackupFolder(std::u16string& BackupPath, std::u16string& BackupFolder) {
    BackupFolder = CurrentSection();
    BackupPath = FBackupRoot + BackupFolder + u"\\";
    auto folder = FBackupRoot + BackupFolder;
    if (!os::CreateDirectoryW(folder.c_str(), nullptr)) {
        auto error = os::GetLastError();
        runtime::Log(u"Failed create folder for backup: " + runtime::SysErrorText(error));
        runtime::Log(u" BackupPath: " + BackupPath);
        runtime::Log(u" BackupFolder: " + BackupFolder);
    }
}

void TBackupsManager::BackupString(const std::u16string& Ident, const std::u16string& Value) {
    FIniFile.Write(CurrentSection(), Ident, Value);
    Save();
}

void TBackupsManager::BackupInteger(const std::u16string& Ident, std::int32_t Value) {
    FIniFile.Write(CurrentSection(), Ident, Decimal(Value));
    Save();
}

std::u16string TBackupsManager::GetBackupedString(int Index, const std::u16string& Ident) const {
    try {
        const auto* text = FIniFile.Find(GetSectionName(Index), Ident);
        return text ? std::u16string(StripIniText(*text)) : std::u16string();
    } catch (const std::exception&) {
        return {};
    }
}

std::int32_t TBackupsManager::GetBackupedInteger(int Index, const std::u16string& Ident) const {
    std::int32_t value = 0;
    return ParseJournalInteger(GetBackupedString(Index, Ident), value) ? value : 0;
}

void TBackupsManager::DeleteEntry(int Index) {
    FIniFile.Write(kCountSection, kCountKey, Decimal(static_cast<std::int64_t>(BackupsCount()) - 1));
    auto section = GetSectionName(Index);
    // A section name is a number the journal chose, but the file may have
    // been edited: never let it lead outside the backup folder.
    bool plainName = !section.empty() && section.find_first_of(u"\\/:") == std::u16string::npos &&
                     section != u"." && section != u"..";
    if (plainName) {
        auto folder = FBackupRoot + section;
        if (IsFolder(folder)) DeleteFolderTree(folder);
    }
    FIniFile.EraseSection(section);
    FSections.erase(FSections.begin() + Index + 1);
    Save();
}

void TBackupsManager::BeginSession(std::u16string Id, std::u16string Time, std::u16string Windows) {
    FSession = std::move(Id);
    FSessionTime = std::move(Time);
    FSessionWindows = std::move(Windows);
}

void TBackupsManager::CheckWritable() {
    if (!IsFolder(FBackupRoot.substr(0, FBackupRoot.size() - 1))) {
        CreateFolderTree(FBackupRoot);
        if (!IsFolder(FBackupRoot.substr(0, FBackupRoot.size() - 1)))
            throw EJournalWriteError("Cannot create folder \"" + text::ToUtf8(FBackupRoot) + "\"",
                                     os::GetLastError());
    }
    Save();
}

int TBackupsManager::EntryPositions() {
    FSections = FIniFile.SectionNames();
    return FSections.empty() ? 0 : static_cast<int>(FSections.size()) - 1;
}

std::u16string TBackupsManager::EntryName(int Index) const {
    try {
        return GetSectionName(Index);
    } catch (const EJournalIndexError&) {
        return {};
    }
}

std::u16string TBackupsManager::GetSetting(const std::u16string& Ident) const {
    const auto* text = FIniFile.Find(kCountSection, Ident);
    return text ? std::u16string(StripIniText(*text)) : std::u16string();
}

void TBackupsManager::SetEntryString(int Index, const std::u16string& Ident, const std::u16string& Value) {
    FIniFile.Write(GetSectionName(Index), Ident, Value);
    Save();
}

void TBackupsManager::Save() {
    auto bytes = FIniFile.Serialize();
    auto result = platform::WriteFileAtomically(FFileName, bytes.data(), bytes.size());
    if (result) return;
    const char* what = result.step == platform::FileResult::Open      ? "Cannot create file"
                       : result.step == platform::FileResult::Replace ? "Cannot replace file"
                                                                      : "Cannot write file";
    throw EJournalWriteError(std::string(what) + " \"" + text::ToUtf8(FFileName) +
                                 "\": " + text::ToUtf8(runtime::SysErrorText(result.error)),
                             result.error);
}

}  // namespace backups
