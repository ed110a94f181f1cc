// Compiled PCRE2 expressions (8-bit, built-in character tables), and
// matching of UTF-16 system text the way the program's expressions see it:
// converted to the ANSI code page, with match positions mapped back.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace scan {

class ERegexError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A match: group 0 is the whole match. Positions are offsets into the
// subject (bytes for Match, UTF-16 units for MatchAnsi); npos marks a
// group that did not take part.
struct TRegexMatch {
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::vector<std::pair<std::size_t, std::size_t>> Groups;

    bool Has(std::size_t group) const { return group < Groups.size() && Groups[group].first != npos; }
    std::size_t Start(std::size_t group) const { return Groups.at(group).first; }
    std::size_t End(std::size_t group) const { return Groups.at(group).second; }
    std::size_t Length(std::size_t group) const { return Has(group) ? End(group) - Start(group) : 0; }
    template <typename Char>
    std::basic_string_view<Char> Text(std::basic_string_view<Char> subject, std::size_t group) const {
        return Has(group) ? subject.substr(Start(group), End(group) - Start(group)) : std::basic_string_view<Char>();
    }
};

// System text in the ANSI code page, as the expressions see it, with a map
// back to UTF-16 positions. A character the code page lacks becomes "?"
// (or the system's close equivalent). In a two-byte character the trail
// byte is hidden from the expressions when it falls in the ASCII range, so
// it never acts as a delimiter such as "|" or "\": every match starts and
// ends on a whole character.
class TAnsiText {
public:
    explicit TAnsiText(std::u16string_view text);

    const std::string& Bytes() const { return bytes_; }
    // UTF-16 position of the character that holds byte `offset`; the text's
    // length for the end offset.
    std::size_t ToUnits(std::size_t offset) const;

private:
    std::string bytes_;
    std::vector<std::size_t> units_;  // empty: one byte per unit
    std::size_t length_ = 0;
};

class TRegex {
public:
    enum Options : unsigned { None = 0, Caseless = 1, Multiline = 2 };

    // Compiles once; ERegexError names the pattern's fault and its offset.
    TRegex(std::string_view pattern, unsigned options);
    ~TRegex();
    TRegex(TRegex&& other) noexcept;
    TRegex& operator=(TRegex&& other) noexcept;
    TRegex(const TRegex&) = delete;
    TRegex& operator=(const TRegex&) = delete;

    // First match searching from the subject's first byte. A compiled
    // expression holds no match state, so one TRegex may serve several
    // threads. ERegexError when the engine gives up (resource limits).
    std::optional<TRegexMatch> Match(std::string_view subject) const;
    // The same over system text seen in the ANSI code page; positions in
    // UTF-16 units of `text`.
    std::optional<TRegexMatch> MatchAnsi(std::u16string_view text) const;
    std::optional<TRegexMatch> MatchAnsi(const TAnsiText& ansi) const;

    std::size_t GroupCount() const;

private:
    struct Impl;
    Impl* impl_;
};

}  // namespace scan
