// ANSI code pages as the language layer needs them.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/os/WinApi.h"

namespace i18n {

// Default ANSI code page of a language (LOCALE_IDEFAULTANSICODEPAGE as a
// decimal number); the system's ANSI code page when the locale gives none.
os::UINT LanguageCodePage(os::LANGID language);

}  // namespace i18n
