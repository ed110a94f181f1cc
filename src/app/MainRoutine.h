#pragma once

#include <string>
#include <vector>

#include "app/Unattended.h"

namespace ui {
class TApplication;
}

namespace app {

// The program's main routine; args[0] is the program path. With an
// application it then creates the wizard window and serves its messages
// until the application terminates; without one it stops after start-up
// (tests of the start-up steps). Returns the process exit code.
// With -scan, -fix, -restore SESSION or -list it runs without a window
// (app/Unattended.h) through `io`, whatever `application` is.
int MainRoutine(const std::vector<std::u16string>& args, ui::TApplication* application = nullptr,
                const TUnattendedIO& io = {});

}  // namespace app
