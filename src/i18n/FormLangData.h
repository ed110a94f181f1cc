// The main form's stored LangData (its translatable component tree),
// generated at build time from resources/form_langdata.txt.
#pragma once

#include <cstdint>
#include <span>

namespace i18n {

std::span<const std::uint8_t> MainFormLangData();

}  // namespace i18n
