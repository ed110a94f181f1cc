// Uninstall entries whose install folder is gone.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TAddRemoveScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
