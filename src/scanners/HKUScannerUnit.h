// Vendor subtrees of the software key of every loaded user hive.
#pragma once

#include <string>

#include "scan/Scanners.h"

namespace scanners {

class THKUScanner : public scan::TScanner {
public:
    void Scan() override;

private:
    void ScanUserSoftware(os::HKEY root, const std::u16string& hive);
};

}  // namespace scanners
