// The wizard window: four pages (welcome, results, success, failed) in a
// page stack, Back/Next/Finish/Cancel in a strip along the bottom, the scan
// run that fills the results list and the fix step behind Next.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/JournalSessions.h"
#include "app/RepairRun.h"
#include "findings/Categories.h"
#include "findings/CleanerScanProduct.h"
#include "findings/ListScanProduct.h"
#include "findings/ScanProduct.h"
#include "i18n/LanguageController.h"
#include "scan/Regex.h"
#include "scan/ScanManager.h"
#include "ui/Widgets.h"

namespace app {

// The address the link labels show and open (a build-time setting).
std::u16string SupportAddress();

class TMainForm;
// The default-setting checks run before each scan; each finding goes
// through AddResult at once.
using TSettingChecks = std::function<void(TMainForm&)>;
void RunDefaultSettingChecks(TMainForm& form);

class TMainForm : public i18n::ILangForm {
public:
    // Details: the scanner findings behind the composite entry, each with its
    // own check box. Undo: the journal's repair sessions, to put back.
    enum TPage { pgDefault = 0, pgResults = 1, pgSuccess = 2, pgFailed = 3, pgDetails = 4, pgUndo = 5 };

    // Builds the window's widgets and runs FormCreate.
    explicit TMainForm(ui::TApplication& application, TSettingChecks checks = RunDefaultSettingChecks);
    ~TMainForm() override;
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    ui::TWidget& Form() { return *FForm; }
    ui::TApplication& Application() { return FApplication; }
    int Page() const { return Notebook->ActivePage(); }

    // Keyboard while the focus is not on a button: Enter presses the
    // visible and enabled one of Next and Finish, Esc presses Cancel while
    // it is visible and enabled. Whether a button was pressed.
    bool PressEnter();
    bool PressEscape();

    void AddResult(findings::TScanProduct* product);
    // For the checks: the form keeps the finding until the list is emptied.
    void AddResult(std::unique_ptr<findings::TScanProduct> product);
    void RunChecksAndScan();
    void ResultFound(std::unique_ptr<findings::TCleanerScanProduct> ScanProduct, findings::TCategory* Category);
    void ScanProgress(const std::u16string& ProgressText);
    void ScanCompleted();
    // stopOnFailure: the wizard's step ends at the first setting that fails;
    // the unattended fix goes on with the rest and reports each outcome.
    void FixProblems(bool stopOnFailure = true);

    bool MatchesPattern(std::u16string_view text, std::string_view pattern);
    bool IsRundllPath(std::u16string_view text);

    const findings::TListScanProduct* ListProduct() const { return FListProduct.get(); }
    findings::TListScanProduct* ListProduct() { return FListProduct.get(); }
    // What the last fix step did with each finding, and its journal session.
    const std::map<const void*, TRepairOutcome>& LastOutcomes() const { return FLastOutcomes; }
    const std::u16string& LastSession() const { return FLastSession; }
    // Scanners for every later scan run instead of the built-in set (tests).
    scan::TScanManager::TScannerFactory ScannerFactory;

    // ILangForm
    std::u16string LangFormName() const override { return u"MainForm"; }
    std::optional<std::u16string> GetLangProperty(std::u16string_view property) override;
    void SetLangProperty(std::u16string_view property, std::u16string_view value) override;
    ILangComponent* FindLangComponent(std::u16string_view name) override;

    // The components, named as the language controller knows them.
    ui::TWidget *Image1, *Notebook, *Panel1, *Label23, *NextButton, *FinishButton, *CancelButton, *BackButton;
    ui::TWidget *DefaultPage, *ResultsPage, *SuccessPage, *FailedPage;
    ui::TWidget *Label1, *Label8, *Label3, *ScanDescLabel, *ScanningLabel, *ResultsListBox;
    ui::TWidget *Label10, *Label11, *LinkLabel1, *Label12, *Label13, *Label15, *Label4, *LinkLabel2, *Label5;
    ui::TWidget *DetailsLink, *UndoLink, *DetailsPage, *DetailsLabel, *DetailsListBox;
    ui::TWidget *UndoPage, *UndoLabel, *UndoListBox, *UndoResultLabel;

    // Opens the undo page (the program's "-restore" without a session).
    void ShowUndoPage();

private:
    class TComponentLink;

    void BuildWidgets();
    void FormCreate();
    void FormDestroy();
    void NotebookPageChanged();
    void NextButtonClick();
    void BackButtonClick();
    void CancelButtonClick();
    void FinishButtonClick();
    void Label23Click();
    void LinkLabel1Click();
    void ResetButtons();
    void ShowDetails();
    void FillDetails();
    void KeepDetailsChoices();
    void FillUndo();
    void RestoreChecked();
    void ReleaseResults();
    int CompositeIndex() const;

    ui::TApplication& FApplication;
    TSettingChecks FChecks;
    std::unique_ptr<ui::TWidget> FForm;
    std::unique_ptr<findings::TListScanProduct> FListProduct;
    // Setting findings attached to entries; released with the list.
    std::vector<std::unique_ptr<findings::TScanProduct>> FSettingProducts;
    std::optional<scan::TRegex> FRegEx;
    std::vector<std::unique_ptr<TComponentLink>> FLinks;
    std::unique_ptr<i18n::TLanguageController> LanguageController;
    std::map<const void*, TRepairOutcome> FLastOutcomes;
    // Coming back from the details page keeps the results and the scan.
    bool FKeepResults = false;
    bool FScanDone = false;
    std::u16string FNextCaption;
    std::vector<TJournalSession> FUndoSessions;
    std::vector<std::pair<std::size_t, std::size_t>> FUndoRows;  // session, entry
    std::u16string FLastSession;
};

}  // namespace app
