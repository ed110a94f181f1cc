// Shared-library reference counts kept for libraries that are gone; the value names are the library paths.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TSharedDllsScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
