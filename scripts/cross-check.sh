#!/usr/bin/env bash
# Builds both programs for a big-endian CPU (s390x) and a 32-bit one (i686)
# with Debian's cross compilers, runs them under qemu-user beside the native
# build on the same inputs, and compares exit statuses, standard output,
# standard error and every file's bytes exactly; also that an existing output
# over 2 GiB is replaced, which needs 64-bit file offsets on i686.
#   scripts/cross-check.sh [s390x] [i686]      (both when none is named)
# Needs Debian's g++-s390x-linux-gnu, g++-i686-linux-gnu and qemu-user.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
native=$root/build
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(s390x i686)
declare -A emulator=([s390x]=qemu-s390x [i686]=qemu-i386)

cmake -S "$root" -B "$native" >/dev/null
cmake --build "$native" -j "$jobs" --target zanvo-extract d88info make-sample >/dev/null
for target in "${targets[@]}"; do
  [ -n "${emulator[$target]:-}" ] || { echo "cross-check: unknown target $target (s390x or i686)" >&2; exit 2; }
  command -v "${emulator[$target]}" >/dev/null ||
    { echo "cross-check: ${emulator[$target]} is needed (apt-get install qemu-user)" >&2; exit 1; }
  cmake -S "$root" -B "$root/build-$target" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$target-linux-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZANVO_BUILD_TESTS=OFF -DZANVO_WERROR=ON >/dev/null
  cmake --build "$root/build-$target" -j "$jobs" --target zanvo-extract d88info >/dev/null
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-cross.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
inputs=$work/inputs
mkdir -p "$inputs"
"$native/imagegen/make-sample" disk-a "$inputs/disk-a.d88"
"$native/imagegen/make-sample" disk-f "$inputs/disk-f.d88"
"$native/imagegen/make-sample" damaged-a "$inputs/damaged-a.d88"
cat "$inputs/disk-f.d88" "$inputs/disk-a.d88" "$inputs/damaged-a.d88" >"$inputs/three-disks.d88"
cp "$root"/tests/data/real/*.d88 "$root"/tests/data/real/*.d77 "$inputs/"
printf 'an older DRIVER, longer than the new one: %02000d\n' 0 >"$work/old-DRIVER"

failures=0
# run SIDE NAME PROGRAM SETUP ARGS...: SIDE is native or a target; the run's
# folder, outputs and status go under $work/NAME/.
run() {
  local side=$1 name=$2 program=$3 setup=$4
  shift 4
  local dir=$work/$name exe
  mkdir -p "$dir/$side"
  local arg
  for arg in "$@"; do
    if [ -f "$inputs/$arg" ]; then cp "$inputs/$arg" "$dir/$side/"; fi
  done
  if [ "$setup" = old-outputs ]; then cp "$work/old-DRIVER" "$dir/$side/DRIVER"; fi
  # A sparse 3 GiB file at an output's name: past what a 32-bit off_t can
  # describe, so a build without 64-bit file offsets cannot look at it.
  if [ "${setup#huge=}" != "$setup" ]; then truncate -s 3G "$dir/$side/${setup#huge=}"; fi
  if [ "$side" = native ]; then
    exe=("$native/$program")
  else
    exe=("${emulator[$side]}" "$root/build-$side/$program")
  fi
  (cd "$dir/$side" && set +e; "${exe[@]}" "$@" >"../$side.out" 2>"../$side.err"; echo $? >"../$side.status")
  # The usage line names the program as invoked, which differs by nature.
  sed -i -e 's|^Usage: .* \[d88file\]$|Usage: PROGRAM [d88file]|' "$dir/$side.err"
}

# check NAME PROGRAM [SETUP] -- ARGS...: PROGRAM is zanvo-extract or d88info;
# SETUP is "old-outputs" to put an older DRIVER in place first, "huge=NAME" a
# sparse 3 GiB file named NAME.
check() {
  local name=$1 program=tool/zanvo-extract setup=$3
  [ "$2" = d88info ] && program=d88info/d88info
  shift 4
  run native "$name" "$program" "$setup" "$@"
  local dir=$work/$name target
  for target in "${targets[@]}"; do
    run "$target" "$name" "$program" "$setup" "$@"
    local problem=""
    cmp -s "$dir/native.status" "$dir/$target.status" ||
      problem+=" status($(cat "$dir/native.status") vs $(cat "$dir/$target.status"))"
    cmp -s "$dir/native.out" "$dir/$target.out" || problem+=" stdout"
    cmp -s "$dir/native.err" "$dir/$target.err" || problem+=" stderr"
    diff -r "$dir/native" "$dir/$target" >"$dir/$target.diff" 2>&1 || problem+=" files"
    if [ -n "$problem" ]; then
      echo "FAIL $target $name:$problem"
      head -5 "$dir/$target.diff"
      failures=$((failures + 1))
    else
      echo "ok   $target $name (status $(cat "$dir/native.status"), $(ls "$dir/native" | wc -l) files)"
    fi
  done
}

check disk-a zanvo-extract - -- disk-a.d88
check disk-a-over-old-outputs zanvo-extract old-outputs -- disk-a.d88
check disk-a-over-a-3-GiB-DRIVER zanvo-extract huge=DRIVER -- disk-a.d88
check info-raw-over-a-3-GiB-file d88info huge=disk.img -- --raw disk-a.d88 0 -o disk.img
check disk-f zanvo-extract - -- disk-f.d88
check damaged-disk zanvo-extract - -- damaged-a.d88
for image in "$root"/tests/data/real/*.d88 "$root"/tests/data/real/*.d77; do
  image=$(basename "$image")
  check "unrecognised-${image%.*}" zanvo-extract - -- "$image"
  check "info-summary-${image%.*}" d88info - -- "$image"
  check "info-map-${image%.*}" d88info - -- "$image" 0
  check "info-raw-${image%.*}" d88info - -- --raw "$image" 0 -o disk.img
done
check missing-image zanvo-extract - -- missing.d88
check no-arguments zanvo-extract - --
check version zanvo-extract - -- --version
check first-of-three-disks zanvo-extract - -- three-disks.d88
check second-of-three-disks zanvo-extract - -- --disk=1 three-disks.d88
check dry-run-damaged zanvo-extract - -- -n damaged-a.d88
check info-summary-disk-a d88info - -- disk-a.d88
check info-summary-three-disks d88info - -- three-disks.d88
check info-map-third-disk d88info - -- three-disks.d88 2
check info-raw-second-disk d88info - -- --raw three-disks.d88 1 -o second.img
check info-summary-damaged d88info - -- damaged-a.d88
check info-map-damaged d88info - -- damaged-a.d88 0
check info-json-three-disks d88info - -- --json three-disks.d88
check info-raw-to-stdout d88info - -- --raw disk-f.d88 0
check info-raw-stops d88info - -- --raw damaged-a.d88 0 -o damaged.img
check info-no-such-disk d88info - -- disk-a.d88 1
check info-version d88info - -- --version

if [ "$failures" -ne 0 ]; then
  echo "cross-check: $failures case(s) differ"
  exit 1
fi
echo "cross-check: the ${targets[*]} builds match the native build in every case"
