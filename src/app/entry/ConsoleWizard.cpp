#include "app/entry/ConsoleWizard.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>

#include "app/MainFormUnit.h"
#include "platform/Text.h"

namespace entry {
namespace {

using app::TMainForm;

// The answers that press a button or a link.
const std::map<std::string, const char16_t*> kKeys = {
    {"n", u"NextButton"},   {"r", u"NextButton"}, {"b", u"BackButton"},  {"c", u"CancelButton"},
    {"f", u"FinishButton"}, {"s", u"Label23"},    {"d", u"DetailsLink"}, {"u", u"UndoLink"},
};

std::string U8(const std::u16string& s) { return text::ToUtf8(s); }

}  // namespace

TConsoleApp::TConsoleApp(bool automatic, bool details) : automatic_(automatic), details_(details) {
    OnShow = [](const ui::TShownMessage& m) {
        std::printf("\n  +-- %s\n  | %s\n  +-- %s\n", m.IsError ? "Error" : U8(m.Caption).c_str(), U8(m.Text).c_str(),
                    m.Buttons == ui::TMsgButtons::YesNo ? "[Yes] [No]" : "[OK]");
    };
    Answer = [this](const ui::TShownMessage& m) {
        if (m.Buttons != ui::TMsgButtons::YesNo) return int(ui::mrOk);
        if (automatic_) return int(ui::mrNo);
        std::string line = Prompt("  Yes or No? [y/n] ");
        return int(!line.empty() && (line[0] == 'y' || line[0] == 'Y') ? ui::mrYes : ui::mrNo);
    };
}

void TConsoleApp::Run(ui::TWidget& form) {
    form_ = &form;
    notebook_ = form.Find(u"Notebook");
    scanning_ = form.Find(u"ScanningLabel");
    PrintPage();
    if (automatic_) {
        if (Page() == TMainForm::pgUndo) {
            Press(u"NextButton");  // Restore: the newest repair is checked
            Terminate();
            return;
        }
        Press(u"NextButton");
        if (details_ && Page() == TMainForm::pgResults && form_->Find(u"DetailsLink")->Enabled()) {
            Press(u"DetailsLink");
            Press(u"BackButton");
        }
        if (Page() == TMainForm::pgResults) Press(u"NextButton");
        // The step failed once: it runs again on what is left.
        if (Page() == TMainForm::pgResults) Press(u"NextButton");
        Press(u"FinishButton");
        return;
    }
    while (!Terminated()) {
        std::string line = Prompt("\n> ");
        if (!std::cin) break;
        if (auto key = kKeys.find(line); key != kKeys.end())
            Press(key->second);
        else if (!line.empty() && line[0] == 't')
            Toggle(std::atoi(line.c_str() + 1));
        else if (line == "q")
            Terminate();
        else
            std::printf(
                "  n Next, b Back, c Cancel, f Finish, t N toggle entry N, d Details (results), "
                "u Undo (welcome), r Restore (undo), s Contact Support, q quit\n");
    }
}

int TConsoleApp::Page() const { return notebook_->ActivePage(); }

ui::TWidget* TConsoleApp::PageList() const {
    for (const auto& w : notebook_->Children()[static_cast<std::size_t>(Page())]->Children())
        if (w->Kind() == ui::TWidgetKind::CheckList) return w.get();
    return nullptr;
}

std::string TConsoleApp::Prompt(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    return line;
}

void TConsoleApp::Press(const char16_t* name) {
    if (Terminated()) return;
    ui::TWidget* button = form_->Find(name);
    if (!button || !button->Showing() || !button->Enabled()) {
        std::printf("  (%s is not available here)\n", U8(name).c_str());
        return;
    }
    std::printf("\n>> %s\n", U8(button->Caption()).c_str());
    ui::SafeCall(*this, [button] { button->Click(); });
    Settle();
}

void TConsoleApp::Toggle(int number) {
    ui::TWidget* list = PageList();
    if (!list || number < 1 || number > list->Count()) {
        std::printf("  no entry %d\n", number);
        return;
    }
    list->SetChecked(number - 1, !list->Item(number - 1).Checked);
    PrintList(*list);
}

// Serves the scan's deliveries while the Results page waits for them,
// printing the scanning label as it changes; then shows the page.
void TConsoleApp::Settle() {
    if (Terminated()) return;
    if (Page() == TMainForm::pgResults && !form_->Find(u"NextButton")->Enabled()) {
        PrintPage();
        std::u16string last = scanning_->Caption();
        Loop().RunUntil(
            [&] {
                if (scanning_->Caption() != last) {
                    last = scanning_->Caption();
                    std::printf("  %s\n", U8(last).c_str());
                }
                return Terminated() || Page() != TMainForm::pgResults || form_->Find(u"NextButton")->Enabled();
            },
            std::chrono::hours(24));
        PrintPage();
        if (details_ && !automatic_ && Page() == TMainForm::pgResults && form_->Find(u"DetailsLink")->Enabled())
            Press(u"DetailsLink");
        return;
    }
    Loop().ProcessMessages();
    PrintPage();
}

void TConsoleApp::PrintPage() {
    ui::TWidget& page = *notebook_->Children()[static_cast<std::size_t>(Page())];
    std::printf("\n==== %s: %s ====\n", U8(form_->Caption()).c_str(), U8(page.Name()).c_str());
    for (const auto& w : page.Children()) {
        if (!w->Showing() || w->Caption().empty()) continue;
        bool link = w->Kind() == ui::TWidgetKind::LinkLabel || w->OnClick;
        if (w->Kind() == ui::TWidgetKind::Label || link)
            std::printf(link ? "  <%s>%s\n" : "  %s%s\n", U8(w->Caption()).c_str(),
                        link && w->OnClick && !w->Enabled() ? " (not yet)" : "");
    }
    if (auto* list = PageList()) PrintList(*list);
    PrintButtons();
}

void TConsoleApp::PrintList(const ui::TWidget& list) {
    std::printf("  %s:\n", U8(list.Name()).c_str());
    if (list.Count() == 0) std::printf("    (empty)\n");
    for (int i = 0; i < list.Count(); ++i)
        std::printf("    %d. [%c] %s\n", i + 1, list.Item(i).Checked ? 'x' : ' ', U8(list.Item(i).Text).c_str());
}

void TConsoleApp::PrintButtons() {
    std::string line = "  " + U8(form_->Find(u"Label23")->Caption());
    for (const char16_t* name : {u"BackButton", u"NextButton", u"FinishButton", u"CancelButton"}) {
        ui::TWidget* b = form_->Find(name);
        if (!b->Showing()) continue;
        line += "   [" + U8(b->Caption()) + "]" + (b->Enabled() ? "" : " (disabled)");
    }
    std::printf("%s\n", line.c_str());
}

}  // namespace entry
