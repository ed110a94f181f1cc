// Errors of the localisation layer. The message is system text (UTF-16);
// what() carries the same text as UTF-8 for logs and test output.
#pragma once

#include <stdexcept>
#include <string>

namespace i18n {

class ELangError : public std::runtime_error {
public:
    explicit ELangError(std::u16string message);
    const std::u16string& Message() const noexcept { return message_; }

private:
    std::u16string message_;
};

}  // namespace i18n
