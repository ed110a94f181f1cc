// Bounds-checked little-endian reader over stored binary data (constants
// streams, form layouts): running off the end raises ELangError
// "Stream read error" instead of reading past the buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "i18n/LangError.h"

namespace i18n {

class StreamReader {
public:
    explicit StreamReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::uint8_t Byte() {
        Need(1);
        return data_[pos_++];
    }
    std::uint16_t Word() {
        Need(2);
        auto v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::int32_t Int32() {
        Need(4);
        std::uint32_t v = static_cast<std::uint32_t>(data_[pos_]) | (static_cast<std::uint32_t>(data_[pos_ + 1]) << 8) |
                          (static_cast<std::uint32_t>(data_[pos_ + 2]) << 16) |
                          (static_cast<std::uint32_t>(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return static_cast<std::int32_t>(v);
    }
    std::string_view Bytes(std::size_t n) {
        Need(n);
        std::string_view v(reinterpret_cast<const char*>(data_.data() + pos_), n);
        pos_ += n;
        return v;
    }
    // 16-bit count of UTF-16 units, then the units.
    std::u16string Wide() {
        std::size_t units = Word();
        std::string_view raw = Bytes(units * 2);
        std::u16string out(units, u'\0');
        for (std::size_t i = 0; i < units; ++i)
            out[i] = static_cast<char16_t>(static_cast<std::uint8_t>(raw[2 * i]) |
                                           (static_cast<std::uint8_t>(raw[2 * i + 1]) << 8));
        return out;
    }
    std::size_t Remaining() const { return data_.size() - pos_; }

private:
    void Need(std::size_t n) const {
        if (n > data_.size() - pos_) throw ELangError(u"Stream read error");
    }

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

}  // namespace i18n
