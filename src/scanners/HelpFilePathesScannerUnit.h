// Help-file folder entries whose folder is gone; the value data are the folders.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class THelpFilePathesScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
