#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang, replays the saved corpus, every past
# finding and fresh seeds, then fuzzes each target for a bounded time starting
# from all of them, and prints each target's coverage before and after.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60; 0 only replays)
# New inputs land in build-fuzz/corpus-TARGET/, new findings in
# build-fuzz/findings/; the saved corpus is not changed. Each run is held to
# 256 MB of memory, and the inputs a second of each target are printed, with
# the tool's and d88info's against the reader's.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build=$root/build-fuzz
CXX=${CXX:-clang++} cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZANVO_FUZZ=ON -DZANVO_BUILD_TESTS=OFF -DZANVO_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

seeds=$build/seeds
rm -rf "$seeds" && mkdir -p "$seeds" "$build/findings"
"$build/fuzz/make-seeds" "$seeds"

# coverage LOG LINE: "N edges, M features" from libFuzzer's INITED or DONE line.
coverage() {
  grep -E "^#[0-9]+[[:space:]]+$2 " "$1" | tail -n 1 |
    sed -E 's/.* cov: ([0-9]+) ft: ([0-9]+).*/\1 edges, \2 features/'
}

# AddressSanitizer's quarantine of freed memory would otherwise count against
# the memory limit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=32}
declare -A max_len=([reader]=16384 [tool]=131072 [d88info]=16384)
declare -A rate=()
status=0
for target in reader tool d88info; do
  fuzzer=$build/fuzz/${target}_fuzz
  work=$build/corpus-$target
  log=$build/$target.log
  # The first folder takes what the run finds; the others are only read.
  inputs=("$work" "$root/fuzz/corpus/$target" "$root/fuzz/findings/$target" "$seeds" "$root/tests/data/real")
  rm -rf "$work" && mkdir -p "$work"
  echo "== $target: replaying the saved corpus, past findings and seeds"
  if ! "$fuzzer" -runs=0 -max_len="${max_len[$target]}" -close_fd_mask=2 -rss_limit_mb=256 \
      -artifact_prefix="$build/findings/$target-" "${inputs[@]}" >"$log" 2>&1; then
    tail -n 30 "$log"; status=1; continue
  fi
  before=$(coverage "$log" INITED)
  echo "   coverage of what is saved: $before"
  [ "$seconds" -gt 0 ] || continue
  echo "== $target: fuzzing for $seconds s from all of it"
  if ! "$fuzzer" -max_total_time="$seconds" -max_len="${max_len[$target]}" -close_fd_mask=2 -rss_limit_mb=256 \
      -print_final_stats=1 -artifact_prefix="$build/findings/$target-" "${inputs[@]}" >"$log" 2>&1; then
    tail -n 30 "$log"; status=1; continue
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$log" || true
  rate[$target]=$(awk '/^stat::average_exec_per_sec/ { print $2 }' "$log")
  echo "   coverage before: $before; after: $(coverage "$log" DONE); new inputs: $(ls "$work" | wc -l)"
done
if [ -n "${rate[reader]:-}" ] && [ "${rate[reader]}" -gt 0 ]; then
  echo "== inputs a second: reader ${rate[reader]}; tool ${rate[tool]:-?}; d88info ${rate[d88info]:-?}"
  for target in tool d88info; do
    awk -v t="$target" -v r="${rate[$target]:-0}" -v base="${rate[reader]}" \
      'BEGIN { printf "   %s: %.3f of the reader'"'"'s rate (at least 0.1 is the aim)\n", t, r / base }'
  done
fi
if [ "$status" -ne 0 ]; then
  echo "fuzz: failing inputs are in $build/findings/"
  exit 1
fi
echo "fuzz: no findings"
