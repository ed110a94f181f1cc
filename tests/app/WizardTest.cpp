// The wizard's pages, buttons and scan run through the headless toolkit.
#include <gtest/gtest.h>

#include <algorithm>

#include "WizardTestSupport.h"
#include "app/FixStep.h"
#include "i18n/LangFile.h"
#include "i18n/LanguageManager.h"

namespace apptest {
namespace {

using app::TMainForm;

TEST_F(WizardTest, StartsOnTheWelcomePageWithBackDisabled) {
    Make({}, {});
    EXPECT_EQ(form->Page(), TMainForm::pgDefault);
    EXPECT_EQ(Buttons(), "-Back Next Cancel");
    EXPECT_TRUE(form->Label1->Showing());
    EXPECT_FALSE(form->ResultsListBox->Showing());
    EXPECT_EQ(form->Form().Caption(), u"Tallowmend");
    EXPECT_EQ(form->NextButton->Caption(), u"Next >");
    EXPECT_EQ(form->LinkLabel1->Caption(), app::SupportAddress());
    EXPECT_NE(app::SupportAddress().find(u"/support/"), std::u16string::npos);
}

TEST_F(WizardTest, CancelOnTheWelcomePageEndsWithoutAsking) {
    Make({}, {});
    EXPECT_TRUE(form->PressEscape());
    EXPECT_TRUE(app->Terminated());
    EXPECT_TRUE(app->Shown.empty());
}

// Cancel on every later page asks first, without an owner window; only Yes ends the program.
struct CancelCase {
    const char* name;
    int page;
    int answer;
};
class WizardCancelTest : public WizardTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(WizardCancelTest, AsksAndOnlyYesEnds) {
    const auto& c = GetParam();
    Make(c.page == TMainForm::pgFailed ? std::vector<std::u16string>{} : std::vector<std::u16string>{u"a"}, {});
    answer = c.answer;
    ToResults();
    if (c.page == TMainForm::pgSuccess) {
        ASSERT_TRUE(form->NextButton->Click());
    }
    ASSERT_EQ(form->Page(), c.page);
    bool pressed = form->CancelButton->Click();
    if (c.page != TMainForm::pgResults) {
        // The closing pages hide Cancel and Esc does nothing there.
        EXPECT_FALSE(pressed);
        EXPECT_FALSE(form->PressEscape());
        EXPECT_FALSE(app->Terminated());
        return;
    }
    ASSERT_EQ(app->Shown.size(), 1u);
    EXPECT_EQ(app->Shown[0].Text, u"Solving process is not finished yet. Are you sure you want to exit?");
    EXPECT_EQ(app->Shown[0].Caption, u"Tallowmend");
    EXPECT_EQ(app->Shown[0].Buttons, ui::TMsgButtons::YesNo);
    EXPECT_FALSE(app->Shown[0].Owned);
    EXPECT_EQ(app->Terminated(), c.answer == ui::mrYes);
    EXPECT_EQ(form->Page(), TMainForm::pgResults);
}

INSTANTIATE_TEST_SUITE_P(Pages, WizardCancelTest,
                         ::testing::Values(CancelCase{"ResultsYes", TMainForm::pgResults, ui::mrYes},
                                           CancelCase{"ResultsNo", TMainForm::pgResults, ui::mrNo},
                                           CancelCase{"Success", TMainForm::pgSuccess, ui::mrYes},
                                           CancelCase{"Failed", TMainForm::pgFailed, ui::mrYes}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WizardTest, CancelDuringTheScanAsksToo) {
    auto gate = std::make_shared<Gate>();
    Make({}, {u"t"}, gate);
    answer = ui::mrYes;
    ASSERT_TRUE(form->NextButton->Click());
    EXPECT_EQ(Buttons(), "Back -Next Cancel");
    EXPECT_TRUE(form->PressEscape());
    EXPECT_EQ(app->Shown.size(), 1u);
    EXPECT_TRUE(app->Terminated());
    gate->Open();
}

TEST_F(WizardTest, SettingEntriesComeFirstAndTheCompositeCountsEveryFinding) {
    Make({u"one", u"two"}, {u"a", u"b", u"c"});
    ToResults();
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], u"[x] setting one");
    EXPECT_EQ(entries[1], u"[x] setting two");
    ASSERT_NE(form->ListProduct(), nullptr);
    EXPECT_EQ(form->ListProduct()->Position, 2);
    EXPECT_EQ(entries[2], u"[x] " + form->ListProduct()->GetDescription());
    EXPECT_EQ(form->ListProduct()->Count() % 3, 0u);  // once per registry view
    EXPECT_EQ(Buttons(), "Back Next Cancel");
}

TEST_F(WizardTest, WhatTheDetailsLeaveUncheckedIsNotRepairedAndTheScanIsKept) {
    Make({}, {u"a", u"b", u"c"});
    ToResults();
    ASSERT_TRUE(form->DetailsLink->Enabled());
    // A double click on the composite entry opens the details.
    form->ResultsListBox->OnItemActivate(form->ListProduct()->Position);
    ASSERT_EQ(form->Page(), TMainForm::pgDetails);
    ASSERT_EQ(form->DetailsListBox->Count(), static_cast<int>(form->ListProduct()->Count()));
    for (int i = 0; i < form->DetailsListBox->Count(); ++i)
        if (form->DetailsListBox->Item(i).Text.starts_with(u"finding b")) form->DetailsListBox->SetChecked(i, false);
    const auto* composite = form->ListProduct();
    ASSERT_TRUE(form->BackButton->Click());
    // Back on the results, not a new scan: the same composite, Next ready.
    EXPECT_EQ(form->Page(), TMainForm::pgResults);
    EXPECT_EQ(form->ListProduct(), composite);
    EXPECT_EQ(Buttons(), "Back Next Cancel");
    ASSERT_TRUE(form->NextButton->Click());
    EXPECT_EQ(form->Page(), TMainForm::pgSuccess);
    std::vector<std::u16string> solved = SolvedLog();
    EXPECT_EQ(std::count(solved.begin(), solved.end(), u"b"), 0);
    EXPECT_EQ(std::count(solved.begin(), solved.end(), u"a"), std::count(solved.begin(), solved.end(), u"c"));
    EXPECT_FALSE(solved.empty());
}

TEST_F(WizardTest, SettingsAloneEnableNextWithoutComposite) {
    Make({u"one"}, {});
    ToResults();
    EXPECT_EQ(Entries(), std::vector<std::u16string>{u"[x] setting one"});
    EXPECT_EQ(form->ListProduct(), nullptr);
    EXPECT_EQ(form->Page(), TMainForm::pgResults);
    EXPECT_TRUE(form->NextButton->Enabled());
}

TEST_F(WizardTest, NothingFoundLeadsToTheFailedPage) {
    Make({}, {});
    ToResults();
    EXPECT_EQ(form->Page(), TMainForm::pgFailed);
    EXPECT_EQ(form->ScanningLabel->Caption(), u"Scan completed");
    EXPECT_EQ(Buttons(), "Back Finish");
    EXPECT_TRUE(form->PressEnter());
    EXPECT_TRUE(app->Terminated());
}

TEST_F(WizardTest, AnEntryUncheckedDuringTheScanStaysUnchecked) {
    auto gate = std::make_shared<Gate>();
    Make({}, {u"a", u"b"}, gate);
    ASSERT_TRUE(form->NextButton->Click());
    gate->Open();
    ASSERT_TRUE(app->Loop().RunUntil([this] { return form->ResultsListBox->Count() == 1; }, std::chrono::seconds(20)));
    form->ResultsListBox->SetChecked(0, false);
    std::u16string before = form->ResultsListBox->Item(0).Text;
    WaitForScan();
    EXPECT_NE(form->ResultsListBox->Item(0).Text, before);
    EXPECT_FALSE(form->ResultsListBox->Item(0).Checked);
    EXPECT_EQ(form->ResultsListBox->Item(0).Data, form->ListProduct());
}

TEST_F(WizardTest, NextWithNothingCheckedAsksForASelection) {
    Make({u"one"}, {u"a"});
    ToResults();
    for (int i = 0; i < form->ResultsListBox->Count(); ++i) form->ResultsListBox->SetChecked(i, false);
    EXPECT_TRUE(form->PressEnter());
    ASSERT_EQ(app->Shown.size(), 1u);
    EXPECT_EQ(app->Shown[0].Text, u"Select some results to proceed");
    EXPECT_EQ(app->Shown[0].Buttons, ui::TMsgButtons::OK);
    EXPECT_EQ(form->Page(), TMainForm::pgResults);
    EXPECT_TRUE(SolvedLog().empty());
}

TEST_F(WizardTest, BackFromAClosingPageRunsANewScanOnAFreshList) {
    Make({u"one"}, {u"a"});
    ToResults();
    ASSERT_TRUE(form->NextButton->Click());
    ASSERT_EQ(form->Page(), TMainForm::pgSuccess);
    EXPECT_EQ(Buttons(), "Back Finish");
    form->ScanningLabel->SetCaption(u"");
    ASSERT_TRUE(form->BackButton->Click());
    EXPECT_EQ(form->Page(), TMainForm::pgResults);
    EXPECT_FALSE(form->NextButton->Enabled());
    WaitForScan();
    auto entries = Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], u"[x] setting one");
}

TEST_F(WizardTest, BackDuringTheScanLetsItFinishIntoTheHiddenList) {
    auto gate = std::make_shared<Gate>();
    Make({}, {u"a"}, gate);
    ASSERT_TRUE(form->NextButton->Click());
    ASSERT_TRUE(form->BackButton->Click());
    EXPECT_EQ(form->Page(), TMainForm::pgDefault);
    EXPECT_EQ(Buttons(), "-Back Next Cancel");
    gate->Open();
    WaitForScan();
    EXPECT_EQ(form->Page(), TMainForm::pgDefault);
    EXPECT_EQ(form->ResultsListBox->Count(), 1);
}

TEST_F(WizardTest, AnEmptyScanFinishedAfterBackStillShowsTheFailedPage) {
    auto gate = std::make_shared<Gate>();
    Make({}, {}, gate);
    // The empty scan completes at once; Back must come first, so hold the UI loop.
    ASSERT_TRUE(form->NextButton->Click());
    ASSERT_TRUE(form->BackButton->Click());
    WaitForScan();
    EXPECT_EQ(form->Page(), TMainForm::pgFailed);
}

TEST_F(WizardTest, FindingsOfAnEarlierScanAfterTheFixNeverOverwriteOtherEntries) {
    auto gate = std::make_shared<Gate>();
    Make({u"one"}, {u"a"}, gate);
    ASSERT_TRUE(form->NextButton->Click());  // scan 1 waits at the gate
    ASSERT_TRUE(form->BackButton->Click());
    ASSERT_TRUE(form->NextButton->Click());  // scan 2 queues behind it
    // Only the setting entry, and the fix removes it; then the findings come.
    ASSERT_EQ(form->ResultsListBox->Count(), 1);
    form->NextButton->SetEnabled(true);
    form->FixProblems();
    form->ResultsListBox->AddItem(u"other", false, nullptr);
    gate->Open();
    ASSERT_TRUE(app->Loop().RunUntil([this] { return form->ListProduct() && form->ListProduct()->Count() > 0; },
                                     std::chrono::seconds(20)));
    // Solve the composite, then let more findings arrive.
    int composite = form->ListProduct()->Position;
    ASSERT_EQ(composite, 1);
    form->ResultsListBox->SetChecked(0, false);
    form->FixProblems();
    ASSERT_EQ(form->ResultsListBox->Count(), 1);
    // Later findings start a new entry below.
    ASSERT_TRUE(app->Loop().RunUntil([this] { return form->ResultsListBox->Count() == 2; }, std::chrono::seconds(20)));
    EXPECT_EQ(form->ResultsListBox->Item(0).Text, u"other");
    EXPECT_EQ(form->ResultsListBox->Item(1).Data, form->ListProduct());
}

TEST_F(WizardTest, EachScannerFindingIsLoggedAndSettingFindingsAreNot) {
    TurnOn();
    Make({u"one"}, {u"a", u"b"});
    ToResults();
    std::string log = ReadAll(runtime::LogFileName());
    std::size_t count = 0;
    for (std::size_t at = log.find("finding "); at != std::string::npos; at = log.find("finding ", at + 1)) ++count;
    EXPECT_EQ(count, form->ListProduct()->Count());
    EXPECT_EQ(log.find("setting one"), std::string::npos);
}

TEST_F(WizardTest, AFailingCheckIsReportedAndLeavesTheResultsPageUsable) {
    form = std::make_unique<TMainForm>(*app, [](TMainForm&) { throw std::runtime_error("check failed"); });
    ui::SafeCall(*app, [this] { form->NextButton->Click(); });
    ASSERT_EQ(app->Shown.size(), 1u);
    EXPECT_TRUE(app->Shown[0].IsError);
    EXPECT_EQ(form->Page(), TMainForm::pgResults);
    EXPECT_TRUE(form->NextButton->Enabled());
}

#ifndef _WIN32
// Natively only: under Wine the program folder is the test binary's own,
// shared with every other wizard test running at the same time.
struct BadLangFile {
    const char* name;
    std::string content;
};

void PrintTo(const BadLangFile& c, std::ostream* out) { *out << c.name; }

class WizardLangFileTest : public WizardTest, public ::testing::WithParamInterface<BadLangFile> {};

TEST_P(WizardLangFileTest, ABadLanguageFileBesideTheProgramGivesAMessageAndEnglish) {
    os::CreateDirectoryW(app::ProgramFolder().c_str(), nullptr);
    WriteAll(app::ProgramFolder() + u"broken.lng", GetParam().content);
    ASSERT_NO_THROW(Make({}, {}));
    testsupport::RemoveFolderTree(app::ProgramFolder());
    ASSERT_EQ(app->Shown.size(), 1u);
    EXPECT_NE(app->Shown[0].Text.find(u"broken.lng"), std::u16string::npos) << text::ToUtf8(app->Shown[0].Text);
    EXPECT_NE(app->Shown[0].Text.find(u"English"), std::u16string::npos);
    EXPECT_EQ(form->Page(), TMainForm::pgDefault);
    EXPECT_EQ(form->NextButton->Caption(), u"Next >");
    EXPECT_EQ(i18n::LangConst(u"Empty_key"), u"Empty key");
    ToResults();
    EXPECT_EQ(form->Page(), TMainForm::pgFailed);
}

INSTANTIATE_TEST_SUITE_P(Files, WizardLangFileTest,
                         ::testing::Values(BadLangFile{"Oversized", "LANGID=1049\r\n" +
                                                                        std::string(i18n::kMaxLangFileBytes, ';')}),
                         [](const auto& info) { return std::string(info.param.name); });
#endif

TEST_F(WizardTest, MatchesPatternIsCaseSensitiveAndSearchesAnywhere) {
    Make({}, {});
    EXPECT_TRUE(form->IsRundllPath(u"C:\\Windows\\system32\\rundll32.exe shell32.dll"));
    EXPECT_FALSE(form->IsRundllPath(u"C:\\WINDOWS\\RUNDLL32.EXE"));
    EXPECT_FALSE(form->IsRundllPath(u"run\ndll.exe"));
    EXPECT_TRUE(form->MatchesPattern(u"abc", "b"));
}

TEST_F(WizardTest, LinksOpenTheSupportPage) {
    Make({}, {});
    // Only a showing link can be clicked; the support label is always there.
    EXPECT_FALSE(form->LinkLabel1->Click());
    EXPECT_TRUE(form->Label23->Click());
}

}  // namespace
}  // namespace apptest
