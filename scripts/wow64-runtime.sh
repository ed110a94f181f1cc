#!/usr/bin/env bash
# Builds the private WOW64 runtime in build/wow64: the installed 64-bit Wine
# plus the 32-bit half of the same Wine (Debian's wine32:i386, unpacked, not
# installed), whose i386 code runs under qemu user-mode emulation. A 32-bit
# Windows program started through it is a real WOW64 process in a 64-bit
# prefix, on any amd64 kernel, with or without 32-bit support.
#
# Nothing global: no binfmt handler, no dpkg architecture, no change to the
# system's apt sources or to anything under /usr. Packages come through apt
# with private lists and caches below build/wow64.
#   scripts/wow64-runtime.sh          build it unless it is there (seconds then)
#   scripts/wow64-runtime.sh --check  exit 0 when it is there and current
#
# Entry points for other scripts (scripts/wine-common.sh picks them up):
#   build/wow64/wow64 PROGRAM ARGS...   any Windows program (32- or 64-bit)
#                                       in $WINEPREFIX (a 64-bit prefix)
#   build/wow64/wine32 PROGRAM ARGS...  the 32-bit loader alone: the one that
#                                       makes and runs a WINEARCH=win32 prefix
#   build/wow64/wow64 --server ARGS     the wineserver (-k, -w, -p)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
kit=$root/scripts/wow64
base=${TALLOWMEND_WOW64_DIR:-$root/build/wow64}

# Pinned. The 32-bit half must be the very build of the installed wine64.
wine_version=8.0~repack-4
# qemu 7.2 (bookworm's) crashes once a 32-bit process has a second thread;
# 10 does not. A static binary, so trixie's package runs here.
qemu_version=1:10.0.13+ds-0+deb13u1
qemu_sha256=ca6ede739327a20ae5a3498230c8a3a9a072c586e131bc6bcc1201eb1725e336
mirror=http://deb.debian.org/debian
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

# Whatever changes the result changes the recipe, and a recipe that differs
# from the one the runtime was built with builds it again.
recipe() {
  printf '%s\n' "$base" "$wine_version" "$qemu_version" "$qemu_sha256"
  cat "$0" "$kit/trapfix.c" "$kit/patch_preloader.py"
}
stamp=$base/.ready
current() { [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(recipe | sha256sum | cut -c1-64)" ]; }

if [ "${1:-}" = --check ]; then current; exit; fi
if current; then
  echo "wow64-runtime: present ($base)"
  exit 0
fi

say() { echo "wow64-runtime: $*"; }
die() { echo "wow64-runtime: $*" >&2; exit 1; }

installed=$(dpkg-query -W -f '${Version}' wine64 2>/dev/null) || die "wine64 is not installed (scripts/setup.sh installs it)"
[ "$installed" = "$wine_version" ] ||
  die "the installed wine64 is $installed; this runtime pins the 32-bit half to $wine_version (update the pin)"
for tool in dpkg-deb python3 gcc curl; do command -v "$tool" >/dev/null || die "$tool is missing"; done

started=$(date +%s)
rm -f "$stamp"
mkdir -p "$base"

# ---- the i386 packages, resolved by apt against private bookworm lists
apt_dir=$base/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache" "$apt_dir/state" "$base/debs/partial"
: >"$apt_dir/state/status"   # nothing installed: apt resolves every dependency
cat >"$apt_dir/sources.list" <<EOT
deb [arch=i386 signed-by=$keyring] $mirror bookworm main
deb [arch=i386 signed-by=$keyring] $mirror bookworm-updates main
EOT
apt_i386() {
  apt-get -q -o Dir::Etc::sourcelist="$apt_dir/sources.list" -o Dir::Etc::sourceparts=/dev/null \
    -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
    -o Dir::State::status="$apt_dir/state/status" -o Dir::Cache::archives="$base/debs" \
    -o APT::Architecture=i386 -o APT::Architectures::=i386 -o Acquire::Retries=3 \
    -o Debug::NoLocking=1 -o APT::Sandbox::User=root "$@"
}
say "fetching the 32-bit Wine $wine_version and its libraries"
# One more try after a pause covers a mirror caught in the middle of a sync.
apt_i386 update >/dev/null || { sleep 10; apt_i386 update >/dev/null; } || die "cannot read the bookworm i386 package lists"
apt_i386 install --download-only -y --no-install-recommends \
  "wine32:i386=$wine_version" "libwine:i386=$wine_version" "wine32-preloader:i386=$wine_version" \
  libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxcomposite1:i386 \
  libxfixes3:i386 libxinerama1:i386 libxxf86vm1:i386 >/dev/null || die "cannot download the 32-bit Wine"
# Only the versions resolved now are unpacked: older ones left from an
# earlier build go.
apt_i386 autoclean >/dev/null

r=$base/root32
rm -rf "$r"
mkdir -p "$r"
for deb in "$base"/debs/*.deb; do dpkg-deb -x "$deb" "$r"; done

# What libwine's maintainer script would do: builtin-tagged copies of the
# mingw zlib, which Wine refuses to load untagged.
for mingw_arch in i686 x86_64; do
  wine_arch=$mingw_arch
  [ "$mingw_arch" = i686 ] && wine_arch=i386
  in=$(ls "$r/usr/$mingw_arch-w64-mingw32/lib/"zlib*.dll)
  out=$r/usr/lib/i386-linux-gnu/wine/$wine_arch-windows/$(basename "$in")
  { head -c 64 "$in"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$in"; } >"$out"
done
echo 'include /etc/ld.so.conf.d/*.conf' >"$r/etc/ld.so.conf"
ldconfig -r "$r"

# Loader layout. Wine starts a process of the other width by exec'ing the
# loader named "wine"/"wine64" beside its own executable, so <lib>/wine must
# be something the host can exec (a script starting qemu), while the real
# i386 loader keeps the name "wine" elsewhere (Wine derives names from it).
# Without the plain preloader Wine falls back to the script instead of
# exec'ing an i386 binary directly.
mkdir -p "$r/usr/lib/wine32elf"
mv "$r/usr/lib/wine/wine" "$r/usr/lib/wine32elf/wine"
rm -f "$r/usr/lib/wine/wine-preloader"
# qemu reserves the whole span of a static program's segments, and the
# preloader's header page sits far below its code: moved, ntdll can load at
# its base address.
python3 "$kit/patch_preloader.py" "$r/usr/lib/wine/wine-preloader.static" "$r/usr/lib/wine/wine-preloader.qemu" >/dev/null
chmod +x "$r/usr/lib/wine/wine-preloader.qemu"
# qemu leaves the trap number of a fault at -1, which Wine reads as an
# illegal instruction: trapfix.so puts the right one in before Wine looks.
gcc -m32 -O2 -fPIC -shared -nostdlib -fno-stack-protector -Wall \
  -o "$r/usr/lib/wine32elf/trapfix.so" "$kit/trapfix.c" "$r/lib/i386-linux-gnu/libc.so.6"

# ---- qemu-i386, the pinned build; if Debian has moved on, the current one
qemu_deb=$base/qemu-user.deb
qemu_file=qemu-user_${qemu_version#*:}_amd64.deb
if ! { [ -f "$qemu_deb" ] && echo "$qemu_sha256  $qemu_deb" | sha256sum -c --status; }; then
  say "fetching qemu-user $qemu_version"
  if ! curl -fsS --retry 3 -o "$qemu_deb.part" "$mirror/pool/main/q/qemu/$qemu_file" ||
    ! echo "$qemu_sha256  $qemu_deb.part" | sha256sum -c --status; then
    echo "wow64-runtime: WARNING: qemu-user $qemu_version is no longer on the mirror; taking trixie's current one (pin it)" >&2
    mkdir -p "$apt_dir/tlists/partial" "$apt_dir/tcache"
    echo "deb [arch=amd64 signed-by=$keyring] $mirror trixie main" >"$apt_dir/trixie.list"
    apt_trixie() {
      apt-get -q -o Dir::Etc::sourcelist="$apt_dir/trixie.list" -o Dir::Etc::sourceparts=/dev/null \
        -o Dir::State::Lists="$apt_dir/tlists" -o Dir::Cache="$apt_dir/tcache" \
        -o Dir::State::status="$apt_dir/state/status" -o APT::Architecture=amd64 \
        -o APT::Architectures::=amd64 -o Debug::NoLocking=1 -o APT::Sandbox::User=root "$@"
    }
    apt_trixie update >/dev/null || die "cannot read the trixie package lists"
    rm -f "$apt_dir"/qemu-user_*.deb
    (cd "$apt_dir" && apt_trixie download qemu-user >/dev/null) || die "cannot download qemu-user"
    mv "$apt_dir"/qemu-user_*.deb "$qemu_deb.part"
  fi
  mv "$qemu_deb.part" "$qemu_deb"
fi
rm -rf "$base/qemu.x" "$base/qemu"
dpkg-deb -x "$qemu_deb" "$base/qemu.x"
mkdir -p "$base/qemu"
cp "$base/qemu.x/usr/bin/qemu-i386" "$base/qemu/"
rm -rf "$base/qemu.x"

# ---- the loaders
cat >"$r/usr/lib/wine/wine" <<EOT
#!/bin/sh
# The 32-bit Wine loader: the i386 preloader and loader under qemu-user.
r=$r
pre=\$r/usr/lib/wine32elf/trapfix.so
exec "$base/qemu/qemu-i386" -L "\$r" -0 "\$r/usr/lib/wine/wine-preloader" -E LD_PRELOAD="\$pre" \\
  "\$r/usr/lib/wine/wine-preloader.qemu" "\$r/usr/lib/wine32elf/wine" "\$@"
EOT
chmod +x "$r/usr/lib/wine/wine"

# The 64-bit side in a tree of its own: Wine looks for the other width's
# loader and the server beside its own executable, so wine64 is a copy, and
# for its libraries and data relative to it.
w=$base/w64
rm -rf "$w"
mkdir -p "$w/usr/lib/wine" "$w/usr/lib/x86_64-linux-gnu" "$w/usr/share"
cp /usr/lib/wine/wine64 "$w/usr/lib/wine/wine64"
ln -sfn /usr/lib/wine/wineserver64 "$w/usr/lib/wine/wineserver"
ln -sfn /usr/lib/wine/wineserver64 "$w/usr/lib/wine/wineserver64"
ln -sfn "$r/usr/lib/wine/wine" "$w/usr/lib/wine/wine"
ln -sfn /usr/lib/x86_64-linux-gnu/wine "$w/usr/lib/x86_64-linux-gnu/wine"
ln -sfn /usr/share/wine "$w/usr/share/wine"
ln -sfn "$w/usr/lib/wine/wine64" "$r/usr/lib/wine/wine64"
ln -sfn /usr/lib/wine/wineserver64 "$r/usr/lib/wine/wineserver"

launcher() {  # NAME LOADER DESCRIPTION
  cat >"$base/$1" <<EOT
#!/bin/sh
# $3
# "$1 --server ARGS" runs the wineserver instead.
export WINEARCH=\${WINEARCH:-win64}
unset WINELOADER WINESERVER
if [ "\${1:-}" = --server ]; then shift; exec "$w/usr/lib/wine/wineserver" "\$@"; fi
exec "$2" "\$@"
EOT
  chmod +x "$base/$1"
}
launcher wow64 "$w/usr/lib/wine/wine64" "Runs a Windows program, 32- or 64-bit, in \$WINEPREFIX (64-bit): 32-bit ones as WOW64 processes."
launcher wine32 "$r/usr/lib/wine/wine" "Runs a 32-bit Windows program with the 32-bit loader alone (for WINEARCH=win32 prefixes)."

"$r/usr/lib/wine/wine" --version >/dev/null 2>&1 || die "the 32-bit loader does not start under qemu"
recipe | sha256sum | cut -c1-64 >"$stamp"
say "ready in $(($(date +%s) - started)) s: $base/wow64 ($("$base/qemu/qemu-i386" --version | head -n 1))"
