#include "platform/TextCodec.h"

#include <climits>

#include "platform/Text.h"

namespace text {

TextEncoding DetectEncoding(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return TextEncoding::Utf8Bom;
    if (bytes.substr(0, 2) == "\xFF\xFE") return TextEncoding::Utf16LeBom;
    if (bytes.substr(0, 2) == "\xFE\xFF") return TextEncoding::Utf16BeBom;
    return TextEncoding::Ansi;
}

std::size_t BomLength(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8Bom: return 3;
        case TextEncoding::Utf16LeBom:
        case TextEncoding::Utf16BeBom: return 2;
        case TextEncoding::Ansi: break;
    }
    return 0;
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned first = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
        out.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : first | (second << 8)));
    }
    return out;
}

std::u16string DecodeAnsi(std::string_view bytes, os::UINT codePage) {
    if (bytes.empty()) return {};
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::u16string(bytes.size(), u'?');
    int size = static_cast<int>(bytes.size());
    int chars = os::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (chars <= 0) return std::u16string(bytes.size(), u'?');
    std::u16string out(static_cast<std::size_t>(chars), u'\0');
    chars = os::MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), chars);
    out.resize(chars > 0 ? static_cast<std::size_t>(chars) : 0);
    return out;
}

DecodedText DecodeText(std::string_view bytes, os::UINT codePage) {
    DecodedText out;
    out.encoding = DetectEncoding(bytes);
    auto body = bytes.substr(BomLength(out.encoding));
    switch (out.encoding) {
        case TextEncoding::Utf8Bom: out.text = FromUtf8(body); break;
        case TextEncoding::Utf16LeBom:
        case TextEncoding::Utf16BeBom:
            out.text = DecodeUtf16(body, out.encoding == TextEncoding::Utf16BeBom);
            out.oddByteCount = body.size() % 2 != 0;
            break;
        case TextEncoding::Ansi: out.text = DecodeAnsi(body, codePage); break;
    }
    return out;
}

std::string EncodeUtf16(std::u16string_view text, bool bigEndian, bool withBom) {
    std::string out;
    out.reserve(2 + text.size() * 2);
    auto put = [&](char16_t c) {
        auto lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out.push_back(bigEndian ? hi : lo);
        out.push_back(bigEndian ? lo : hi);
    };
    if (withBom) put(u'\uFEFF');
    for (char16_t c : text) put(c);
    return out;
}

}  // namespace text
