#include "findings/CleanerRegValueProduct.h"

#include <cstring>

#include "backups/BackupsManagerUnit.h"
#include "findings/JournalSupport.h"
#include "i18n/LanguageManager.h"
#include "platform/FileIo.h"
#include "platform/RegKey.h"
#include "platform/Text.h"

namespace findings {
namespace {

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
    return v;
}

void SetRawValue(os::HKEY root, const std::u16string& key, const std::u16string& name, std::uint32_t type,
                 const std::vector<std::uint8_t>& data, platform::RegView view) {
    platform::RegKey handle;
    auto status = handle.Open(root, key, platform::kWriteMask, view);
    if (status == os::ERROR_SUCCESS) status = handle.SetValue(name, type, data.data(), data.size());
    if (status != os::ERROR_SUCCESS) throw platform::ERegistryError(u"Failed to set data for '" + name + u"'", status);
}

}  // namespace

std::vector<std::uint8_t> EncodeBackupedValue(const TBackupedValue& value) {
    std::vector<std::uint8_t> out;
    out.reserve(8 + value.Data.size());
    PutU32(out, value.Type);
    PutU32(out, static_cast<std::uint32_t>(value.Data.size()));
    out.insert(out.end(), value.Data.begin(), value.Data.end());
    return out;
}

std::optional<TBackupedValue> DecodeBackupedValue(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8) return std::nullopt;
    TBackupedValue value;
    value.Type = GetU32(bytes, 0);
    auto length = GetU32(bytes, 4);
    if (bytes.size() - 8 < length) return std::nullopt;
    value.Data.assign(bytes.begin() + 8, bytes.begin() + 8 + length);
    return value;
}

TCleanerRegValueProduct::TCleanerRegValueProduct(os::HKEY ARootKey, std::u16string ASubKey,
                                                 std::u16string AParameter, std::u16string AReason)
    : TCleanerRegValueProduct(ARootKey, std::move(ASubKey), std::move(AParameter), std::move(AReason),
                              platform::RegView::Current()) {}

TCleanerRegValueProduct::TCleanerRegValueProduct(os::HKEY ARootKey, std::u16string ASubKey,
                                                 std::u16string AParameter, std::u16string AReason,
                                                 platform::RegView AView)
    : TCleanerScanProduct(std::move(AReason), AView),
      FRootKey(ARootKey),
      FSubKey(std::move(ASubKey)),
      FValue(std::move(AParameter)) {}

std::u16string TCleanerRegValueProduct::GetDescription() const {
    return i18n::LangConstFmt(u"Reg_value_desc", {FValue, platform::RootKeyName(FRootKey), FSubKey});
}

void TCleanerRegValueProduct::Solve(backups::TBackupsManager* BackupsManager) {
    try {
        if (BackupsManager) {
            // Deleting a value whose backup was asked for but not written
            // would lose it for good.
            try {
                BackupValue(*BackupsManager);
            } catch (...) {
                return;
            }
        }
        bool deleted = false;
        bool refused = false;
        try {
            deleted = platform::RegistryDeleteValue(FRootKey, FSubKey, FValue, FView);
        } catch (...) {
            refused = true;
        }
        // The layer reports a key it could not open for writing as "not
        // deleted"; unless the value is plainly gone, that is a refusal too.
        if (!deleted && !refused)
            refused = !(platform::RegistryKeyExists(FRootKey, FSubKey, FView) &&
                        !platform::RegistryValueExists(FRootKey, FSubKey, FValue, FView));
        if (!refused) return;
        platform::TKeyUnlock unlock(FRootKey, FSubKey, FView);
        if (unlock) platform::RegistryDeleteValue(FRootKey, FSubKey, FValue, FView);
    } catch (...) {
    }
}

void TCleanerRegValueProduct::BackupValue(backups::TBackupsManager& BackupsManager) const {
    BackupsManager.NewEntry(kTypeName, GetDescription());
    std::u16string path, folder;
    BackupsManager.CreateBackupFolder(path, folder);
    BackupsManager.BackupString(u"Time", BackupTimeText());
    BackupsManager.BackupString(u"BackupFolder", folder);
    BackupsManager.BackupInteger(u"RootKey", static_cast<std::int32_t>(os::KeyValue32(FRootKey)));
    BackupsManager.BackupString(u"Key", FSubKey);
    BackupsManager.BackupString(u"Value", FValue);
    if (FView.bits != 0) BackupsManager.BackupInteger(u"View", static_cast<std::int32_t>(FView.bits));
    SaveValueToFile(path);
}

void TCleanerRegValueProduct::SaveValueToFile(const std::u16string& BackupPath) const {
    platform::RegKey key;
    if (key.Open(FRootKey, FSubKey, os::KEY_READ, FView) != os::ERROR_SUCCESS) return;
    // A value that is not there has nothing to back up; one that is there
    // but cannot be read whole must not be deleted.
    if (key.QueryValueInfo(FValue, nullptr, nullptr) != os::ERROR_SUCCESS) return;
    TBackupedValue value;
    os::DWORD type = 0;
    if (auto status = key.QueryValue(FValue, type, value.Data))
        throw platform::ERegistryError(u"Failed to read data of '" + FValue + u"'", status);
    value.Type = static_cast<std::uint32_t>(type);
    auto content = EncodeBackupedValue(value);

    auto fileName = BackupPath + u"backuped_value.dat";
    auto result = platform::WriteFileAtomically(fileName, content.data(), content.size());
    if (result.step == platform::FileResult::Open)
        throw EBackupFileError("Cannot create file \"" + text::ToUtf8(fileName) + "\"");
    if (!result) throw EBackupFileError("Cannot write file \"" + text::ToUtf8(fileName) + "\"");
}

void TCleanerRegValueProduct::RestoreBackup(backups::TBackupsManager& BackupsManager, int Index) {
    auto folder = BackupsManager.GetBackupedString(Index, u"BackupFolder");
    std::int32_t storedRoot = BackupsManager.GetBackupedInteger(Index, u"RootKey");
    auto key = BackupsManager.GetBackupedString(Index, u"Key");
    auto name = BackupsManager.GetBackupedString(Index, u"Value");
    auto view = JournalView(BackupsManager.GetBackupedInteger(Index, u"View"));
    std::u16string path;
    if (!JournalBackupPath(folder, path))
        throw EBackupFileError("Backup folder name \"" + text::ToUtf8(folder) + "\" is not a plain folder name");
    os::HKEY root = nullptr;
    if (!JournalRoot(storedRoot, root)) return;
    RestoreValueFromFile(root, key, name, path, view);
}

void TCleanerRegValueProduct::RestoreValueFromFile(os::HKEY Root, const std::u16string& Key,
                                                   const std::u16string& Name, const std::u16string& BackupPath,
                                                   platform::RegView View) {
    {
        platform::RegKey key;
        if (key.Open(Root, Key, os::KEY_READ, View) != os::ERROR_SUCCESS) return;
    }

    auto fileName = BackupPath + u"backuped_value.dat";
    std::vector<std::uint8_t> bytes;
    auto result = platform::ReadWholeFile(fileName, bytes);
    if (result.step == platform::FileResult::Open)
        throw EBackupFileError("Cannot open file \"" + text::ToUtf8(fileName) + "\"");
    if (!result) throw EBackupFileError("Cannot read file \"" + text::ToUtf8(fileName) + "\"");
    auto value = DecodeBackupedValue(bytes);
    if (!value)
        throw EBackupFileError("File \"" + text::ToUtf8(fileName) +
                               "\" is truncated: it holds fewer bytes than its header says");

    // Every type goes back as exactly the bytes it held: a text cut at its
    // first zero, or a type that is left out, would not be the value that
    // was deleted. A key that does not open for writing counts as a refused
    // write, so that a locked key gets unlocked.
    auto write = [&] { SetRawValue(Root, Key, Name, value->Type, value->Data, View); };
    // First attempt as is; a refused write is repeated once with the key
    // opened up, and only that second refusal reaches the caller.
    try {
        write();
    } catch (const platform::ERegistryError&) {
        platform::TKeyUnlock unlock(Root, Key, View);
        // A restore that wrote nothing must not look like one that worked.
        if (!unlock) throw;
        write();
    }
}

}  // namespace findings
