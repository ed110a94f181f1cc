// Approved shell extensions whose registered server file is gone.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TShellExtensionsScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
