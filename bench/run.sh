#!/usr/bin/env bash
# Measures zanvo-extract in a Release build against the least work its job
# needs, and both programs on crafted images (decoys, fields that lie, tracks
# and disks that share a walk, records past the reader's cap, bait for a
# resynchronisation, a layout far larger than its image) against their
# typical job: every view's output, memory and time.
#   bench/run.sh [ROUNDS]      (default 300 paired runs a comparison, a tenth
#                               of that for each view)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
rounds=${1:-300}
build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZANVO_BUILD_TESTS=OFF -DZANVO_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bench/make-bench-images" "$work"
for dir in typical lower crafted decoys lying multi join info; do mkdir -p "$work/$dir"; done
tool=$build/tool/zanvo-extract
info=$build/d88info/d88info
timer=$build/bench/pair-timer

field() { awk -v k="$1" '$1 == k { print $2 }'; }
# pair NAME [--swap] ...: pair-timer's figures for two commands, kept in
# $work/NAME. Runs of the tool trade folders (--swap): one fresh folder can
# make the same program a third slower than another.
pair() {
  local name=$1 swap=()
  shift
  if [ "$1" = --swap ]; then swap=(--swap); shift; fi
  "$timer" "${swap[@]}" "$rounds" "$@" >"$work/$name.txt"
}
ratio() { printf '%s (%s ms)' "$(field ratio <"$work/$1.txt")" "$(field median_a_ms <"$work/$1.txt")"; }
mib() { awk -v kb="$(field rss_a_kb <"$work/$1.txt")" 'BEGIN { printf "%.1f MiB", kb / 1024 }'; }

pair lower --swap "$work/typical" "$tool" "$work/typical.d88" :: "$work/lower" "$build/bench/lower-bound" "$work/typical.d88"
pair crafted --swap "$work/crafted" "$tool" "$work/crafted.d88" :: "$work/typical" "$tool" "$work/typical.d88"
pair decoys --swap "$work/decoys" "$tool" "$work/decoys.d88" :: "$work/typical" "$tool" "$work/typical.d88"
pair lying --swap "$work/lying" "$tool" "$work/lying.d88" :: "$work/typical" "$tool" "$work/typical.d88"
pair multi --swap "$work/multi" "$tool" "$work/64-disks.d88" :: "$work/typical" "$tool" "$work/typical.d88"
pair join --swap "$work/join" "$tool" --also "$work/join-2.d88" --also "$work/join-3.d88" "$work/join-1.d88" :: \
  "$work/typical" "$tool" "$work/typical.d88"
pair shared "$work/info" "$info" "$work/shared-64.d88" :: "$work/info" "$info" "$work/typical.d88"
pair raw "$work/info" "$info" --raw "$work/raw-shared.d88" 0 :: "$work/info" "$info" --raw "$work/typical.d88" 0

if command -v strace >/dev/null 2>&1; then
  (cd "$work/typical" && strace -f -c -o "$work/strace.txt" "$tool" "$work/typical.d88" >/dev/null)
  # strace -c's total line: seconds, usecs/call, calls, [errors,] total
  syscalls=$(awk '$NF == "total" { print $4 }' "$work/strace.txt")
else
  syscalls="n/a (strace not installed)"
fi

echo "zanvo-extract benchmark, $rounds paired runs a comparison, $(nproc) cores, $(uname -sr)"
echo
row() { printf '| %-66s | %-30s | %-8s |\n' "$@"; }
row "measure" "value" "target"
printf '|%s|%s|%s|\n' "--------------------------------------------------------------------" \
  "--------------------------------" "----------"
row "typical job / lower bound (median of paired wall-time ratios)" \
  "$(field ratio <"$work/lower.txt") ($(field median_a_ms <"$work/lower.txt") ms vs $(field median_b_ms <"$work/lower.txt") ms)" "<= 1.10"
row "system calls of the typical job (strace -c)" "$syscalls" "<= 150"
row "64,000 decoys shared by every track / typical job" "$(ratio crafted)" "<= 20"
row "65,000 data-carrying decoys (18 MB) shared by every track / typical" "$(ratio decoys)" "<= 20"
row "Disk A with lying fields / typical job" "$(ratio lying)" "<= 20"
row "64-disk image / one-disk job (wall time)" "$(ratio multi)" "<= 1.3"
row "64-disk image / one-disk job (peak resident memory)" \
  "$(field rss_ratio <"$work/multi.txt") ($(field rss_a_kb <"$work/multi.txt") KiB vs $(field rss_b_kb <"$work/multi.txt") KiB)" "<= 1.1"
row "three dumps of Disk A joined (--also) / typical job" "$(ratio join)" "<= 3.5"
row "d88info: 64 disks whose tracks share one walk / typical summary" "$(ratio shared)" "<= 20"
row "d88info --raw: 12 MB of walks shared by every track / typical" "$(ratio raw)" "<= 20"
row "peak memory of the crafted jobs (decoys, 64 disks, --raw)" \
  "$(mib decoys), $(mib shared), $(mib raw)" "<= 64 MiB"

# Every view of layouts whose records, tracks and disks overlap, lie or tempt
# a reader: each output (standard output, and the files a cut writes) against
# 16 times the image plus 1 MiB, its peak memory against 64 MiB, and its time
# against the typical Disk A job: within 20 times for images up to 1 MiB, in
# proportion beyond (20 times a MiB). "within" names each measure over its
# limit. The status is the view's own: 3 is an export with holes, 2 an
# export refused.
view_rounds=$(( rounds / 10 > 3 ? rounds / 10 : 3 ))
echo
echo "Views of crafted layouts, $view_rounds paired runs each against the typical job"
echo
vrow() { printf '| %-11s | %-7s | %10s | %11s | %8s | %-2s | %8s | %-22s | %-7s |\n' "$@"; }
vrow "image" "view" "image" "output" "of limit" "st" "memory" "time / typical job" "within"
printf '|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n' "-------------" "---------" "------------" "-------------" \
  "----------" "----" "----------" "------------------------" "---------"
# view IMAGE VIEW: one row.
view() {
  local image=$1 view=$2 file=$work/$1.d88 size out status=0 dir=$work/info
  size=$(stat -c %s "$file")
  case $view in
    cut) args=("$tool" "$file") dir=$work/cut ;;
    summary) args=("$info" "$file") ;;
    listing) args=("$info" "$file" 0) ;;
    json) args=("$info" --json "$file") ;;
    raw) args=("$info" --raw "$file" 0) ;;
    split) args=("$info" --split "$file" 0) ;;
  esac
  rm -rf "$work/once" && mkdir "$work/once"
  (cd "$work/once" && "${args[@]}" >"$work/once.out" 2>/dev/null) || status=$?
  out=$(( $(stat -c %s "$work/once.out") + $(find "$work/once" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }') ))
  mkdir -p "$dir"
  "$timer" --status="$status" "$view_rounds" "$dir" "${args[@]}" :: "$work/typical" "$tool" "$work/typical.d88" \
    >"$work/view.txt"
  vrow "$image" "$view" "$size" "$out" \
    "$(awk -v o="$out" -v s="$size" 'BEGIN { printf "%.3f", o / (16 * s + 1048576) }')" "$status" "$(mib view)" \
    "$(field ratio <"$work/view.txt") ($(field median_a_ms <"$work/view.txt") ms)" \
    "$(awk -v o="$out" -v s="$size" -v kb="$(field rss_a_kb <"$work/view.txt")" -v r="$(field ratio <"$work/view.txt")" \
      'BEGIN { w = (o > 16 * s + 1048576 ? "output " : "") (kb > 65536 ? "memory " : "") \
                   (r > 20 * (s > 1048576 ? s / 1048576 : 1) ? "time" : ""); print w == "" ? "yes" : w }')"
}
for image in tails-7k tails-32k tails-1m short-lying size-inside long-tracks; do
  for v in summary listing json; do view "$image" "$v"; done
done
for image in run-on headers-64 flagged bait disk-a-bait raw-736; do
  for v in cut summary listing json raw split; do view "$image" "$v"; done
done
