#include "app/MainRoutine.h"

#include "app/AppFolders.h"
#include "app/Logger.h"
#include "app/MainFormUnit.h"
#include "app/ProgramVersion.h"
#include "platform/Wow64.h"

namespace app {

int MainRoutine(const std::vector<std::u16string>& args, ui::TApplication* application) {
    // Before any window or thread: every later registry pass depends on it.
    platform::InitWindows64();
    InitAppFolders();
    InitLogging(u"-debug", args);
    InstallExceptionLogging();
    Log(u"Tallowmend " + std::u16string(kProgramVersion) +
        (platform::IsWindows64() ? u" started on 64-bit Windows" : u" started on 32-bit Windows"));
    if (!application) return 0;
    {
        TMainForm form(*application);
        application->Run(form.Form());
    }
    return 0;
}

}  // namespace app
