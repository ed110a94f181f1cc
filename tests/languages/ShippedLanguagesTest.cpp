// Every language file the program ships, loaded through the language
// manager onto the real wizard form: each English text of the form and of
// the constants table has a translation that keeps its placeholders in
// order; nothing is translated that must stay as it is (the support
// address is a build setting, the results list holds findings); the form
// shows the translations; and every text fits the ANSI code page of its
// language, in which the log records finding descriptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "LanguagesTestSupport.h"
#include "app/MainFormUnit.h"
#include "i18n/FormLangData.h"
#include "i18n/LangConstants.h"
#include "i18n/LanguageController.h"
#include "i18n/LanguageManager.h"
#include "platform/Text.h"
#include "support/SeamTest.h"
#include "ui/headless/HeadlessApp.h"

namespace {

using langtest::TShipped;

// The placeholders of a text in order, each as written ("%s", "%1:d");
// "%%" is text.
std::vector<std::u16string> Placeholders(std::u16string_view s) {
    std::vector<std::u16string> out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != u'%') continue;
        if (i + 1 < s.size() && s[i + 1] == u'%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < s.size() && !(s[j] < 128 && std::isalpha(static_cast<int>(s[j])))) ++j;
        out.emplace_back(s.substr(i, j + 1 - i));
        i = j;
    }
    return out;
}

// The program's built-in constants table, as its resource holds it.
i18n::TLangConstants BuiltInTable() {
    i18n::TLangConstants table;
    os::HRSRC resource = os::FindResourceW(nullptr, u"LANG_CONSTS", os::RT_RCDATA);
    if (!resource) return table;
    const void* bytes = os::LockResource(os::LoadResource(nullptr, resource));
    table.LoadFromStream({static_cast<const std::uint8_t*>(bytes), os::SizeofResource(nullptr, resource)});
    return table;
}

struct TRecorded {
    const i18n::TLangCompEntry* Entry;
    const i18n::TLangPropEntry* Prop;
};

// The properties whose English text the controller recorded.
void Recorded(const i18n::TLangCompEntry& entry, std::vector<TRecorded>& out) {
    for (const auto& prop : entry.FPropEntries)
        if (prop.bValidated) out.push_back({&entry, &prop});
    for (const auto& child : entry.FOwnedCompEntries) Recorded(*child, out);
}

bool FitsCodePage(const std::u16string& s, os::UINT codePage) {
    if (s.empty()) return true;
    os::BOOL usedDefault = 0;
    int size = os::WideCharToMultiByte(codePage, os::WC_NO_BEST_FIT_CHARS, s.c_str(), static_cast<int>(s.size()),
                                       nullptr, 0, nullptr, &usedDefault);
    return size > 0 && !usedDefault;
}

class ShippedLanguage : public testsupport::SeamTest, public ::testing::WithParamInterface<TShipped> {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        application = std::make_unique<ui::THeadlessApp>();
        form = std::make_unique<app::TMainForm>(*application, [](app::TMainForm&) {});
        testsupport::WriteFile(ScratchFolder() + u"\\" + text::FromUtf8(GetParam().File),
                            langtest::ReadShipped(GetParam().File));
    }
    void TearDown() override {
        form.reset();
        application.reset();
        SeamTest::TearDown();
    }

    std::unique_ptr<ui::THeadlessApp> application;
    std::unique_ptr<app::TMainForm> form;
};

TEST_P(ShippedLanguage, TranslatesEveryEnglishTextAndNothingElse) {
    const TShipped& lang = GetParam();
    // A manager of its own over the built-in table, with its own controller
    // on the form: the form's captions are what the user would read.
    i18n::TLanguageManager manager;
    i18n::TLangConstants english = BuiltInTable();
    ASSERT_GT(english.Count(), 0u);
    ASSERT_EQ(manager.ScanForLangFiles(ScratchFolder(), u"*.lng", false), 1);
    i18n::TLanguageController controller(*form, manager);
    controller.LoadLangData(i18n::MainFormLangData());
    controller.Loaded();
    std::vector<TRecorded> recorded;
    Recorded(controller.RootEntry(), recorded);
    ASSERT_GT(recorded.size(), 15u);

    manager.SetLanguageID(lang.Id);
    ASSERT_EQ(manager.LanguageID(), lang.Id) << lang.File << " was not selected";
    EXPECT_EQ(manager.CodePage(), lang.CodePage);
    auto translations = manager.LoadTranslations(lang.Id);
    ASSERT_TRUE(translations);
    std::vector<std::u16string> texts;

    for (const auto& c : english) {
        const i18n::TLangConstant* t = translations->FConstants.Find(c.wsName);
        if (!t) {
            ADD_FAILURE() << lang.File << ": no translation of constant " << text::ToUtf8(c.wsName);
            continue;
        }
        EXPECT_EQ(Placeholders(t->wsValue), Placeholders(c.wsDefValue)) << lang.File << ": " << text::ToUtf8(c.wsName);
        EXPECT_EQ(manager.GetConstantValue(c.wsName), t->wsValue);
        texts.push_back(t->wsValue);
    }
    for (const auto& t : translations->FConstants)
        EXPECT_TRUE(english.Find(t.wsName)) << lang.File << ": " << text::ToUtf8(t.wsName) << " is no constant of the program";

    const i18n::TLangCompTranslation* section = translations->FindSection(controller.SectionName());
    ASSERT_TRUE(section) << lang.File << " has no [" << text::ToUtf8(controller.SectionName()) << "] section";
    std::vector<int> shown;
    for (const auto& [entry, prop] : recorded) {
        std::string where = std::string(lang.File) + ": " + text::ToUtf8(entry->FName) + "." + text::ToUtf8(prop->wsPropName) +
                            " (" + std::to_string(prop->iID) + ")";
        const i18n::TLangPropTranslation* t = section->Find(prop->iID);
        if (prop->wsDefLangValue == app::SupportAddress()) {
            EXPECT_FALSE(t) << where << ": the support address is the build's, not a text to translate";
            continue;
        }
        shown.push_back(prop->iID);
        if (!t || t->wsText.empty()) {
            ADD_FAILURE() << where << ": no translation";
            continue;
        }
        EXPECT_EQ(Placeholders(t->wsText), Placeholders(prop->wsDefLangValue)) << where;
        EXPECT_EQ(entry->FComponent->GetLangProperty(prop->wsPropName), t->wsText) << where << ": not shown";
        texts.push_back(t->wsText);
    }
    for (const auto& item : section->Items)
        EXPECT_TRUE(std::find(shown.begin(), shown.end(), item.iID) != shown.end())
            << lang.File << ": identifier " << item.iID << " translates nothing the form shows";

    // The emulated machine converts only 1252 and 932; Wine converts them all.
    if (testsupport::Native() && lang.CodePage != 1252 && lang.CodePage != 932) return;
    for (const auto& s : texts) EXPECT_TRUE(FitsCodePage(s, lang.CodePage)) << lang.File << ": " << text::ToUtf8(s);
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguage, ::testing::ValuesIn(langtest::kShipped),
                         [](const ::testing::TestParamInfo<TShipped>& info) {
                             std::string name = info.param.File;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
