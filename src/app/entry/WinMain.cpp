// Entry point of tallowmend.exe (GUI subsystem): hands the wide command line,
// split as the C runtime would split it, to the main routine that both builds
// share. Without a window (-scan, -fix, -restore SESSION, -list) it prints
// its summary to the console it was started from, if any.
#include <string>
#include <vector>

#include "app/MainRoutine.h"
#include "platform/Text.h"
#include "platform/os/WinApi.h"
#include "ui/win32/Win32App.h"

#include <windows.h>
#include <shellapi.h>

namespace {

void PrintLine(const std::u16string& line) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    std::u16string text = line + u"\r\n";
    DWORD mode = 0, done = 0;
    if (::GetConsoleMode(out, &mode)) {
        ::WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &done, nullptr);
    } else {
        // Redirected into a file or a pipe.
        std::string bytes = text::ToUtf8(text);
        ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::vector<std::u16string> args;
    int argc = 0;
    if (wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc)) {
        for (int i = 0; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
        ::LocalFree(argv);
    }
    app::TUnattendedIO io;
    app::TUnattendedOptions options;
    std::u16string error;
    if (!app::ParseUnattendedArgs(args, options, error) || options.Mode != app::TUnattendedOptions::None) {
        // A handle given by whoever started the program (a redirection) wins
        // over the console of the parent.
        HANDLE given = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (given == nullptr || given == INVALID_HANDLE_VALUE) ::AttachConsole(ATTACH_PARENT_PROCESS);
        io.Print = PrintLine;
        return app::MainRoutine(args, nullptr, io);
    }
    auto application = ui::CreateWin32Application();
    return app::MainRoutine(args, application.get(), io);
}
