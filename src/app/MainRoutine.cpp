#include "app/MainRoutine.h"

#include "app/MainFormUnit.h"
#include "app/ProgramVersion.h"
#include "platform/Wow64.h"
#include "runtime/AppFolders.h"
#include "runtime/Logger.h"

namespace app {

int MainRoutine(const std::vector<std::u16string>& args, ui::TApplication* application, const TUnattendedIO& io) {
    // Before any window or thread: every later registry pass depends on it.
    platform::InitWindows64();
    runtime::InitAppFolders();
    runtime::InitLogging(u"-debug", args);
    runtime::InstallExceptionLogging();
    runtime::Log(u"Tallowmend " + std::u16string(kProgramVersion) +
        (platform::IsWindows64() ? u" started on 64-bit Windows" : u" started on 32-bit Windows"));
    TUnattendedOptions options;
    std::u16string error;
    if (!ParseUnattendedArgs(args, options, error)) {
        if (io.Print) io.Print(error);
        runtime::Log(error);
        return kExitError;
    }
    bool unattended = options.Mode != TUnattendedOptions::None;
    if (!application && !unattended) return 0;
    // Two runs at once would repair and journal over each other.
    TInstanceLock lock;
    if (!lock.Held()) {
        if (io.Print) io.Print(u"Tallowmend is already running");
        return kExitAlreadyRunning;
    }
    if (unattended) return RunUnattended(options, io);
    {
        TMainForm form(*application);
        if (options.OpenUndoPage) form.ShowUndoPage();
        application->Run(form.Form());
    }
    return 0;
}

}  // namespace app
