#include "i18n/LangError.h"

#include "platform/Text.h"

namespace i18n {

ELangError::ELangError(std::u16string message)
    : std::runtime_error(text::ToUtf8(message)), message_(std::move(message)) {}

}  // namespace i18n
