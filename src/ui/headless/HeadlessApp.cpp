#include "ui/headless/HeadlessApp.h"

namespace ui {

THeadlessApp::THeadlessApp() { loop_.RegisterAsMain(); }

int THeadlessApp::ShowMessage(const std::u16string& text, const std::u16string& caption, TMsgButtons buttons,
                             bool owned) {
    TShownMessage shown{text, caption, buttons, owned, false};
    Shown.push_back(shown);
    if (OnShow) OnShow(shown);
    if (Answer) return Answer(shown);
    return buttons == TMsgButtons::YesNo ? mrNo : mrOk;
}

void THeadlessApp::ShowException(const std::u16string& message) {
    TShownMessage shown{message, {}, TMsgButtons::OK, true, true};
    Shown.push_back(shown);
    if (OnShow) OnShow(shown);
}

void THeadlessApp::Terminate() {
    terminated_ = true;
    loop_.Quit();
}

void THeadlessApp::Run(TWidget&) {
    if (!terminated_) loop_.Run();
}

}  // namespace ui
