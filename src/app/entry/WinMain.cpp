// Entry point of tallowmend.exe: hands the wide command line to the main
// routine, which is the same in both builds.
#include <string>
#include <vector>

#include "app/MainRoutine.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i)
        args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return app::MainRoutine(args);
}
