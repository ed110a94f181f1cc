// Browser toolbar entries whose server file is gone.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TToolbarButtonsScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
