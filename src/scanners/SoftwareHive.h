// The walk shared by the software-hive scanners.
#pragma once

#include <string>

#include "scan/Scanners.h"

namespace scanners {

// Walks every vendor subtree of `prefix` + "Software" under the root,
// leaving out the system's own, the file types and the 32-bit mirror.
void ScanSoftwareKey(scan::TScanner& scanner, os::HKEY root, const std::u16string& prefix);

}  // namespace scanners
