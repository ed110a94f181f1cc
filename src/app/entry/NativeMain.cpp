// Entry point of the native build: the same main routine over the emulated
// machine. Arguments are taken as UTF-8.
#include <string>
#include <vector>

#include "app/MainRoutine.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(text::FromUtf8(argv[i]));
    return app::MainRoutine(args);
}
