// Browser context-menu extensions that name a file which is gone.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TContextMenuScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
