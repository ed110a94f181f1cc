#include "i18n/CodePage.h"

namespace i18n {

os::UINT LanguageCodePage(os::LANGID language) {
    char16_t buffer[16] = {};
    int chars = os::GetLocaleInfoW(language, os::LOCALE_IDEFAULTANSICODEPAGE, buffer, 16);
    os::UINT value = 0;
    bool digits = chars > 1;
    for (int i = 0; i + 1 < chars; ++i) {
        if (buffer[i] < u'0' || buffer[i] > u'9' || value > 100000) {
            digits = false;
            break;
        }
        value = value * 10 + static_cast<os::UINT>(buffer[i] - u'0');
    }
    return digits ? value : os::GetACP();
}

std::u16string DecodeAnsi(std::string_view bytes, os::UINT codePage) {
    if (bytes.empty()) return {};
    int size = static_cast<int>(bytes.size());
    int chars = os::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (chars <= 0) return std::u16string(bytes.size(), u'?');
    std::u16string out(static_cast<std::size_t>(chars), u'\0');
    chars = os::MultiByteToWideChar(codePage, 0, bytes.data(), size, out.data(), chars);
    out.resize(chars > 0 ? static_cast<std::size_t>(chars) : 0);
    return out;
}

}  // namespace i18n
