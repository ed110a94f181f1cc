#!/usr/bin/env bash
# The downloads: a setup program and a portable zip of the 32-bit build,
# signed when a certificate is given, with their SHA-256 sums.
#   make-packages.sh VERSION BUILD_DIR OUT_DIR
# BUILD_DIR is the win32 build folder (the program, its language files and
# icon are taken from there); OUT_DIR receives
#   tallowmend-VERSION-setup.exe  tallowmend-VERSION-portable.zip
#   tallowmend-VERSION-SHA256SUMS.txt
# Signing: see sign.sh for the environment it reads. Without a certificate
# the packages are built unsigned, and this says so.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
version=$1 build=$(cd "$2" && pwd) out=$3
name=tallowmend-$version
exe_dir=$build/src/app/entry
pcre2=${TALLOWMEND_PCRE2_SOURCE:-$root/third_party/pcre2}

say() { printf 'package: %s\n' "$*"; }

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d "$build/packaging.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/$name"
rm -f "$out/$name-setup.exe" "$out/$name-portable.zip" "$out/$name-SHA256SUMS.txt"

# ---- what ships
cp "$exe_dir/tallowmend.exe" "$work/$name/"
cp "$exe_dir"/*.lng "$work/$name/"
sed "s/@VERSION@/$version/g" "$here/README.txt" >"$work/$name/README.txt"
licences=(
  "PCRE2 (regular expressions)|$pcre2/LICENCE"
  "mingw-w64 runtime and winpthreads|/usr/share/doc/mingw-w64-common/copyright"
  "GCC runtime libraries (libstdc++, libgcc) with the GCC Runtime Library Exception|/usr/share/doc/gcc-mingw-w64-base/copyright"
)
{
  printf 'Tallowmend %s contains code of the following projects, linked into\r\n' "$version"
  printf 'tallowmend.exe. Their licences follow.\r\n'
  for entry in "${licences[@]}"; do
    title=${entry%%|*} file=${entry#*|}
    [ -f "$file" ] || { echo "package: licence text missing: $file" >&2; exit 1; }
    printf '\r\n\r\n==== %s\r\n\r\n' "$title"
    sed 's/$/\r/' "$file"
  done
} >"$work/$name/THIRD-PARTY-LICENSES.txt"
sed -i 's/\r\r$/\r/' "$work/$name/THIRD-PARTY-LICENSES.txt"
sed -i 's/$/\r/' "$work/$name/README.txt"

# ---- signing
sign=""
if [ -n "${TALLOWMEND_SIGN_CERT:-}" ] && [ -n "${TALLOWMEND_SIGN_KEY:-}" ]; then
  # makensis signs the uninstaller from its own folder: absolute paths.
  for v in TALLOWMEND_SIGN_CERT TALLOWMEND_SIGN_KEY TALLOWMEND_SIGN_PASSWORD_FILE; do
    [ -n "${!v:-}" ] && export "$v=$(realpath "${!v}")"
  done
  sign=$here/sign.sh
  "$sign" "$work/$name/tallowmend.exe"
  say "signed tallowmend.exe with $(openssl x509 -noout -subject -in "$TALLOWMEND_SIGN_CERT" 2>/dev/null || echo "$TALLOWMEND_SIGN_CERT")"
else
  say "NOT SIGNED: set TALLOWMEND_SIGN_CERT and TALLOWMEND_SIGN_KEY (see packaging/sign.sh) to sign the packages"
fi

# ---- setup program: installs exactly the staged files, removes exactly them
files=$(cd "$work/$name" && LC_ALL=C ls)
{
  for f in $files; do printf '  File "%s/%s"\n' "$name" "$f"; done
} >"$work/files.nsh"
{
  for f in $files; do printf '  Delete "$INSTDIR\\%s"\n' "$f"; done
} >"$work/unfiles.nsh"
cp "$build/generated/tallowmend.ico" "$work/"
size_kb=$(du -sk "$work/$name" | cut -f1)
nsis_args=(-V2 -NOCD "-DVERSION=$version" "-DSIZE_KB=$size_kb" "-DOUTFILE=$out/$name-setup.exe")
[ -n "$sign" ] && nsis_args+=("-DSIGN=$sign")
(cd "$work" && makensis "${nsis_args[@]}" "$here/tallowmend.nsi")
[ -n "$sign" ] && "$sign" "$out/$name-setup.exe"

# ---- portable zip: one folder, files in a fixed order with the commit's time
stamp=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1262304000)
find "$work/$name" -exec touch -h -d "@$stamp" {} +
(cd "$work" && LC_ALL=C find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D "$out/$name-portable.zip" -@)

(cd "$out" && sha256sum "$name-setup.exe" "$name-portable.zip" >"$name-SHA256SUMS.txt")
say "$out:"
(cd "$out" && ls -l "$name-setup.exe" "$name-portable.zip" "$name-SHA256SUMS.txt" | awk '{print "package:   " $5 "  " $9}')
