// Boundary casts between the seam's types and <windows.h>'s. wchar_t and
// char16_t are both 16-bit UTF-16 units on Windows; the build passes
// -fno-strict-aliasing, so reading one as the other is well defined here.
#pragma once

#include "platform/os/WinApi.h"

#include <windows.h>

namespace os::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* W(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }

}  // namespace os::win32
