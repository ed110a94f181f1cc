#pragma once

#include <string>
#include <vector>

namespace app {

// The program's main routine; args[0] is the program path. Returns the
// process exit code.
int MainRoutine(const std::vector<std::u16string>& args);

}  // namespace app
