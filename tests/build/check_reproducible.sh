#!/usr/bin/env bash
# Two builds of one commit give a byte-identical program: builds
# tallowmend.exe again from a fresh clone of the commit at another path,
# without the compiler cache, and compares it with the given build's.
#   check_reproducible.sh SOURCE_DIR PRESET
# Skips (77) when the working tree has changes the clone would not have.
set -euo pipefail
src=$(cd "$1" && pwd)
preset=$2
exe=src/app/entry/tallowmend.exe
reference=$src/build/$preset/$exe

if [ -n "$(git -C "$src" status --porcelain --untracked-files=no)" ]; then
  echo "skipped: the working tree has uncommitted changes, so it is not one commit"
  exit 77
fi
[ -f "$reference" ] || { echo "no $reference: build the $preset preset first"; exit 1; }

work=$(mktemp -d "$src/build/repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
git clone -q --shared "$src" "$work/tree"
git -C "$work/tree" checkout -q "$(git -C "$src" rev-parse HEAD)"
# Third-party sources are fetched, not committed: the same ones, copied.
[ -d "$src/third_party" ] && cp -a "$src/third_party" "$work/tree/"
cd "$work/tree"
export CCACHE_DISABLE=1
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j2 --target tallowmend >/dev/null

again=build/$preset/$exe
if cmp -s "$reference" "$again"; then
  echo "identical: $(sha256sum <"$again" | cut -d' ' -f1) ($(stat -c %s "$again") bytes) in $src and $work/tree"
  exit 0
fi
echo "tallowmend.exe differs between two builds of $(git rev-parse --short HEAD):"
cmp "$reference" "$again" | head -1
diff <(objdump -h "$reference" | tail -n +5) <(objdump -h "$again" | tail -n +5) | head -20
exit 1
