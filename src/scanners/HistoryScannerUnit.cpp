#include "scanners/HistoryScannerUnit.h"

#include <memory>

#include "findings/CleanerRegValueProduct.h"
#include "platform/RegistryAccess.h"
#include "scan/PathChecks.h"

namespace scanners {
namespace {

const std::u16string kUserAssistKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist";

}  // namespace

std::u16string Rot13Decode(std::u16string_view text) {
    std::u16string out(text);
    for (auto& c : out) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(u'A' + (c - u'A' + 13) % 26);
        else if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(u'a' + (c - u'a' + 13) % 26);
    }
    return out;
}

std::u16string THistoryScanner::ExtractWindowsPath(std::u16string_view text) const {
    const auto match = WindowsPathRegEx().MatchAnsi(text);
    if (!match || !match->Has(1)) return {};
    return std::u16string(match->Text(text, 1));
}

void THistoryScanner::Scan() {
    platform::StringList names;
    platform::RegistryGetKeyNames(os::HKEY_CURRENT_USER, kUserAssistKey, names);
    for (const auto& name : names) {
        if (Aborted()) break;
        try {
            ScanCountKey(os::HKEY_CURRENT_USER, kUserAssistKey + u"\\" + name + u"\\Count");
        } catch (...) {
            // One unreadable record must not hide the others.
        }
    }
}

void THistoryScanner::ScanCountKey(os::HKEY root, const std::u16string& key) {
    platform::StringList names;
    platform::RegistryGetValueNames(root, key, names);
    for (const auto& name : names) {
        const std::u16string path = Rot13Decode(name);
        // Records of shell folders and links by identifier name no drive path.
        if (ExtractWindowsPath(path).empty()) continue;
        // Judged like every other path: a program of the 64-bit system
        // folder that this 32-bit process cannot see is still there, and
        // one on a drive that is not there now cannot be decided.
        if (scan::InEitherView(path, scan::PathExists) || !scan::DriveCanBeJudged(path)) continue;
        ResultFound(std::make_unique<findings::TCleanerRegValueProduct>(root, key, name, u""));
    }
}

}  // namespace scanners
