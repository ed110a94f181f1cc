// Vendor subtrees of the HKCU software key: dead paths in their values and
// vendor keys left without any value.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class THKCUScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
