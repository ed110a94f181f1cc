#include "app/MainFormUnit.h"

#include <set>
#include <stdexcept>

#include "app/DefaultSettingChecks.h"
#include "app/FixStep.h"
#include "app/RepairRun.h"
#include "app/Report.h"
#include "backups/BackupsManagerUnit.h"
#include "i18n/FormLangData.h"
#include "i18n/LangError.h"
#include "i18n/LanguageManager.h"
#include "platform/Text.h"
#include "platform/os/WinApi.h"
#include "runtime/Logger.h"
#include "scanners/BuiltInScanners.h"

#ifndef TALLOWMEND_SUPPORT_URL
#define TALLOWMEND_SUPPORT_URL "http://www.example.com/support/"
#endif

namespace app {

using ui::TBounds;
using ui::TWidget;
using ui::TWidgetKind;

namespace {
const char16_t kTitle[] = u"Tallowmend";
const char16_t kConfirmExit[] = u"Solving process is not finished yet. Are you sure you want to exit?";
const char16_t kSelectSome[] = u"Select some results to proceed";
const char16_t kLangFilesFailed[] = u"\r\n\r\nThe language files beside the program were not used; Tallowmend shows its "
                                    u"built-in English texts.";
}  // namespace

std::u16string SupportAddress() { return text::FromUtf8(TALLOWMEND_SUPPORT_URL); }

void RunDefaultSettingChecks(TMainForm& form) { TDefaultSettingChecks(form).Run(); }

// A widget as the language controller sees it.
class TMainForm::TComponentLink : public i18n::ILangComponent {
public:
    TComponentLink(TMainForm& form, TWidget& widget) : form_(form), widget_(widget) {}

    std::optional<std::u16string> GetLangProperty(std::u16string_view property) override {
        if (text::EqualNoCase(property, u"Items")) {
            if (widget_.Kind() != TWidgetKind::CheckList) return std::nullopt;
            std::u16string lines;
            for (int i = 0; i < widget_.Count(); ++i) lines += widget_.Item(i).Text + u"\r\n";
            return lines;
        }
        if (text::EqualNoCase(property, u"Caption") ||
            (text::EqualNoCase(property, u"Text") && widget_.Kind() == TWidgetKind::LinkLabel))
            return widget_.Caption();
        return std::nullopt;
    }

    void SetLangProperty(std::u16string_view property, std::u16string_view value) override {
        if (text::EqualNoCase(property, u"Items")) {
            // Only the texts change: entries keep their findings and checks.
            if (widget_.Kind() != TWidgetKind::CheckList) return;
            int i = 0;
            std::size_t start = 0;
            while (start < value.size() && i < widget_.Count()) {
                std::size_t end = value.find(u"\r\n", start);
                if (end == std::u16string_view::npos) end = value.size();
                widget_.SetItemText(i++, std::u16string(value.substr(start, end - start)));
                start = end + 2;
            }
            return;
        }
        if (text::EqualNoCase(property, u"Caption") ||
            (text::EqualNoCase(property, u"Text") && widget_.Kind() == TWidgetKind::LinkLabel))
            widget_.SetCaption(std::u16string(value));
    }

    ILangComponent* FindLangComponent(std::u16string_view name) override { return form_.FindLangComponent(name); }

    TWidget& Widget() { return widget_; }

private:
    TMainForm& form_;
    TWidget& widget_;
};

TMainForm::TMainForm(ui::TApplication& application, TSettingChecks checks)
    : FApplication(application), FChecks(std::move(checks)) {
    BuildWidgets();
    LanguageController = std::make_unique<i18n::TLanguageController>(*this);
    LanguageController->LoadLangData(i18n::MainFormLangData());
    LanguageController->Loaded();
    FormCreate();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::BuildWidgets() {
    FForm = std::make_unique<TWidget>(TWidgetKind::Form, u"MainForm", nullptr, TBounds{0, 0, 536, 374}, kTitle);
    TWidget& f = *FForm;
    Image1 = &f.AddChild(TWidgetKind::Picture, u"Image1", {0, 0, 198, 320});
    Notebook = &f.AddChild(TWidgetKind::PageStack, u"Notebook", {198, 0, 339, 320});
    Panel1 = &f.AddChild(TWidgetKind::Panel, u"Panel1", {0, 320, 537, 55});
    BackButton = &f.AddChild(TWidgetKind::Button, u"BackButton", {279, 337, 75, 25}, u"< Back");
    Label23 = &Panel1->AddChild(TWidgetKind::Label, u"Label23", {15, 21, 0, 0}, u"Contact Support");
    Label23->Url = SupportAddress();
    NextButton = &Panel1->AddChild(TWidgetKind::Button, u"NextButton", {360, 16, 75, 25}, u"Next >");
    NextButton->Role = ui::TButtonRole::Default;
    FinishButton = &Panel1->AddChild(TWidgetKind::Button, u"FinishButton", {360, 16, 75, 25}, u"Finish");
    FinishButton->Role = ui::TButtonRole::Default;
    FinishButton->SetVisible(false);
    CancelButton = &Panel1->AddChild(TWidgetKind::Button, u"CancelButton", {448, 16, 75, 25}, u"Cancel");
    CancelButton->Role = ui::TButtonRole::Cancel;
    BackButton->SetEnabled(false);

    DefaultPage = &Notebook->AddChild(TWidgetKind::Page, u"Default", {0, 0, 339, 320});
    ResultsPage = &Notebook->AddChild(TWidgetKind::Page, u"Results", {0, 0, 339, 320});
    SuccessPage = &Notebook->AddChild(TWidgetKind::Page, u"Success", {0, 0, 339, 320});
    FailedPage = &Notebook->AddChild(TWidgetKind::Page, u"Failed", {0, 0, 339, 320});

    Label1 = &DefaultPage->AddChild(TWidgetKind::Label, u"Label1", {16, 24, 287, 49}, u"Welcome to Tallowmend");
    Label1->Font = ui::TFontRole::Title;
    Label8 = &DefaultPage->AddChild(
        TWidgetKind::Label, u"Label8", {16, 95, 300, 114},
        u"This Wizard will help you easily get rid of Rundll and Rundll32 related error messages and problems "
        u"associated with them. Before clicking Next remember that we DO guarantee that your problem will be "
        u"solved. This is why we are very different from other software vendors \u2013 we guarantee the quality "
        u"of our work.");
    Label3 = &DefaultPage->AddChild(TWidgetKind::Label, u"Label3", {16, 296, 0, 0},
                                    u"Click Next to solve your problem now.");
    Label3->WordWrap = false;

    ScanDescLabel = &ResultsPage->AddChild(
        TWidgetKind::Label, u"ScanDescLabel", {16, 16, 309, 57},
        u"Tallowmend is scanning your computer for the possible reasons of your problem. Please, be patient.");
    ScanningLabel = &ResultsPage->AddChild(TWidgetKind::Label, u"ScanningLabel", {16, 75, 305, 15}, u"Scanning:");
    ScanningLabel->Font = ui::TFontRole::Scanning;
    ScanningLabel->WordWrap = false;
    ResultsListBox = &ResultsPage->AddChild(TWidgetKind::CheckList, u"ResultsListBox", {16, 110, 309, 203});

    Label10 = &SuccessPage->AddChild(TWidgetKind::Label, u"Label10", {16, 16, 0, 0},
                                     u"Tallowmend successfully resolved your problem. ");
    Label10->WordWrap = false;
    Label11 = &SuccessPage->AddChild(TWidgetKind::Label, u"Label11", {16, 35, 305, 49},
                                     u"If you have any problems or questions regarding this program or the problem "
                                     u"you had, please submit your support ticket here:");
    LinkLabel1 = &SuccessPage->AddChild(TWidgetKind::LinkLabel, u"LinkLabel1", {16, 90, 241, 13}, SupportAddress());
    LinkLabel1->Url = SupportAddress();
    Label12 = &SuccessPage->AddChild(TWidgetKind::Label, u"Label12", {16, 123, 169, 15},
                                     u"Our support staff will reply shortly.");
    Label13 = &SuccessPage->AddChild(TWidgetKind::Label, u"Label13", {16, 144, 89, 15}, u"Happy computing!");

    Label15 = &FailedPage->AddChild(
        TWidgetKind::Label, u"Label15", {16, 24, 305, 57},
        u"Tallowmend could not find the reason of the problem in automatic mode. A live human from our support "
        u"team is needed to look into your issue. We will continue solving your problem in semi-automatic mode.");
    Label4 = &FailedPage->AddChild(
        TWidgetKind::Label, u"Label4", {16, 87, 305, 49},
        u"Please open support ticket with description of your problem in our Online Help Desk here:");
    LinkLabel2 = &FailedPage->AddChild(TWidgetKind::LinkLabel, u"LinkLabel2", {16, 123, 241, 13}, SupportAddress());
    LinkLabel2->Url = SupportAddress();
    Label5 = &FailedPage->AddChild(TWidgetKind::Label, u"Label5", {16, 156, 169, 15},
                                   u"Our support staff will reply shortly.");

    UndoLink =
        &DefaultPage->AddChild(TWidgetKind::Label, u"UndoLink", {16, 250, 0, 0}, u"Undo an earlier repair\u2026");
    UndoLink->WordWrap = false;
    DetailsLink = &ResultsPage->AddChild(TWidgetKind::Label, u"DetailsLink", {270, 93, 0, 0}, u"Details\u2026");
    DetailsLink->WordWrap = false;

    DetailsPage = &Notebook->AddChild(TWidgetKind::Page, u"Details", {0, 0, 339, 320});
    DetailsLabel = &DetailsPage->AddChild(
        TWidgetKind::Label, u"DetailsLabel", {16, 16, 309, 45},
        u"Every registry problem the scan found, in the order found. What you uncheck is left as it is.");
    DetailsListBox = &DetailsPage->AddChild(TWidgetKind::CheckList, u"DetailsListBox", {16, 66, 309, 247});

    UndoPage = &Notebook->AddChild(TWidgetKind::Page, u"Undo", {0, 0, 339, 320});
    UndoLabel = &UndoPage->AddChild(
        TWidgetKind::Label, u"UndoLabel", {16, 16, 309, 45},
        u"Earlier repairs, the newest first. Check what to put back and press Restore.");
    UndoListBox = &UndoPage->AddChild(TWidgetKind::CheckList, u"UndoListBox", {16, 66, 309, 200});
    UndoResultLabel = &UndoPage->AddChild(TWidgetKind::Label, u"UndoResultLabel", {16, 272, 309, 45}, u"");

    UndoLink->OnClick = [this] { ShowUndoPage(); };
    DetailsLink->OnClick = [this] { ShowDetails(); };
    ResultsListBox->OnItemActivate = [this](int index) {
        if (FListProduct && ResultsListBox->Item(index).Data == FListProduct.get()) ShowDetails();
    };
    NextButton->OnClick = [this] { NextButtonClick(); };
    BackButton->OnClick = [this] { BackButtonClick(); };
    CancelButton->OnClick = [this] { CancelButtonClick(); };
    FinishButton->OnClick = [this] { FinishButtonClick(); };
    Label23->OnClick = [this] { Label23Click(); };
    LinkLabel1->OnClick = [this] { LinkLabel1Click(); };
    LinkLabel2->OnClick = [this] { LinkLabel1Click(); };
    Notebook->OnPageChanged = [this] { NotebookPageChanged(); };

    for (auto* w : {Image1, Notebook, Panel1, Label23, NextButton, FinishButton, CancelButton, BackButton, Label1,
                    Label8, Label3, ScanDescLabel, ScanningLabel, ResultsListBox, Label10, Label11, LinkLabel1,
                    Label12, Label13, Label15, Label4, LinkLabel2, Label5})
        FLinks.push_back(std::make_unique<TComponentLink>(*this, *w));
}

std::optional<std::u16string> TMainForm::GetLangProperty(std::u16string_view property) {
    if (text::EqualNoCase(property, u"Caption")) return FForm->Caption();
    return std::nullopt;
}

void TMainForm::SetLangProperty(std::u16string_view property, std::u16string_view value) {
    if (text::EqualNoCase(property, u"Caption")) FForm->SetCaption(std::u16string(value));
}

i18n::ILangComponent* TMainForm::FindLangComponent(std::u16string_view name) {
    for (auto& link : FLinks)
        if (text::EqualNoCase(link->Widget().Name(), name)) return link.get();
    return nullptr;
}

void TMainForm::FormCreate() {
    auto& manager = i18n::LangManager();
    // The user's own language when a file for it lies beside the program;
    // the built-in English otherwise. A language file that cannot be read
    // (too large, locked, damaged) must not keep the wizard from starting:
    // say which and go on in English.
    std::u16string failure;
    try {
        manager.ScanForLangFiles(ProgramFolder(), u"*.lng", false);
        manager.SetLanguageID(manager.MatchingLanguage(os::GetUserDefaultUILanguage()));
    } catch (const i18n::ELangError& e) {
        failure = e.Message();
    } catch (const std::exception& e) {
        failure = text::FromUtf8(e.what());
    }
    if (!failure.empty()) {
        runtime::Log(failure);
        FApplication.ShowMessage(failure + kLangFilesFailed, kTitle, ui::TMsgButtons::OK, false);
    }
    FRegEx.reset();
    Notebook->SetActivePage(pgDefault);
}

void TMainForm::FormDestroy() {
    FListProduct.reset();
    FSettingProducts.clear();
}

void TMainForm::ResetButtons() {
    if (!FNextCaption.empty()) {
        NextButton->SetCaption(FNextCaption);
        FNextCaption.clear();
    }
    NextButton->SetVisible(true);
    NextButton->SetEnabled(true);
    BackButton->SetVisible(true);
    BackButton->SetEnabled(true);
    FinishButton->SetVisible(false);
    FinishButton->SetEnabled(true);
    CancelButton->SetVisible(true);
    CancelButton->SetEnabled(true);
}

void TMainForm::ReleaseResults() {
    ResultsListBox->ClearItems();
    FListProduct.reset();
    FSettingProducts.clear();
}

void TMainForm::NotebookPageChanged() {
    ResetButtons();
    DetailsLink->SetEnabled(false);
    switch (Notebook->ActivePage()) {
        case pgDefault:
            BackButton->SetEnabled(false);
            break;
        case pgResults:
            if (FKeepResults) {
                FKeepResults = false;
                NextButton->SetEnabled(FScanDone);
                DetailsLink->SetEnabled(FScanDone && FListProduct);
                break;
            }
            ReleaseResults();
            ScanningLabel->SetVisible(true);
            RunChecksAndScan();
            NextButton->SetEnabled(false);
            break;
        case pgSuccess:
        case pgFailed:
            NextButton->SetVisible(false);
            FinishButton->SetVisible(true);
            CancelButton->SetVisible(false);
            break;
        case pgDetails:
            NextButton->SetVisible(false);
            FillDetails();
            break;
        case pgUndo:
            FNextCaption = NextButton->Caption();
            NextButton->SetCaption(u"Restore");
            UndoResultLabel->SetCaption(u"");
            FillUndo();
            break;
        default:
            break;
    }
}

void TMainForm::ShowDetails() {
    if (!FScanDone || !FListProduct || Notebook->ActivePage() != pgResults) return;
    Notebook->SetActivePage(pgDetails);
}

void TMainForm::FillDetails() {
    DetailsListBox->ClearItems();
    if (!FListProduct) return;
    for (std::size_t k = 0; k < FListProduct->Count(); ++k) {
        auto* finding = FListProduct->Item(k);
        if (!finding) continue;
        DetailsListBox->AddItem(finding->GetDescription() + u"  (" + ViewName(finding->View()) + u")",
                                FListProduct->Checked(k), finding);
    }
}

void TMainForm::KeepDetailsChoices() {
    if (!FListProduct) return;
    for (int i = 0; i < DetailsListBox->Count(); ++i)
        for (std::size_t k = 0; k < FListProduct->Count(); ++k)
            if (FListProduct->Item(k) == DetailsListBox->Item(i).Data)
                FListProduct->SetChecked(k, DetailsListBox->Item(i).Checked);
}

void TMainForm::ShowUndoPage() { Notebook->SetActivePage(pgUndo); }

void TMainForm::FillUndo() {
    UndoListBox->ClearItems();
    FUndoRows.clear();
    try {
        backups::TBackupsManager journal;
        FUndoSessions = ListSessions(journal);
    } catch (const std::exception& e) {
        FUndoSessions.clear();
        UndoResultLabel->SetCaption(u"The backup journal cannot be read: " + text::FromUtf8(e.what()));
    }
    bool newest = true;
    for (std::size_t s = 0; s < FUndoSessions.size(); ++s) {
        const auto& session = FUndoSessions[s];
        std::u16string head = session.Id.empty() ? std::u16string(u"Older backups")
                                                 : u"Repair " + session.Id + u" of " + session.Time;
        for (std::size_t e = 0; e < session.Entries.size(); ++e) {
            const auto& entry = session.Entries[e];
            std::u16string line = head + u": " + entry.Description;
            if (!entry.Restored.empty()) line += u"  [put back " + entry.Restored + u"]";
            if (!entry.Problem.empty()) line += u"  [unreadable: " + entry.Problem + u"]";
            // The newest repair is what a user undoes most; the rest waits to
            // be chosen.
            bool check = newest && !session.Id.empty() && entry.Problem.empty() && entry.Restored.empty();
            UndoListBox->AddItem(line, check, nullptr);
            FUndoRows.emplace_back(s, e);
        }
        if (!session.Id.empty()) newest = false;
    }
    if (FUndoRows.empty() && UndoResultLabel->Caption().empty())
        UndoResultLabel->SetCaption(u"There is nothing to undo: no repair was backed up here.");
    NextButton->SetEnabled(!FUndoRows.empty());
}

void TMainForm::RestoreChecked() {
    std::map<std::size_t, std::set<std::u16string>> chosen;
    for (int i = 0; i < UndoListBox->Count() && static_cast<std::size_t>(i) < FUndoRows.size(); ++i) {
        if (!UndoListBox->Item(i).Checked) continue;
        auto [s, e] = FUndoRows[static_cast<std::size_t>(i)];
        chosen[s].insert(FUndoSessions[s].Entries[e].Name);
    }
    if (chosen.empty()) {
        FApplication.ShowMessage(kSelectSome, kTitle, ui::TMsgButtons::OK, true);
        return;
    }
    std::size_t restored = 0, total = 0;
    std::u16string notes;
    try {
        backups::TBackupsManager journal;
        auto ask = [this](const TJournalEntry&, const std::u16string& conflict) {
            return FApplication.ShowMessage(conflict + u"\r\n\r\nPut it back anyway?", kTitle, ui::TMsgButtons::YesNo,
                                            true) == ui::mrYes;
        };
        for (const auto& [s, names] : chosen) {
            for (const auto& r : RestoreSession(journal, FUndoSessions[s], ask, &names)) {
                ++total;
                if (r.Outcome == TRestoreOutcome::Restored)
                    ++restored;
                else
                    notes += u"\n" + r.Entry.Description + u": " + r.Reason;
            }
        }
    } catch (const std::exception& e) {
        notes += u"\n" + text::FromUtf8(e.what());
    }
    FillUndo();
    UndoResultLabel->SetCaption(u"Put back " + text::FromAscii(std::to_string(restored)) + u" of " +
                                text::FromAscii(std::to_string(total)) + u"." + notes);
}

void TMainForm::NextButtonClick() {
    switch (Notebook->ActivePage()) {
        case pgDefault:
            Notebook->SetActivePage(pgResults);
            break;
        case pgResults: {
            bool anyChecked = false;
            for (int i = 0; i < ResultsListBox->Count(); ++i) anyChecked = anyChecked || ResultsListBox->Item(i).Checked;
            if (ResultsListBox->Count() > 0 && !anyChecked) {
                FApplication.ShowMessage(kSelectSome, kTitle, ui::TMsgButtons::OK, true);
                return;
            }
            try {
                FixProblems();
            } catch (const backups::EJournalWriteError& e) {
                FApplication.ShowMessage(u"Nothing was repaired: the backup journal cannot be written.\r\n" +
                                             text::FromUtf8(e.what()),
                                         kTitle, ui::TMsgButtons::OK, true);
                return;
            } catch (const ERepairRefused& e) {
                FApplication.ShowMessage(e.Message(), kTitle, ui::TMsgButtons::OK, true);
                return;
            } catch (...) {
                // What the step did stays done; the user may press Next again.
                return;
            }
            Notebook->SetActivePage(pgSuccess);
            break;
        }
        case pgUndo:
            RestoreChecked();
            break;
        default:
            break;
    }
}

void TMainForm::BackButtonClick() {
    switch (Notebook->ActivePage()) {
        case pgResults:
            Notebook->SetActivePage(pgDefault);
            break;
        case pgSuccess:
        case pgFailed:
            Notebook->SetActivePage(pgResults);
            break;
        case pgDetails:
            KeepDetailsChoices();
            FKeepResults = true;
            Notebook->SetActivePage(pgResults);
            break;
        case pgUndo:
            Notebook->SetActivePage(pgDefault);
            break;
        default:
            break;
    }
}

void TMainForm::CancelButtonClick() {
    // Nothing is under way on the welcome and undo pages.
    if (Notebook->ActivePage() == pgDefault || Notebook->ActivePage() == pgUndo) {
        FApplication.Terminate();
        return;
    }
    if (FApplication.ShowMessage(kConfirmExit, kTitle, ui::TMsgButtons::YesNo, false) == ui::mrYes)
        FApplication.Terminate();
}

void TMainForm::FinishButtonClick() { FApplication.Terminate(); }

void TMainForm::Label23Click() {
    std::u16string address = SupportAddress();
    os::ShellExecuteW(nullptr, u"open", address.c_str(), nullptr, nullptr, os::SW_SHOWNORMAL);
}

void TMainForm::LinkLabel1Click() { Label23Click(); }

bool TMainForm::PressEnter() {
    if (NextButton->Showing() && NextButton->Enabled()) return NextButton->Click();
    if (FinishButton->Showing() && FinishButton->Enabled()) return FinishButton->Click();
    return false;
}

bool TMainForm::PressEscape() { return CancelButton->Showing() && CancelButton->Enabled() && CancelButton->Click(); }

void TMainForm::AddResult(findings::TScanProduct* product) {
    ResultsListBox->AddItem(product->GetDescription(), true, product);
}

void TMainForm::AddResult(std::unique_ptr<findings::TScanProduct> product) {
    FSettingProducts.push_back(std::move(product));
    AddResult(FSettingProducts.back().get());
}

void TMainForm::RunChecksAndScan() {
    FScanDone = false;
    if (FChecks) FChecks(*this);
    // Frees itself when its thread ends; the form does not keep it.
    auto* manager = new scan::TScanManager();
    manager->SetFoundEvent([this](std::unique_ptr<findings::TCleanerScanProduct> product,
                                  findings::TCategory* category) { ResultFound(std::move(product), category); });
    manager->SetProgressEvent([this](const std::u16string& text) { ScanProgress(text); });
    manager->SetCompletedEvent([this] { ScanCompleted(); });
    manager->SetScannerFactory(ScannerFactory ? ScannerFactory : scanners::BuiltInScanners);
    manager->Start();
}

int TMainForm::CompositeIndex() const {
    if (!FListProduct) return -1;
    int pos = FListProduct->Position;
    if (pos >= 0 && pos < ResultsListBox->Count() && ResultsListBox->Item(pos).Data == FListProduct.get()) return pos;
    for (int i = 0; i < ResultsListBox->Count(); ++i)
        if (ResultsListBox->Item(i).Data == FListProduct.get()) return i;
    return -1;
}

void TMainForm::ResultFound(std::unique_ptr<findings::TCleanerScanProduct> ScanProduct, findings::TCategory*) {
    // A composite whose entry is gone (the fix step solved it while an
    // earlier scan still ran) has been dealt with: later findings start a
    // new entry rather than write over whichever entry took its place.
    if (FListProduct && CompositeIndex() < 0) FListProduct.reset();
    if (!FListProduct) {
        FListProduct = std::make_unique<findings::TListScanProduct>();
        FListProduct->Position = ResultsListBox->AddItem(u"", true, FListProduct.get());
    }
    std::u16string description = ScanProduct ? ScanProduct->GetDescription() : std::u16string();
    FListProduct->Add(std::move(ScanProduct));
    runtime::Log(description);
    int index = CompositeIndex();
    FListProduct->Position = index;
    ResultsListBox->SetItemText(index, FListProduct->GetDescription());
}

void TMainForm::ScanProgress(const std::u16string& ProgressText) { ScanningLabel->SetCaption(ProgressText); }

void TMainForm::ScanCompleted() {
    ScanningLabel->SetCaption(u"Scan completed");
    FScanDone = true;
    NextButton->SetEnabled(true);
    DetailsLink->SetEnabled(Notebook->ActivePage() == pgResults && FListProduct != nullptr);
    if (ResultsListBox->Count() == 0) Notebook->SetActivePage(pgFailed);
}

void TMainForm::FixProblems(bool stopOnFailure) {
    // Nothing is repaired unless the journal can record the backups first.
    TFixRun run;
    struct TKeepOutcomes {
        TMainForm& form;
        TFixRun& run;
        ~TKeepOutcomes() {
            form.FLastOutcomes = run.Outcomes();
            form.FLastSession = run.Session();
        }
    } keep{*this, run};
    RestoreRundll32();
    for (int i = ResultsListBox->Count() - 1; i >= 0; --i) {
        if (!ResultsListBox->Item(i).Checked) continue;
        auto* product = static_cast<findings::TScanProduct*>(ResultsListBox->Item(i).Data);
        if (!product) throw std::runtime_error("Invalid class typecast");
        // The entry goes whether or not Solve succeeds.
        struct TRemove {
            TMainForm& form;
            int index;
            ~TRemove() {
                void* data = form.ResultsListBox->Item(index).Data;
                form.ResultsListBox->DeleteItem(index);
                if (form.FListProduct && data == form.FListProduct.get()) form.FListProduct.reset();
            }
        } remove{*this, i};
        if (FListProduct && product == FListProduct.get()) {
            for (std::size_t k = 0; k < FListProduct->Count(); ++k)
                if (FListProduct->Checked(k) && FListProduct->Item(k)) run.Repair(*FListProduct->Item(k));
        } else if (stopOnFailure) {
            run.Repair(*product);
        } else {
            try {
                run.Repair(*product);
            } catch (const std::exception&) {
                // Recorded as the finding's outcome.
            }
        }
    }
}

bool TMainForm::MatchesPattern(std::u16string_view text, std::string_view pattern) {
    FRegEx.emplace(pattern, scan::TRegex::None);
    return FRegEx->MatchAnsi(text).has_value();
}

bool TMainForm::IsRundllPath(std::u16string_view text) { return MatchesPattern(text, "run.*dll.*\\.exe"); }

}  // namespace app
