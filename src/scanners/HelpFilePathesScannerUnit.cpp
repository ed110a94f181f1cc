#include "scanners/HelpFilePathesScannerUnit.h"

namespace scanners {

void THelpFilePathesScanner::Scan() {
    ScanValues(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\Help");
}

}  // namespace scanners
