#include "scanners/HKCUScannerUnit.h"

#include "scanners/SoftwareHive.h"

namespace scanners {

void THKCUScanner::Scan() { ScanSoftwareKey(*this, os::HKEY_CURRENT_USER, u""); }

}  // namespace scanners
