// Start-up entries (the Run keys of the machine, the user and the service profiles) that launch a program which is gone.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TAutorunsScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
