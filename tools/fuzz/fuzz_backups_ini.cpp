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
    for (const auto& section : doc.Sections())
        for (const auto& key : section.Keys)
            if (!again.Find(section.Name, key.Name)) std::abort();
    return 0;
}
