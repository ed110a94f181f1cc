// The value backup reader: any bytes decode or are refused without a crash,
// and a decoded value encodes back to the bytes it came from.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <span>

#include "findings/CleanerRegValueProduct.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto value = findings::DecodeBackupedValue(std::span(data, size));
    if (!value) return 0;
    auto bytes = findings::EncodeBackupedValue(*value);
    if (bytes.size() > size || !std::equal(bytes.begin(), bytes.end(), data)) std::abort();
    return 0;
}
