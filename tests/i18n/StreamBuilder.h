// Builds constants streams of every version for the reader's tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace i18n::testing {

class StreamBuilder {
public:
    StreamBuilder& Byte(std::uint8_t b) {
        bytes.push_back(b);
        return *this;
    }
    StreamBuilder& Word(std::uint16_t w) { return Byte(w & 0xFF).Byte(w >> 8); }
    StreamBuilder& Int32(std::int32_t v) {
        auto u = static_cast<std::uint32_t>(v);
        return Word(u & 0xFFFF).Word(u >> 16);
    }
    StreamBuilder& Wide(const std::u16string& s) {
        Word(static_cast<std::uint16_t>(s.size()));
        for (char16_t c : s) Word(c);
        return *this;
    }
    StreamBuilder& Ansi(const std::string& s) {
        Word(static_cast<std::uint16_t>(s.size()));
        for (char c : s) Byte(static_cast<std::uint8_t>(c));
        return *this;
    }

    // A whole table in the given version; Ansi-only versions take the
    // ASCII part of the texts.
    static std::vector<std::uint8_t> Table(int version,
                                           const std::vector<std::pair<std::u16string, std::u16string>>& pairs,
                                           bool autoSave = true) {
        StreamBuilder b;
        if (version < 2) {
            b.Byte(autoSave ? 1 : 0);
        } else {
            b.Byte(static_cast<std::uint8_t>(version)).Byte(autoSave ? 1 : 0);
        }
        b.Int32(static_cast<std::int32_t>(pairs.size()));
        for (const auto& [name, text] : pairs) {
            if (version == 3)
                b.Wide(name);
            else
                b.Ansi(std::string(name.begin(), name.end()));
            if (version >= 2)
                b.Wide(text);
            else
                b.Ansi(std::string(text.begin(), text.end()));
        }
        return b.bytes;
    }

    std::vector<std::uint8_t> bytes;
};

}  // namespace i18n::testing
