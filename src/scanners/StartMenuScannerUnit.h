// Start Menu order-cache entries for program folders that are gone.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TStartMenuScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
