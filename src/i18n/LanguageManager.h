// The process's language manager: the translatable constants, the current
// language, the registered language files and the forms' language
// controllers. Constant lookups come from the UI thread and the scan worker,
// so every field is guarded by a reader-writer lock.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <shared_mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/Format.h"
#include "i18n/LangConstants.h"
#include "i18n/LangFile.h"
#include "platform/os/WinApi.h"

namespace i18n {

class TLanguageController;

enum class TLangResourceKind { lrkResName, lrkResID, lrkFile };

struct TLangResource {
    TLangResourceKind Kind = TLangResourceKind::lrkFile;
    os::HINSTANCE Instance = nullptr;
    std::u16string wsName;
    int iResID = 0;
    os::LANGID wLangID = 0;
};
using TLangResources = std::vector<TLangResource>;

class TLanguageManager {
public:
    // Loads the built-in table from the program's "LANG_CONSTS" resource;
    // without that resource the table stays empty.
    TLanguageManager();
    // Loads the table from the given constants stream instead.
    explicit TLanguageManager(std::span<const std::uint8_t> constantsStream);
    ~TLanguageManager();
    TLanguageManager(const TLanguageManager&) = delete;
    TLanguageManager& operator=(const TLanguageManager&) = delete;

    // Current text of a constant; ELangError "Constant "%s" not found".
    std::u16string GetConstantValue(std::u16string_view name) const;
    std::size_t ConstantCount() const;

    os::LANGID DefaultLanguageID() const { return kDefaultLanguageID; }
    os::LANGID LanguageID() const;
    // Selects a language: loads its file's translations (none for the
    // default language or an unregistered one, which selects the default)
    // and applies them when the language changes.
    void SetLanguageID(os::LANGID language);
    os::UINT CodePage() const;

    // Registers every file matching dir\mask; folders are entered only when
    // recursive and not named ".*". Returns the number registered. An error
    // reading a file ends the scan with that error.
    int ScanForLangFiles(const std::u16string& dir, const std::u16string& mask, bool recursive);
    // Records the file for the language named by its LANGID parameter; false
    // when the file is missing or names no language.
    bool RegisterLangFile(const std::u16string& fileName);
    TLangResources LangResources() const;
    // The registered language to show a user who asked for `wanted`: that
    // language itself, else one of the same primary language (its default
    // variant first, then the lowest identifier: a Swiss German user reads
    // German), else the default language.
    os::LANGID MatchingLanguage(os::LANGID wanted) const;

    void AddLangController(TLanguageController* controller);
    void RemoveLangController(TLanguageController* controller);

    // Parsed translations of a registered language; null for the default
    // language and for languages without a file.
    std::unique_ptr<TLangCompTranslations> LoadTranslations(os::LANGID language) const;
    // Sets every constant's current text (built-in text when t is null, else
    // t's text where it has one) and re-captions every controller.
    void ApplyTranslations(const TLangCompTranslations* t);

    static constexpr os::LANGID kDefaultLanguageID = 1033;

private:
    std::unique_ptr<TLangCompTranslations> LoadTranslationsLocked(os::LANGID language) const;

    mutable std::shared_mutex FSynchronizer;
    TLangConstants FConstants;
    std::vector<TLanguageController*> FLangControllers;
    TLangResources FLangResources;
    os::UINT FCodePage = 0;
    os::LANGID FLanguageID = kDefaultLanguageID;
};

// The single manager, made on first use.
TLanguageManager& LangManager();

// Current text of a named constant; ELangError when the table lacks it.
std::u16string LangConst(std::u16string_view name);
// LangConst formatted with the arguments (see Format.h).
std::u16string LangConstFmt(std::u16string_view name, std::initializer_list<FormatArg> args);

}  // namespace i18n
