#!/usr/bin/env bash
# Every .exe of the win32 build may import Windows system DLLs only: a user
# copies tallowmend.exe alone, and the test binaries must run the same code.
set -euo pipefail
dir=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
allowed='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|comdlg32|ole32|oleaut32|shlwapi|msvcrt|ntdll|uxtheme|version|ws2_32|dbghelp|psapi|msimg32|uuid|rpcrt4|imm32|winmm|secur32|crypt32|bcrypt)\.dll$'
# Wine prefixes that tests make inside the build tree (the full-scan test's
# while it runs, and those failed end-to-end or install tests keep) hold
# Wine's own programs, not ours.
mapfile -t exes < <(find "$dir" -name '*.exe' -not -path '*/CMakeFiles/*' -not -path '*/pcre2/*' -not -path '*/googletest/*' \
                      -not -path '*/drive_c/*')
if [ ${#exes[@]} -eq 0 ]; then echo "no .exe found under $dir"; exit 1; fi
bad=0
for exe in "${exes[@]}"; do
  while read -r dll; do
    lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
    if ! [[ $lower =~ $allowed ]]; then
      echo "$exe imports $dll"
      bad=1
    fi
  done < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
done
echo "checked ${#exes[@]} executables"
exit $bad
