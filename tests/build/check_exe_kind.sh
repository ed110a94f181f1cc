#!/usr/bin/env bash
# tallowmend.exe is a 32-bit GUI program.
set -euo pipefail
kind=$(file -b "$1")
echo "$kind"
case "$kind" in
  "PE32 executable (GUI) Intel 80386"*) exit 0 ;;
  *) exit 1 ;;
esac
