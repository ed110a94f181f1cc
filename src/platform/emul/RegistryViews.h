// WOW64 registry views of the emulated machine: how a path that a 32-bit
// process names on 64-bit Windows maps to the raw keys, as Windows 7 maps it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace emul::reg {

enum class View : unsigned char {
    Native,  // 32-bit Windows: one registry, no redirection
    Bits32,  // the WOW64 process's own view
    Bits64,  // KEY_WOW64_64KEY
};

enum class Root : unsigned char { Machine, Users, Config };

using Path = std::vector<std::u16string>;

// Drops the "Wow6432Node" names that the 32-bit view treats as naming the
// view itself (directly below SOFTWARE and SOFTWARE\Classes).
void NormalizeLogical(Root root, Path& logical, View view);

// Raw path of a normalized logical path.
Path ToRaw(Root root, const Path& logical, View view);
// ToRaw without a copy where the view redirects nothing: `logical` itself,
// else `storage` filled with the raw path.
const Path& RawPath(Root root, const Path& logical, View view, Path& storage);

// True when the children of this logical key come from more than one raw
// key (shared keys below a redirected one, or the reverse); such keys are
// listed by merging.
bool Straddles(Root root, const Path& logical, View view);

// Names that the shared-key table places directly below a straddling key.
std::vector<std::u16string_view> TableChildren(const Path& logical);

// Whether a child of this logical key named `name` is the view itself
// (and therefore never listed).
bool IsViewAlias(Root root, const Path& logical, std::u16string_view name, View view);

}  // namespace emul::reg
