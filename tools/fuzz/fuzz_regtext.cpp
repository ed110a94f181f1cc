// Arbitrary bytes into the .reg reader. A refusal must be a RegFormatError
// (anything else escaping counts as a crash); whatever is accepted must come
// back unchanged through the writer, as text and as UTF-16 file bytes, and
// writing it again must give the same text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/emul/RegText.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_regtext: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace emul::regtext;
    Document doc;
    try {
        doc = ParseBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const emul::RegFormatError& e) {
        Check(e.line() >= 1, "error without a line number");
        return 0;
    }

    std::u16string text = Write(doc.keys);
    Document again = Parse(text);
    Check(!again.regedit4, "written text is not version 5.00");
    Check(again.keys == doc.keys, "write then parse changed the keys");
    Check(ParseBytes(WriteBytes(doc.keys)).keys == doc.keys, "file bytes round trip changed the keys");
    Check(Write(again.keys) == text, "writing is not stable");
    return 0;
}
