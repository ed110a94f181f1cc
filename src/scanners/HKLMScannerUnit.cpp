#include "scanners/HKLMScannerUnit.h"

#include "scanners/SoftwareHive.h"

namespace scanners {

void THKLMScanner::Scan() { ScanSoftwareKey(*this, os::HKEY_LOCAL_MACHINE, u""); }

}  // namespace scanners
