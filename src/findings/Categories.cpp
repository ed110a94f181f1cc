#include "findings/Categories.h"

namespace findings {

TCategory::~TCategory() {
    for (auto& result : FResults) result.reset();
}

}  // namespace findings
