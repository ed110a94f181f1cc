// Shared by the wizard tests: the form over the headless toolkit, fake
// scanners that report tagged findings (optionally waiting at a gate), and
// setting findings that record when they are solved.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/MainFormUnit.h"
#include "platform/Text.h"
#include "runtime/LogTestSupport.h"
#include "scan/Scanners.h"
#include "ui/headless/HeadlessApp.h"

namespace apptest {

// What was solved, in order, by every fake finding.
inline std::vector<std::u16string>& SolvedLog() {
    static std::vector<std::u16string> log;
    return log;
}

class TagFinding : public findings::TCleanerScanProduct {
public:
    explicit TagFinding(std::u16string tag) : TCleanerScanProduct(std::move(tag), platform::RegView::Current()) {}
    void Solve(backups::TBackupsManager*) override { SolvedLog().push_back(FReason); }
    std::u16string GetDescription() const override { return u"finding " + FReason; }
};

class SettingFinding : public findings::TScanProduct {
public:
    explicit SettingFinding(std::u16string name, bool fails = false) : name_(std::move(name)), fails_(fails) {}
    void Solve() override {
        SolvedLog().push_back(name_);
        if (fails_) throw std::runtime_error("cannot solve " + text::ToUtf8(name_));
    }
    bool Backup(backups::TBackupsManager&) override { return true; }
    std::u16string GetBackupDescription() const override { return {}; }
    std::u16string GetDescription() const override { return u"setting " + name_; }
    std::u16string GetType() const override { return {}; }
    int GetIcon() const override { return 0; }

private:
    std::u16string name_;
    bool fails_;
};

class Gate {
public:
    void Open() {
        std::lock_guard<std::mutex> lock(m_);
        open_ = true;
        cv_.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, std::chrono::seconds(20), [this] { return open_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

// Reports its tags, each after `gate` opened when one is given.
class TagScanner : public scan::TScanner {
public:
    TagScanner(std::vector<std::u16string> tags, std::shared_ptr<Gate> gate)
        : tags_(std::move(tags)), gate_(std::move(gate)) {}
    void Scan() override {
        for (const auto& tag : tags_) {
            if (gate_) gate_->Wait();
            ResultFound(std::make_unique<TagFinding>(tag));
        }
    }

private:
    std::vector<std::u16string> tags_;
    std::shared_ptr<Gate> gate_;
};

class WizardTest : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        SolvedLog().clear();
        app = std::make_unique<ui::THeadlessApp>();
        app->Answer = [this](const ui::TShownMessage& m) {
            return m.Buttons == ui::TMsgButtons::YesNo ? answer : ui::mrOk;
        };
    }
    void TearDown() override {
        // Scans still running hand their events to the loop; serve them so
        // the workers end before the form goes.
        if (form) app->Loop().RunUntil([] { return false; }, std::chrono::milliseconds(50));
        form.reset();
        app.reset();
        LogTest::TearDown();
    }

    // The form with these setting findings and scanner tags for every scan.
    void Make(std::vector<std::u16string> settings, std::vector<std::u16string> tags,
              std::shared_ptr<Gate> gate = nullptr) {
        form = std::make_unique<app::TMainForm>(*app, [settings](app::TMainForm& f) {
            for (const auto& s : settings) f.AddResult(std::make_unique<SettingFinding>(s, s == u"fails"));
        });
        form->ScannerFactory = [tags, gate] {
            std::vector<std::unique_ptr<scan::TScanner>> list;
            list.push_back(std::make_unique<TagScanner>(tags, gate));
            return list;
        };
    }

    // Serves the loop until the scan run's completion was handled.
    void WaitForScan() {
        ASSERT_TRUE(app->Loop().RunUntil(
            [this] { return form->ScanningLabel->Caption() == u"Scan completed"; }, std::chrono::seconds(20)));
    }

    // Welcome page, Next, wait for the scan.
    void ToResults() {
        ASSERT_TRUE(form->NextButton->Click());
        WaitForScan();
    }

    std::vector<std::u16string> Entries() const {
        std::vector<std::u16string> out;
        for (int i = 0; i < form->ResultsListBox->Count(); ++i)
            out.push_back((form->ResultsListBox->Item(i).Checked ? u"[x] " : u"[ ] ") +
                          form->ResultsListBox->Item(i).Text);
        return out;
    }

    // Which of Back, Next, Finish, Cancel are showing ("-" when disabled).
    std::string Buttons() const {
        std::string s;
        auto add = [&](ui::TWidget* b, const char* name) {
            if (!b->Showing()) return;
            if (!s.empty()) s += ' ';
            s += b->Enabled() ? name : std::string("-") + name;
        };
        add(form->BackButton, "Back");
        add(form->NextButton, "Next");
        add(form->FinishButton, "Finish");
        add(form->CancelButton, "Cancel");
        return s;
    }

    std::unique_ptr<ui::THeadlessApp> app;
    std::unique_ptr<app::TMainForm> form;
    int answer = ui::mrNo;
};

}  // namespace apptest
