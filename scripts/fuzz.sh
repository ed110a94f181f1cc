#!/usr/bin/env bash
# Builds every libFuzzer target (clang, ASan + UBSan) in build/fuzz and runs
# each for the given number of seconds (default 30), seeded from the folders
# named in tools/fuzz/<target>.seeds. Prints how many inputs each target ran;
# exits non-zero when any target crashes, leaks, hangs or fails to build.
#   scripts/fuzz.sh [seconds]
set -euo pipefail

seconds=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTALLOWMEND_FUZZ=ON -DTALLOWMEND_SANITIZE=address,undefined -DTALLOWMEND_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target fuzzers

status=0
while read -r name; do
  [[ -n $name ]] || continue
  corpus=$build/corpus/$name
  artifacts=$build/artifacts/$name
  log=$build/logs/$name.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"

  seeds=()
  if [[ -f $root/tools/fuzz/$name.seeds ]]; then
    while read -r dir; do
      [[ -z $dir || $dir == \#* ]] && continue
      seeds+=("$root/$dir")
    done <"$root/tools/fuzz/$name.seeds"
  fi
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$artifacts/")
  [[ -f $root/tools/fuzz/$name.dict ]] && options+=(-dict="$root/tools/fuzz/$name.dict")

  # New inputs go to the first folder (under build/); the seed folders are only read.
  if "$build/fuzz-bin/$name" "${options[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "$name: ok, ${runs:-?} inputs in ${seconds}s (corpus $(ls "$corpus" | wc -l) files)"
  else
    rc=$?
    echo "$name: FAILED (exit $rc); log $log, reproducer in $artifacts/"
    tail -n 40 "$log"
    status=1
  fi
done <"$build/fuzzers.txt"

exit $status
