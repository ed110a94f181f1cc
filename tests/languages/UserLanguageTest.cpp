// The wizard starts in the user's own language when a file for it lies
// beside the program, and in the built-in English otherwise. Natively only:
// the emulated machine lets a test choose the user's UI language.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "LanguagesTestSupport.h"
#include "app/MainFormUnit.h"
#include "i18n/LanguageManager.h"
#include "platform/Text.h"
#include "platform/emul/EmulSystem.h"
#include "support/SeamTest.h"
#include "ui/headless/HeadlessApp.h"

namespace {

TEST(ShippedLanguages, TheTestTableListsEveryShippedFile) {
    std::vector<std::string> listed;
    for (const auto& lang : langtest::kShipped) listed.push_back(lang.File);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(langtest::ShippedFileNames(), listed);
}

struct TUserCase {
    const char* Name;
    os::LANGID UiLanguage;
    os::LANGID Expected;
    const char16_t* NextCaption;
};

void PrintTo(const TUserCase& c, std::ostream* out) { *out << c.Name; }

class UserLanguageStart : public testsupport::SeamTest {
protected:
    void TearDown() override {
        // The process's manager outlives the test: back to the built-in texts.
        i18n::LangManager().SetLanguageID(1033);
        SeamTest::TearDown();
    }
};

class UserLanguage : public UserLanguageStart, public ::testing::WithParamInterface<TUserCase> {};

TEST_P(UserLanguage, PicksTheMatchingFileBesideTheProgram) {
    // German and Spanish beside the program, no French.
    for (const char* file : {"German.lng", "Spanish.lng"})
        testsupport::WriteFile(ScratchFolder() + u"\\" + text::FromUtf8(file), langtest::ReadShipped(file));
    emul::SetModuleFileName(ScratchFolder() + u"\\tallowmend.exe");
    emul::SetUILanguage(GetParam().UiLanguage);

    ui::THeadlessApp application;
    app::TMainForm form(application, [](app::TMainForm&) {});
    EXPECT_EQ(i18n::LangManager().LanguageID(), GetParam().Expected);
    EXPECT_EQ(form.NextButton->Caption(), GetParam().NextCaption);
}

TEST_F(UserLanguageStart, ABrokenFileForTheUsersLanguageLeavesTheWizardInEnglish) {
    testsupport::WriteFile(ScratchFolder() + u"\\German.lng", "LANGID=1031\r\n[$CONSTANTS]\r\n1st=not a name\r\n");
    emul::SetModuleFileName(ScratchFolder() + u"\\tallowmend.exe");
    emul::SetUILanguage(0x0407);

    ui::THeadlessApp application;
    app::TMainForm form(application, [](app::TMainForm&) {});
    EXPECT_EQ(i18n::LangManager().LanguageID(), 1033);
    EXPECT_EQ(form.NextButton->Caption(), u"Next >");
    // The user is told what was wrong and that the texts are English.
    ASSERT_EQ(application.Shown.size(), 1u);
    EXPECT_NE(application.Shown[0].Text.find(u"Line 2"), std::u16string::npos)
        << text::ToUtf8(application.Shown[0].Text);
    EXPECT_NE(application.Shown[0].Text.find(u"English"), std::u16string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserLanguage,
    ::testing::Values(TUserCase{"German", 0x0407, 0x0407, u"Weiter >"},
                      // Same primary language, another country: the German file.
                      TUserCase{"SwissGerman", 0x0807, 0x0407, u"Weiter >"},
                      TUserCase{"SpanishTraditionalSort", 0x040A, 0x0C0A, u"Siguiente >"},
                      TUserCase{"FrenchWithoutItsFile", 0x040C, 1033, u"Next >"},
                      TUserCase{"English", 1033, 1033, u"Next >"},
                      TUserCase{"BritishEnglish", 0x0809, 1033, u"Next >"}),
    [](const ::testing::TestParamInfo<TUserCase>& info) { return std::string(info.param.Name); });

}  // namespace
