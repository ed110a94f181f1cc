// A form's language controller: the tree of the form's components with
// their translatable properties (read from the form's stored LangData),
// bound to the live components by name, re-captioned when the language
// changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/LangFile.h"

namespace i18n {

class TLanguageManager;
TLanguageManager& LangManager();

// What a form offers its controller. Properties are "Caption", "Text" and
// "Items" (the lines, each ended by CR LF); a component answers nullopt for
// a property it does not have and ignores writes to it.
class ILangComponent {
public:
    virtual ~ILangComponent() = default;
    virtual std::optional<std::u16string> GetLangProperty(std::u16string_view property) = 0;
    virtual void SetLangProperty(std::u16string_view property, std::u16string_view value) = 0;
    // A component this one owns, by name without case; null when none.
    virtual ILangComponent* FindLangComponent(std::u16string_view name) = 0;
};

class ILangForm : public ILangComponent {
public:
    virtual std::u16string LangFormName() const = 0;
};

struct TLangPropEntry {
    int iID = 0;
    std::u16string wsPropName;
    std::u16string wsDefLangValue;
    bool bValidated = false;  // a default-language text was recorded
};

struct TLangCompEntry {
    std::u16string FName;
    ILangComponent* FComponent = nullptr;
    std::vector<TLangPropEntry> FPropEntries;
    std::vector<std::unique_ptr<TLangCompEntry>> FOwnedCompEntries;
    TLangCompEntry* FOwner = nullptr;
};

enum TLangControllerOption : unsigned {
    lcoAutoSaveLangSource = 1,
    lcoIgnoreEmptyProps = 2,
    lcoIgnoreNonAlphaProps = 4,
    lcoIgnoreFontProps = 8,
};

// Parses the LangData layout (little-endian, depth first): name (16-bit byte
// length, UTF-8); has-properties byte, then a 32-bit count of (32-bit id,
// property name); has-children byte, then a 32-bit count of child nodes.
// ELangError "Stream read error" on truncated data.
std::unique_ptr<TLangCompEntry> ReadLangData(std::span<const std::uint8_t> data);

class TLanguageController {
public:
    explicit TLanguageController(ILangForm& owner, TLanguageManager& manager = LangManager());
    ~TLanguageController();
    TLanguageController(const TLanguageController&) = delete;
    TLanguageController& operator=(const TLanguageController&) = delete;

    // The form's stored LangData.
    void LoadLangData(std::span<const std::uint8_t> data);
    // The form finished loading: binds the tree to the live components,
    // records their current texts as the default-language texts and applies
    // the current language when it is not the default.
    void Loaded();
    // Sets every recorded property to t's text for its identifier, or to its
    // default-language text.
    void ApplyTranslations(const TLangCompTranslations* t);

    // The owner form's name unless a section name was set.
    std::u16string SectionName() const;
    void SetSectionName(std::u16string name) { FSectionName = std::move(name); }
    unsigned Options() const { return FOptions; }
    const TLangCompEntry& RootEntry() const { return *FRootCompEntry; }

    std::function<void()> FOnLanguageChanging;
    std::function<void()> FOnLanguageChanged;

private:
    ILangForm& owner_;
    TLanguageManager& manager_;
    std::vector<std::u16string> FIgnoreList;
    std::vector<std::u16string> FStoreList;
    unsigned FOptions;
    std::unique_ptr<TLangCompEntry> FRootCompEntry;
    std::u16string FSectionName;
};

}  // namespace i18n
