// Locale information and system message texts (US English, as Windows 7
// words them).
#include <atomic>
#include <string>

#include "platform/emul/SystemInternal.h"

namespace emul {
namespace {

constexpr os::DWORD kInvalidFlags = 1004;
constexpr os::DWORD kMessageNotFound = 317;
constexpr os::LCTYPE kNoUserOverride = 0x80000000;
constexpr os::DWORD kAllocateBuffer = 0x100;

std::atomic<char16_t> g_dateSeparator{u'/'};
std::atomic<char16_t> g_timeSeparator{u':'};
std::atomic<os::LANGID> g_uiLanguage{1033};

struct Message {
    os::DWORD id;
    std::u16string_view text;
};

constexpr Message kMessages[] = {
    {0, u"The operation completed successfully."},
    {1, u"Incorrect function."},
    {2, u"The system cannot find the file specified."},
    {3, u"The system cannot find the path specified."},
    {5, u"Access is denied."},
    {6, u"The handle is invalid."},
    {8, u"Not enough storage is available to process this command."},
    {17, u"The system cannot move the file to a different disk drive."},
    {18, u"There are no more files."},
    {21, u"The device is not ready."},
    {31, u"A device attached to the system is not functioning."},
    {32, u"The process cannot access the file because it is being used by another process."},
    {53, u"The network path was not found."},
    {67, u"The network name cannot be found."},
    {80, u"The file exists."},
    {87, u"The parameter is incorrect."},
    {112, u"There is not enough space on the disk."},
    {120, u"This function is not supported on this system."},
    {122, u"The data area passed to a system call is too small."},
    {123, u"The filename, directory name, or volume label syntax is incorrect."},
    {126, u"The specified module could not be found."},
    {127, u"The specified procedure could not be found."},
    {145, u"The directory is not empty."},
    {183, u"Cannot create a file when that file already exists."},
    {234, u"More data is available."},
    {259, u"No more data is available."},
    {267, u"The directory name is invalid."},
    {1004, u"Invalid flags."},
    {1010, u"The configuration registry key is invalid."},
    {1011, u"The configuration registry key could not be opened."},
    {1012, u"The configuration registry key could not be read."},
    {1013, u"The configuration registry key could not be written."},
    {1016, u"An I/O operation initiated by the registry failed unrecoverably. The registry could not read in, "
           u"or write out, or flush, one of the files that contain the system's image of the registry."},
    {1018, u"Illegal operation attempted on a registry key that has been marked for deletion."},
    {1113, u"No mapping for the Unicode character exists in the target multi-byte code page."},
    {1300, u"Not all privileges or groups referenced are assigned to the caller."},
    {1313, u"A specified privilege does not exist."},
    {1314, u"A required privilege is not held by the client."},
    {1338, u"The security descriptor structure is invalid."},
    {1813, u"The specified resource type cannot be found in the image file."},
    {1814, u"The specified resource name cannot be found in the image file."},
};

std::u16string CodePageText(os::LCID locale) {
    auto id = locale & 0x3FF;  // primary language
    if (locale == os::LOCALE_USER_DEFAULT || locale == os::LOCALE_SYSTEM_DEFAULT || locale == 0)
        return std::u16string(os::GetACP() == 932 ? u"932" : u"1252");
    switch (id) {
        case 0x11: return u"932";  // Japanese
        case 0x02: case 0x19: case 0x22: case 0x23: return u"1251";  // Bulgarian, Russian, Ukrainian, Belarusian
        default: return u"1252";  // Western
    }
}

}  // namespace

namespace detail {
void ResetLocale() {
    SetCodePage(1252);
    g_dateSeparator = u'/';
    g_timeSeparator = u':';
    g_uiLanguage = 1033;
}
}  // namespace detail

void SetUILanguage(os::LANGID language) { g_uiLanguage = language; }

void SetLocaleSeparators(char16_t date, char16_t time) {
    g_dateSeparator = date;
    g_timeSeparator = time;
}

}  // namespace emul

namespace os {

LANGID GetUserDefaultUILanguage() { return emul::g_uiLanguage; }

int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int chars) {
    std::u16string value;
    char16_t date = emul::g_dateSeparator, time = emul::g_timeSeparator;
    switch (type & ~emul::kNoUserOverride) {
        case LOCALE_IDEFAULTANSICODEPAGE: value = emul::CodePageText(locale); break;
        case LOCALE_SDATE: value = std::u16string(1, date); break;
        case LOCALE_STIME: value = std::u16string(1, time); break;
        case LOCALE_SSHORTDATE: value = u"M" + std::u16string(1, date) + u"d" + std::u16string(1, date) + u"yyyy"; break;
        case LOCALE_STIMEFORMAT: value = u"h" + std::u16string(1, time) + u"mm" + std::u16string(1, time) + u"ss tt"; break;
        default: SetLastError(emul::kInvalidFlags); return 0;
    }
    auto needed = static_cast<int>(value.size() + 1);
    if (chars < 0 || (chars > 0 && !data)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (chars == 0) return needed;
    if (chars < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    value.copy(data, value.size());
    data[value.size()] = 0;
    return needed;
}

DWORD FormatMessageW(DWORD flags, const void*, DWORD messageId, DWORD, LPWSTR buffer, DWORD chars, void*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & emul::kAllocateBuffer) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    for (const auto& message : emul::kMessages) {
        if (message.id != messageId) continue;
        std::u16string text = std::u16string(message.text) + u"\r\n";
        if (chars < text.size() + 1) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        text.copy(buffer, text.size());
        buffer[text.size()] = 0;
        return static_cast<DWORD>(text.size());
    }
    SetLastError(emul::kMessageNotFound);
    return 0;
}

}  // namespace os
