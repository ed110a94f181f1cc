// Printf-like formatting of translatable texts. Placeholders:
//   %[index:][-][width][.precision]type   with type s, d, u or x
//   %%                                     a percent sign
// An index picks the argument and the following placeholders continue after
// it. A placeholder without a matching argument of the right kind raises
// ELangError "Format '%s' invalid or incompatible with argument", so a
// broken translation is reported rather than printed half-filled.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace i18n {

class FormatArg {
public:
    FormatArg(std::u16string_view s) : value_(s) {}
    FormatArg(const std::u16string& s) : value_(std::u16string_view(s)) {}
    FormatArg(const char16_t* s) : value_(std::u16string_view(s)) {}
    template <typename T>
        requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char16_t> &&
                 !std::is_same_v<T, char>)
    FormatArg(T v) : value_(static_cast<std::int64_t>(v)) {}

    const std::u16string_view* Text() const { return std::get_if<std::u16string_view>(&value_); }
    const std::int64_t* Number() const { return std::get_if<std::int64_t>(&value_); }

private:
    std::variant<std::u16string_view, std::int64_t> value_;
};

std::u16string Format(std::u16string_view format, std::span<const FormatArg> args);
inline std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args) {
    return Format(format, std::span<const FormatArg>(args.begin(), args.size()));
}

}  // namespace i18n
