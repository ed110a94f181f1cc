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

}  // namespace i18n
