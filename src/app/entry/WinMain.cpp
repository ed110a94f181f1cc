// Entry point of tallowmend.exe (GUI subsystem): hands the wide command line,
// split as the C runtime would split it, to the main routine that both builds
// share.
#include <string>
#include <vector>

#include "app/MainRoutine.h"
#include "platform/os/WinApi.h"
#include "ui/win32/Win32App.h"

#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::vector<std::u16string> args;
    int argc = 0;
    if (wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc)) {
        for (int i = 0; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
        ::LocalFree(argv);
    }
    auto application = ui::CreateWin32Application();
    return app::MainRoutine(args, application.get());
}
