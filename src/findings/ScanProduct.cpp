#include "findings/ScanProduct.h"

namespace findings {

std::uint32_t TScanProduct::NextProductId = 0;

TScanProduct::TScanProduct() : FId(NextProductId++) {}

}  // namespace findings
