#include "findings/CleanerScanProduct.h"

#include <string>

#include "platform/Text.h"
#include "platform/Wow64.h"

namespace findings {
namespace {

std::u16string LocaleText(os::LCTYPE type, const char16_t* fallback) {
    char16_t buffer[128] = {};
    int got = os::GetLocaleInfoW(os::LOCALE_USER_DEFAULT, type, buffer, 128);
    if (got <= 1) return fallback;
    return std::u16string(buffer, static_cast<std::size_t>(got - 1));
}

std::u16string Padded(unsigned value, std::size_t width) {
    auto digits = text::FromAscii(std::to_string(value));
    if (digits.size() < width) digits.insert(0, width - digits.size(), u'0');
    return digits;
}

// Expands a locale picture ("M/d/yyyy", "h:mm:ss tt") the way the system
// does for the numeric forms; quoted parts are copied literally.
std::u16string FormatPicture(const std::u16string& picture, const os::SYSTEMTIME& t) {
    std::u16string out;
    for (std::size_t i = 0; i < picture.size();) {
        char16_t c = picture[i];
        if (c == u'\'') {
            auto end = picture.find(u'\'', i + 1);
            if (end == std::u16string::npos) end = picture.size();
            out += picture.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) ++run;
        switch (c) {
            case u'd': out += Padded(t.wDay, run >= 2 ? 2 : 1); break;
            case u'M': out += Padded(t.wMonth, run >= 2 ? 2 : 1); break;
            case u'y':
                out += run >= 3 ? Padded(t.wYear, 4) : Padded(t.wYear % 100u, run >= 2 ? 2 : 1);
                break;
            case u'h': out += Padded(t.wHour % 12u == 0 ? 12u : t.wHour % 12u, run >= 2 ? 2 : 1); break;
            case u'H': out += Padded(t.wHour, run >= 2 ? 2 : 1); break;
            case u'm': out += Padded(t.wMinute, run >= 2 ? 2 : 1); break;
            case u's': out += Padded(t.wSecond, run >= 2 ? 2 : 1); break;
            case u't': out += std::u16string(t.wHour < 12 ? u"AM" : u"PM").substr(0, run >= 2 ? 2 : 1); break;
            default: out.append(run, c); break;
        }
        i += run;
    }
    return out;
}

}  // namespace

void TCleanerScanProduct::NameClassesKeyByPlace(os::HKEY& root, std::u16string& key, platform::RegView view) {
    if (root != os::HKEY_CLASSES_ROOT || key.empty()) return;
    // The 32-bit view keeps these of the user's classes below Wow6432Node,
    // where HKEY_CURRENT_USER\Software\Classes names them only on some
    // Windows versions: they keep the name they were found by.
    if (platform::IsWindows64() && !(view.bits & os::KEY_WOW64_64KEY)) {
        auto first = key.substr(0, key.find(u'\\'));
        for (const char16_t* redirected : {u"CLSID", u"DirectShow", u"Interface", u"Media Type", u"MediaFoundation"})
            if (text::EqualNoCase(first, redirected)) return;
    }
    std::u16string place = u"Software\\Classes\\" + key;
    if (!platform::RegistryKeyExists(os::HKEY_CURRENT_USER, place, view)) return;
    root = os::HKEY_CURRENT_USER;
    key = std::move(place);
}

std::u16string TCleanerScanProduct::BackupTimeText() {
    os::SYSTEMTIME now{};
    os::GetLocalTime(&now);
    return FormatPicture(LocaleText(os::LOCALE_SSHORTDATE, u"M/d/yyyy"), now) + u" " +
           FormatPicture(LocaleText(os::LOCALE_STIMEFORMAT, u"h:mm:ss tt"), now);
}

}  // namespace findings
