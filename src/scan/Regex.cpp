#include "scan/Regex.h"

#include <pcre2.h>

#include <memory>

#include "platform/os/WinApi.h"

namespace scan {

namespace {

struct MatchDataDeleter {
    void operator()(pcre2_match_data* m) const { pcre2_match_data_free(m); }
};

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

int ToAnsi(const char16_t* units, int count, char* out, int outBytes) {
    return os::WideCharToMultiByte(os::CP_ACP, 0, units, count, out, outBytes, nullptr, nullptr);
}

}  // namespace

TAnsiText::TAnsiText(std::u16string_view text) : length_(text.size()) {
    if (text.empty()) return;
    bool surrogates = false;
    for (char16_t c : text) surrogates = surrogates || IsSurrogate(c);
    int size = static_cast<int>(text.size());
    if (!surrogates) {
        // Tried straight into a buffer of one byte per unit: it fits
        // exactly when every character took one byte (a single-byte code
        // page, or no wide characters), and then positions agree.
        bytes_.resize(text.size());
        if (ToAnsi(text.data(), size, bytes_.data(), size) == size) return;
        bytes_.clear();
    }
    // Character by character, so each byte knows its character.
    units_.reserve(text.size() * 2 + 1);
    for (std::size_t i = 0; i < text.size();) {
        int count = (IsSurrogate(text[i]) && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                     text[i + 1] <= 0xDFFF)
                        ? 2
                        : 1;
        char buffer[16];
        int got = ToAnsi(text.data() + i, count, buffer, sizeof buffer);
        if (got <= 0) buffer[0] = '?', got = 1;
        for (int b = 0; b < got; ++b) {
            char byte = buffer[b];
            if (b > 0 && static_cast<unsigned char>(byte) < 0x80) byte = static_cast<char>(0xFF);
            bytes_.push_back(byte);
            units_.push_back(i);
        }
        i += static_cast<std::size_t>(count);
    }
}

std::size_t TAnsiText::ToUnits(std::size_t offset) const {
    if (units_.empty()) return offset < length_ ? offset : length_;
    return offset < units_.size() ? units_[offset] : length_;
}

struct TRegex::Impl {
    pcre2_code* code = nullptr;
    bool jit = false;
    std::size_t groups = 0;  // capturing groups, without the whole match
    ~Impl() { pcre2_code_free(code); }
};

TRegex::TRegex(std::string_view pattern, unsigned options) : impl_(new Impl) {
    std::unique_ptr<Impl> guard(impl_);
    uint32_t flags = 0;
    if (options & Caseless) flags |= PCRE2_CASELESS;
    if (options & Multiline) flags |= PCRE2_MULTILINE;
    int error = 0;
    PCRE2_SIZE offset = 0;
    impl_->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags, &error, &offset,
                                nullptr);
    if (!impl_->code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(error, message, sizeof message);
        throw ERegexError("Error in regular expression at offset " + std::to_string(offset) + ": " +
                          reinterpret_cast<const char*>(message));
    }
    // JIT answers exactly as the interpreter does; where the platform has
    // none the interpreter serves.
    impl_->jit = pcre2_jit_compile(impl_->code, PCRE2_JIT_COMPLETE) == 0;
    uint32_t count = 0;
    pcre2_pattern_info(impl_->code, PCRE2_INFO_CAPTURECOUNT, &count);
    impl_->groups = count;
    guard.release();
}

TRegex::~TRegex() { delete impl_; }

TRegex::TRegex(TRegex&& other) noexcept : impl_(other.impl_) { other.impl_ = nullptr; }

TRegex& TRegex::operator=(TRegex&& other) noexcept {
    if (this != &other) {
        delete impl_;
        impl_ = other.impl_;
        other.impl_ = nullptr;
    }
    return *this;
}

std::size_t TRegex::GroupCount() const { return impl_->groups; }

std::optional<TRegexMatch> TRegex::Match(std::string_view subject) const {
    // A block of its own per match: one kept per thread needs a destructor
    // at thread exit, and the i686 build crashed there under Wine.
    std::unique_ptr<pcre2_match_data, MatchDataDeleter> block(
        pcre2_match_data_create_from_pattern(impl_->code, nullptr));
    if (!block) throw ERegexError("Out of memory for a regular expression match");
    pcre2_match_data* data = block.get();
    const std::size_t groups = impl_->groups + 1;
    auto run = [&](uint32_t flags) {
        return pcre2_match(impl_->code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, flags, data,
                           nullptr);
    };
    int rc = run(0);
    // The JIT's own stack is small; the interpreter gives the same answer.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) rc = run(PCRE2_NO_JIT);
    if (rc == PCRE2_ERROR_NOMATCH) return std::nullopt;
    if (rc < 0) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(rc, message, sizeof message);
        throw ERegexError(std::string("Regular expression match failed: ") + reinterpret_cast<const char*>(message));
    }
    uint32_t pairs = pcre2_get_ovector_count(data);
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    TRegexMatch match;
    match.Groups.reserve(groups);
    for (std::size_t g = 0; g < groups; ++g) {
        if (g < static_cast<std::size_t>(rc) && g < pairs && ovector[2 * g] != PCRE2_UNSET)
            match.Groups.emplace_back(ovector[2 * g], ovector[2 * g + 1]);
        else
            match.Groups.emplace_back(TRegexMatch::npos, TRegexMatch::npos);
    }
    return match;
}

std::optional<TRegexMatch> TRegex::MatchAnsi(const TAnsiText& ansi) const {
    auto match = Match(ansi.Bytes());
    if (!match) return match;
    for (auto& [start, end] : match->Groups) {
        if (start == TRegexMatch::npos) continue;
        start = ansi.ToUnits(start);
        end = ansi.ToUnits(end);
    }
    return match;
}

std::optional<TRegexMatch> TRegex::MatchAnsi(std::u16string_view text) const { return MatchAnsi(TAnsiText(text)); }

}  // namespace scan
