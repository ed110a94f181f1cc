#include "i18n/LanguageController.h"

#include <algorithm>

#include "i18n/LangError.h"
#include "i18n/LanguageManager.h"
#include "i18n/StreamReader.h"
#include "platform/Text.h"

namespace i18n {

namespace {

// Far deeper than any form nests its components; stops a damaged layout
// from exhausting the stack.
constexpr int kMaxLangDataDepth = 64;

std::u16string ReadUtf8Name(StreamReader& in) { return text::FromUtf8(in.Bytes(in.Word())); }

std::unique_ptr<TLangCompEntry> ReadNode(StreamReader& in, TLangCompEntry* owner, int depth) {
    if (depth > kMaxLangDataDepth) throw ELangError(u"Stream read error");
    auto node = std::make_unique<TLangCompEntry>();
    node->FOwner = owner;
    node->FName = ReadUtf8Name(in);
    if (in.Byte() != 0) {
        std::int32_t count = in.Int32();
        for (std::int32_t i = 0; i < count; ++i) {
            TLangPropEntry prop;
            prop.iID = in.Int32();
            prop.wsPropName = ReadUtf8Name(in);
            node->FPropEntries.push_back(std::move(prop));
        }
    }
    if (in.Byte() != 0) {
        std::int32_t count = in.Int32();
        for (std::int32_t i = 0; i < count; ++i) node->FOwnedCompEntries.push_back(ReadNode(in, node.get(), depth + 1));
    }
    return node;
}

// A text worth translating holds at least one letter. Beyond ASCII every
// character from Latin-1 letters upwards counts, except the general
// punctuation block and the two Latin-1 operators.
bool HasLetter(std::u16string_view s) {
    return std::any_of(s.begin(), s.end(), [](char16_t c) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) return true;
        if (c < 0xC0 || c == 0xD7 || c == 0xF7) return false;
        return !(c >= 0x2000 && c <= 0x206F);
    });
}

void Bind(TLangCompEntry& node, unsigned options) {
    for (auto& prop : node.FPropEntries) {
        auto value = node.FComponent->GetLangProperty(prop.wsPropName);
        prop.bValidated = false;
        if (!value) continue;
        if ((options & lcoIgnoreEmptyProps) && value->empty()) continue;
        if ((options & lcoIgnoreNonAlphaProps) && !HasLetter(*value)) continue;
        prop.wsDefLangValue = std::move(*value);
        prop.bValidated = true;
    }
    auto& children = node.FOwnedCompEntries;
    for (auto& child : children) child->FComponent = node.FComponent->FindLangComponent(child->FName);
    // A component removed from the form since the layout was stored.
    std::erase_if(children, [](const std::unique_ptr<TLangCompEntry>& c) { return c->FComponent == nullptr; });
    for (auto& child : children) Bind(*child, options);
}

void Apply(TLangCompEntry& node, const TLangCompTranslation* section) {
    if (node.FComponent) {
        for (const auto& prop : node.FPropEntries) {
            if (!prop.bValidated) continue;
            const TLangPropTranslation* translated = section ? section->Find(prop.iID) : nullptr;
            node.FComponent->SetLangProperty(prop.wsPropName, translated ? translated->wsText : prop.wsDefLangValue);
        }
    }
    for (auto& child : node.FOwnedCompEntries) Apply(*child, section);
}

}  // namespace

std::unique_ptr<TLangCompEntry> ReadLangData(std::span<const std::uint8_t> data) {
    StreamReader in(data);
    return ReadNode(in, nullptr, 0);
}

TLanguageController::TLanguageController(ILangForm& owner, TLanguageManager& manager)
    : owner_(owner),
      manager_(manager),
      FOptions(lcoAutoSaveLangSource | lcoIgnoreEmptyProps | lcoIgnoreNonAlphaProps | lcoIgnoreFontProps),
      FRootCompEntry(std::make_unique<TLangCompEntry>()) {
    manager_.AddLangController(this);
}

TLanguageController::~TLanguageController() { manager_.RemoveLangController(this); }

void TLanguageController::LoadLangData(std::span<const std::uint8_t> data) { FRootCompEntry = ReadLangData(data); }

std::u16string TLanguageController::SectionName() const {
    return FSectionName.empty() ? owner_.LangFormName() : FSectionName;
}

void TLanguageController::Loaded() {
    FRootCompEntry->FComponent = &owner_;
    Bind(*FRootCompEntry, FOptions);
    if (manager_.LanguageID() != manager_.DefaultLanguageID()) {
        auto translations = manager_.LoadTranslations(manager_.LanguageID());
        ApplyTranslations(translations.get());
    }
}

void TLanguageController::ApplyTranslations(const TLangCompTranslations* t) {
    if (FOnLanguageChanging) FOnLanguageChanging();
    const TLangCompTranslation* section = t ? t->FindSection(SectionName()) : nullptr;
    Apply(*FRootCompEntry, section);
    if (FOnLanguageChanged) FOnLanguageChanged();
}

}  // namespace i18n
