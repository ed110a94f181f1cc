// The application object of the headless UI: message boxes are recorded and
// answered by a callback (a test, or the terminal of the Linux command), the
// message loop is a THeadlessLoop serving the scan's deliveries.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/Widgets.h"
#include "ui/headless/HeadlessLoop.h"

namespace ui {

struct TShownMessage {
    std::u16string Text;
    std::u16string Caption;
    TMsgButtons Buttons = TMsgButtons::OK;
    bool Owned = false;
    bool IsError = false;
};

class THeadlessApp : public TApplication {
public:
    // Registers its loop as the UI thread's target.
    THeadlessApp();

    int ShowMessage(const std::u16string& text, const std::u16string& caption, TMsgButtons buttons,
                   bool owned) override;
    void ShowException(const std::u16string& message) override;
    void Terminate() override;
    bool Terminated() const override { return terminated_; }
    void Run(TWidget& form) override;

    THeadlessLoop& Loop() { return loop_; }

    // Answers every message box; without it OK boxes give mrOk and Yes/No
    // boxes give mrNo.
    std::function<int(const TShownMessage&)> Answer;
    // Called for every box as it is shown, before it is answered.
    std::function<void(const TShownMessage&)> OnShow;
    std::vector<TShownMessage> Shown;

private:
    THeadlessLoop loop_;
    bool terminated_ = false;
};

}  // namespace ui
