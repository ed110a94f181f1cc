// Browser helper objects whose server file is gone.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TBHOScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
