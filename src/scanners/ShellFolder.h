// A shell folder as the scanners use it as a prefix for relative names.
#pragma once

#include <string>

namespace scanners {

// The folder without a trailing delimiter; empty when the shell cannot give it.
std::u16string ShellFolderPath(int csidl);

}  // namespace scanners
