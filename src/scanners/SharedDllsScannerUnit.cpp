#include "scanners/SharedDllsScannerUnit.h"

namespace scanners {

void TSharedDllsScanner::Scan() {
    ScanValues(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls");
}

}  // namespace scanners
