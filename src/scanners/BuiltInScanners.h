// The seventeen scanners the wizard runs, in their fixed order: the order of the
// findings within each pass. The scan manager is handed this list; it knows
// no scanner by name.
#pragma once

#include <memory>
#include <vector>

#include "scan/Scanners.h"

namespace scanners {

std::vector<std::unique_ptr<scan::TScanner>> BuiltInScanners();

}  // namespace scanners
