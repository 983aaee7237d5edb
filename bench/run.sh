#!/usr/bin/env bash
# Measures zanvo-extract in a Release build against the least work its job
# needs, and on a crafted and a 64-disk image.
#   bench/run.sh [ROUNDS]      (default 300 paired runs a comparison)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${1:-300}
build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZANVO_BUILD_TESTS=OFF -DZANVO_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bench/make-bench-images" "$work"
mkdir -p "$work/typical" "$work/lower" "$work/crafted" "$work/multi"
tool=$build/tool/zanvo-extract
timer=$build/bench/pair-timer

field() { awk -v k="$1" '$1 == k { print $2 }'; }

lower=$("$timer" "$rounds" "$work/typical" "$tool" "$work/typical.d88" :: \
  "$work/lower" "$build/bench/lower-bound" "$work/typical.d88")
crafted=$("$timer" "$rounds" "$work/crafted" "$tool" "$work/crafted.d88" :: \
  "$work/typical" "$tool" "$work/typical.d88")
multi=$("$timer" "$rounds" "$work/multi" "$tool" "$work/64-disks.d88" :: \
  "$work/typical" "$tool" "$work/typical.d88")

if command -v strace >/dev/null 2>&1; then
  (cd "$work/typical" && strace -f -c -o "$work/strace.txt" "$tool" "$work/typical.d88" >/dev/null)
  # strace -c's total line: seconds, usecs/call, calls, [errors,] total
  syscalls=$(awk '$NF == "total" { print $4 }' "$work/strace.txt")
else
  syscalls="n/a (strace not installed)"
fi

echo "zanvo-extract benchmark, $rounds paired runs a comparison, $(nproc) cores, $(uname -sr)"
echo
printf '| %-58s | %-28s | %-8s |\n' "measure" "value" "target"
printf '|%s|%s|%s|\n' "------------------------------------------------------------" "------------------------------" "----------"
printf '| %-58s | %-28s | %-8s |\n' "typical job / lower bound (median of paired wall-time ratios)" \
  "$(field ratio <<<"$lower") ($(field median_a_ms <<<"$lower") ms vs $(field median_b_ms <<<"$lower") ms)" "<= 1.15"
printf '| %-58s | %-28s | %-8s |\n' "system calls of the typical job (strace -c)" "$syscalls" "<= 150"
printf '| %-58s | %-28s | %-8s |\n' "crafted shared-track image / typical job (wall time)" \
  "$(field ratio <<<"$crafted") ($(field median_a_ms <<<"$crafted") ms)" "<= 20"
printf '| %-58s | %-28s | %-8s |\n' "64-disk image / one-disk job (wall time)" \
  "$(field ratio <<<"$multi") ($(field median_a_ms <<<"$multi") ms)" "<= 1.3"
printf '| %-58s | %-28s | %-8s |\n' "64-disk image / one-disk job (peak resident memory)" \
  "$(field rss_ratio <<<"$multi") ($(field rss_a_kb <<<"$multi") KiB vs $(field rss_b_kb <<<"$multi") KiB)" "<= 1.1"
