// The shell's per-user record of programs run (UserAssist), whose value
// names are stored letter-rotated.
#pragma once

#include <string>

#include "scan/Scanners.h"

namespace scanners {

// Rotates ASCII letters by 13 places; everything else is copied. Its own
// inverse.
std::u16string Rot13Decode(std::u16string_view text);

class THistoryScanner : public scan::TScanner {
public:
    void Scan() override;

    // The leading drive path of the text, or empty when it has none.
    std::u16string ExtractWindowsPath(std::u16string_view text) const;

private:
    void ScanCountKey(os::HKEY root, const std::u16string& key);
};

}  // namespace scanners
