// Font registrations whose font file is gone.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TFontsScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
