// The journal reader: any bytes parse without a crash, and what it reads
// survives being written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "backups/IniDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto doc = backups::TIniDocument::Parse(std::span(data, size));
    auto bytes = doc.Serialize();
    auto again = backups::TIniDocument::Parse(bytes);
    if (again.SectionNames().size() > doc.SectionNames().size()) std::abort();
    // Lookups must answer the same before and after the round trip. A key in
    // a repeated section is unreachable through Find in both, as the profile
    // API only ever reads the first section of a name.
    for (const auto& section : doc.Sections())
        for (const auto& key : section.Keys) {
            const auto* before = doc.Find(section.Name, key.Name);
            const auto* after = again.Find(section.Name, key.Name);
            if (!before != !after || (before && *before != *after)) std::abort();
        }
    return 0;
}
