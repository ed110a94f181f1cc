#include "scanners/ContextMenuScannerUnit.h"

namespace scanners {

void TContextMenuScanner::Scan() {
    ScanSubKeys(os::HKEY_CURRENT_USER, u"Software\\Microsoft\\Internet Explorer\\MenuExt");
}

}  // namespace scanners
