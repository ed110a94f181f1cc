// A registry value that a scanner found pointing at something missing.
// Solving deletes it; with a journal its type and data are saved first into
// "backuped_value.dat" so that RestoreBackup can write it back.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "findings/CleanerScanProduct.h"
#include "platform/RegistryAccess.h"

namespace findings {

// The content of "backuped_value.dat": type, length, data (little-endian
// 32-bit numbers, no header).
struct TBackupedValue {
    std::uint32_t Type = 0;
    std::vector<std::uint8_t> Data;
};
std::vector<std::uint8_t> EncodeBackupedValue(const TBackupedValue& value);
// Empty when the bytes are shorter than 8 or hold fewer data bytes than the
// length field says.
std::optional<TBackupedValue> DecodeBackupedValue(std::span<const std::uint8_t> bytes);

// The value file could not be read back whole.
class EBackupFileError : public std::runtime_error {
public:
    explicit EBackupFileError(const std::string& message) : std::runtime_error(message) {}
};

class TCleanerRegValueProduct : public TCleanerScanProduct {
public:
    static constexpr const char16_t* kTypeName = u"TCleanerRegValueProduct";

    // Made in the view the scan pass runs in (RegistryViewFlag now).
    TCleanerRegValueProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AParameter,
                            std::u16string AReason);
    TCleanerRegValueProduct(os::HKEY ARootKey, std::u16string ASubKey, std::u16string AParameter,
                            std::u16string AReason, platform::RegView AView);

    void Solve(backups::TBackupsManager* BackupsManager) override;
    // The translated "Reg_value_desc" with value name, root key name, subkey.
    std::u16string GetDescription() const override;

    // Writes the value saved by the journal entry at position Index back,
    // with its type and exactly its saved bytes, whatever the type. A missing
    // key writes nothing. Throws EBackupFileError when the file cannot be
    // read whole, ERegistryError when the write is refused even after
    // unlocking. The entry stays in the journal.
    static void RestoreBackup(backups::TBackupsManager& BackupsManager, int Index);

    os::HKEY RootKey() const { return FRootKey; }
    void SetRootKey(os::HKEY value) { FRootKey = value; }
    const std::u16string& SubKey() const { return FSubKey; }
    void SetSubKey(std::u16string value) { FSubKey = std::move(value); }
    const std::u16string& Value() const { return FValue; }
    void SetValue(std::u16string value) { FValue = std::move(value); }

private:
    void BackupValue(backups::TBackupsManager& BackupsManager) const;
    void SaveValueToFile(const std::u16string& BackupPath) const;
    static void RestoreValueFromFile(os::HKEY Root, const std::u16string& Key, const std::u16string& Name,
                                     const std::u16string& BackupPath, platform::RegView View);

    os::HKEY FRootKey;
    std::u16string FSubKey;
    std::u16string FValue;
};

}  // namespace findings
