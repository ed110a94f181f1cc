// Arbitrary bytes as a constants stream and as a form's LangData layout. A
// refusal must be an ELangError; what is accepted must be a sorted table of
// valid, distinct names whose texts can be formatted or refused cleanly.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "i18n/Format.h"
#include "i18n/LangConstants.h"
#include "i18n/LangError.h"
#include "i18n/LanguageController.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_langconsts: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace i18n;
    std::span<const std::uint8_t> bytes(data, size);

    TLangConstants table([] { return os::LANGID{1049}; });
    try {
        table.LoadFromStream(bytes);
        for (std::size_t i = 0; i < table.Count(); ++i) {
            Check(IsValidIdent(table[i].wsName), "invalid name accepted");
            Check(table[i].wsValue == table[i].wsDefValue, "current text differs from built-in text");
            if (i > 0) Check(CompareNameNoCase(table[i - 1].wsName, table[i].wsName) < 0, "unsorted or duplicate");
            Check(table.Find(table[i].wsName) == &table[i], "lookup misses a name");
            try {
                (void)Format(table[i].wsValue, {u"text", 42, u"more"});
            } catch (const ELangError&) {
            }
        }
    } catch (const ELangError&) {
        Check(table.Count() == 0, "failed load changed the table");
    }

    try {
        (void)ReadLangData(bytes);
    } catch (const ELangError&) {
    }
    return 0;
}
