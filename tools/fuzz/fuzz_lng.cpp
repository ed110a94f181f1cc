// Arbitrary bytes as a language file. A refusal must be an ELangError with
// the line-numbered text; anything else escaping counts as a crash. The
// parameter part read alone must agree with the full read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "i18n/LangError.h"
#include "i18n/LangFile.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_lng: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace i18n;
    std::u16string text = DecodeLangFileBytes(std::span<const std::uint8_t>(data, size));

    TLangCompTranslations params;
    ParseLangText(text, true, params);  // the parameter part never fails

    TLangCompTranslations full;
    try {
        ParseLangText(text, false, full);
    } catch (const ELangError& e) {
        Check(e.Message().starts_with(u"Loading translations failed.\r\nLine "), "error without its line");
        return 0;
    }
    for (std::size_t i = 1; i < full.FConstants.Count(); ++i)
        Check(CompareNameNoCase(full.FConstants[i - 1].wsName, full.FConstants[i].wsName) < 0, "constants unsorted");
    for (const auto& section : full.FSections)
        for (const auto& item : section.Items) Check(item.iID > 0, "identifier not above zero kept");
    (void)UnescapeLangText(text);
    return 0;
}
