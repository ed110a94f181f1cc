// The wizard seen through a terminal: each page printed as it shows, the
// user's answers read from standard input (or given on the user's behalf
// with --auto).
#pragma once

#include <string>

#include "ui/headless/HeadlessApp.h"

namespace entry {

class TConsoleApp : public ui::THeadlessApp {
public:
    // `automatic`: Next through the scan and the repair, then Finish (on
    // the undo page: Restore). `details`: the list behind "Registry
    // problems" opens once the scan is done.
    TConsoleApp(bool automatic, bool details);

    void Run(ui::TWidget& form) override;

private:
    int Page() const;
    // The check list of the page on show, if it has one.
    ui::TWidget* PageList() const;
    static std::string Prompt(const char* text);
    void Press(const char16_t* name);
    void Toggle(int number);
    void Settle();
    void PrintPage();
    static void PrintList(const ui::TWidget& list);
    void PrintButtons();

    bool automatic_, details_;
    ui::TWidget* form_ = nullptr;
    ui::TWidget* notebook_ = nullptr;
    ui::TWidget* scanning_ = nullptr;
};

}  // namespace entry
