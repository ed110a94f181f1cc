#include "app/MainRoutine.h"

namespace app {

int MainRoutine(const std::vector<std::u16string>& args) {
    (void)args;
    return 0;
}

}  // namespace app
