// The program's version as the user sees it ("1.2.3"), from the build's one
// version number.
#pragma once

#include "TallowmendVersion.h"

namespace app {

inline constexpr char16_t kProgramVersion[] = u"" TALLOWMEND_VERSION_TEXT;

}  // namespace app
