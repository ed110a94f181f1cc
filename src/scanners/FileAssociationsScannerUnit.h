// File types under HKEY_CLASSES_ROOT (their icons and shell commands), the
// shell's cache of program names, and the installer's registrations.
#pragma once

#include <string>

#include "scan/Regex.h"
#include "scan/Scanners.h"

namespace scanners {

class TFileAssociationsScanner : public scan::TScanner {
public:
    TFileAssociationsScanner();
    void Scan() override;

    // Whether a braced class identifier appears anywhere in the text.
    bool IsCLSID(std::u16string_view text) const;

private:
    void ScanFileTypes();

    scan::TRegex FIsCLSID;
};

}  // namespace scanners
