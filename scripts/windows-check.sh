#!/usr/bin/env bash
# Cross-builds zanvo-extract.exe and d88info.exe with MinGW-w64, runs them under
# Wine beside the Linux build on the same inputs, and compares standard output
# (line endings aside), standard error, exit statuses and every file's bytes.
# Then pastes the commands the Windows build suggests into Wine's cmd.exe, and
# interrupts an export with Ctrl+C, Ctrl+Break and a closed console while it
# writes (tests/windows/console_helper.cpp does both from inside Wine).
#   scripts/windows-check.sh
# Needs Debian's g++-mingw-w64-x86-64-posix, wine and wine64.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
linux=$root/build
windows=$root/build-windows

cmake -S "$root" -B "$linux" >/dev/null
cmake --build "$linux" -j "$jobs" --target zanvo-extract d88info make-sample >/dev/null
cmake -S "$root" -B "$windows" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DZANVO_BUILD_TESTS=OFF -DZANVO_WERROR=ON >/dev/null
cmake --build "$windows" -j "$jobs" >/dev/null
cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$windows/CMakeCache.txt")
"$cxx" -std=c++20 -O2 -municode -static -Wall -Wextra -Werror -o "$windows/console-helper.exe" \
  "$root/tests/windows/console_helper.cpp"

export WINEDEBUG=-all WINEPREFIX=$windows/wineprefix
wineboot --init >/dev/null 2>&1 || true

work=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-windows.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
inputs=$work/inputs
mkdir -p "$inputs"
"$linux/imagegen/make-sample" disk-a "$inputs/disk-a.d88"
"$linux/imagegen/make-sample" disk-f "$inputs/disk-f.d88"
"$linux/imagegen/make-sample" damaged-a "$inputs/damaged-a.d88"
cp "$inputs/disk-a.d88" "$inputs/ディスクA.d88"
cp "$root/tests/data/real/fm77av_demo2019_2d.d77" "$root/tests/data/real/towns_fputest_2hd_media00.d77" "$inputs/"
printf 'an older DRIVER, longer than the new one: %02000d\n' 0 > "$inputs/old-DRIVER"

failures=0
# check NAME PROGRAM [SETUP] -- ARGS...: PROGRAM is zanvo-extract or d88info;
# SETUP is "old-outputs" to put an older DRIVER in place first, "out-folder"
# to make an empty folder out, or "null-stdout" to send standard output to the null device (a character
# device, but no terminal or console). An argument @NULL@ is the null
# device's name on each side: /dev/null, NUL.
check() {
  local name=$1 program=$2 setup=$3
  shift 4
  local dir=$work/$name
  mkdir -p "$dir/linux" "$dir/windows"
  for side in linux windows; do
    cp "$inputs"/*.d88 "$inputs"/*.d77 "$dir/$side/"
    if [ "$setup" = old-outputs ]; then cp "$inputs/old-DRIVER" "$dir/$side/DRIVER"; fi
    if [ "$setup" = out-folder ]; then mkdir "$dir/$side/out"; fi
  done
  local exe=$linux/tool/zanvo-extract wexe=$windows/tool/zanvo-extract.exe
  if [ "$program" = d88info ]; then exe=$linux/d88info/d88info wexe=$windows/d88info/d88info.exe; fi
  local out=../linux.out wout=../windows.out
  if [ "$setup" = null-stdout ]; then out=/dev/null wout=/dev/null; : >"$dir/linux.out"; : >"$dir/windows.out"; fi
  local args=("${@//@NULL@//dev/null}") wargs=("${@//@NULL@/NUL}")
  (cd "$dir/linux" && set +e; "$exe" "${args[@]}" >"$out" 2>../linux.err; echo $? >../linux.status)
  (cd "$dir/windows" && set +e; wine "$wexe" "${wargs[@]}" >"$wout" 2>../windows.err; echo $? >../windows.status)
  # Text-mode streams end lines with CR LF on Windows; the usage line names
  # the program as invoked, which differs by nature.
  for side in linux windows; do
    tr -d '\r' <"$dir/$side.out" >"$dir/$side.out.lf"
    tr -d '\r' <"$dir/$side.err" | sed -e 's|^Usage: .* \[d88file\]$|Usage: PROGRAM [d88file]|' >"$dir/$side.err.lf"
  done
  local problem=""
  cmp -s "$dir/linux.status" "$dir/windows.status" || problem+=" status($(cat "$dir/linux.status") vs $(cat "$dir/windows.status"))"
  cmp -s "$dir/linux.out.lf" "$dir/windows.out.lf" || problem+=" stdout"
  cmp -s "$dir/linux.err.lf" "$dir/windows.err.lf" || problem+=" stderr"
  diff -r "$dir/linux" "$dir/windows" >"$dir/files.diff" 2>&1 || problem+=" files"
  if [ -n "$problem" ]; then
    echo "FAIL $name:$problem"
    cat "$dir/files.diff" | head -5
    failures=$((failures + 1))
  else
    echo "ok   $name (status $(cat "$dir/linux.status"), $(ls "$dir/linux" | wc -l) files)"
  fi
}

check disk-a zanvo-extract - -- disk-a.d88
check disk-a-over-old-outputs zanvo-extract old-outputs -- disk-a.d88
check disk-f zanvo-extract - -- disk-f.d88
check damaged-disk zanvo-extract - -- damaged-a.d88
check non-ascii-image-name zanvo-extract - -- ディスクA.d88
check unrecognised zanvo-extract - -- fm77av_demo2019_2d.d77
check missing-image zanvo-extract - -- missing.d88
check no-arguments zanvo-extract - --
check into-a-folder zanvo-extract out-folder -- -C out disk-a.d88
check dry-run zanvo-extract - -- --dry-run damaged-a.d88
check unknown-option zanvo-extract - -- --bogus disk-a.d88
check info-summary d88info - -- towns_fputest_2hd_media00.d77
check info-map d88info - -- damaged-a.d88 0
check info-raw-to-stdout d88info - -- --raw fm77av_demo2019_2d.d77 0
check info-raw-to-file d88info - -- --raw towns_fputest_2hd_media00.d77 0 -o towns.img
check info-raw-stops d88info - -- --raw damaged-a.d88 0 -o damaged.img
check info-split-to-file d88info - -- --split disk-a.d88 0 -o split.d88
check info-json d88info - -- --json damaged-a.d88
check info-raw-to-the-null-device d88info - -- --raw disk-a.d88 0 -o @NULL@
check info-raw-with-stdout-on-the-null-device d88info null-stdout -- --raw disk-a.d88 0

# A suggested command pasted into cmd.exe (console-helper runs it as typed at
# its prompt): zanvo-extract cuts disk 0 of NAME, Disk F then Disk A, and
# suggests the command that cuts disk 1. Pasted where a decoy image is named
# by what cmd.exe would expand (%ZANVO_OTHER% is decoy), it must cut disk 1 of
# NAME, as the Linux build does, or, where no quoting is safe in both cmd.exe
# and PowerShell, name "<IMAGE>", which opens nothing.
export ZANVO_OTHER=decoy
cat "$inputs/disk-f.d88" "$inputs/disk-a.d88" >"$inputs/f-and-a.d88"
mkdir "$work/paste-reference"
(cd "$work/paste-reference" && "$linux/tool/zanvo-extract" --disk=1 ../inputs/f-and-a.d88 >/dev/null 2>&1)
pasted=0
paste_check() {
  local name=$1 expect=$2 dir=$work/paste-$pasted
  pasted=$((pasted + 1))
  mkdir -p "$dir/first" "$dir/pasted"
  cp "$inputs/f-and-a.d88" "$dir/first/$name"
  cp "$inputs/f-and-a.d88" "$dir/pasted/$name"
  cp "$inputs/f-and-a.d88" "$dir/pasted/decoy.d88"
  cp "$windows/tool/zanvo-extract.exe" "$dir/pasted/"
  (cd "$dir/first" && wine "$windows/tool/zanvo-extract.exe" -- "$name" >/dev/null 2>../first.err) || true
  local hint
  hint=$(tr -d '\r' <"$dir/first.err" | sed -n 's/.*`\(zanvo-extract --disk=1 .*\)` cuts it$/\1/p')
  local status=0
  (cd "$dir/pasted" && wine "$windows/console-helper.exe" paste "$hint" >/dev/null 2>../pasted.err) || status=$?
  local problem=""
  if [ -z "$hint" ]; then
    problem=" no suggested command"
  elif [ "$expect" = cuts ]; then
    [ "$status" -eq 0 ] || problem+=" status $status"
    for file in "$work/paste-reference"/*; do
      cmp -s "$file" "$dir/pasted/$(basename "$file")" || problem+=" $(basename "$file")"
    done
  else
    [ "$status" -eq 1 ] || problem+=" status $status"
    [ "$hint" = 'zanvo-extract --disk=1 "<IMAGE>"' ] || problem+=" suggested $hint"
    grep -q 'cannot open <IMAGE>' "$dir/pasted.err" || problem+=" not refused"
  fi
  # Beside the image, the decoy and the program: what the cut makes, or nothing.
  local files=3
  [ "$expect" != cuts ] || files=$((3 + $(ls "$work/paste-reference" | wc -l)))
  [ "$(ls -A "$dir/pasted" | wc -l)" -eq "$files" ] || problem+=" files"
  if [ -n "$problem" ]; then
    echo "FAIL pasted $name: ${hint:-(nothing)}:$problem"
    failures=$((failures + 1))
  else
    echo "ok   pasted $name: $hint"
  fi
}
paste_check plain.d88 cuts
paste_check 'two words.d88' cuts
paste_check 'x&calc (1)^;,=.d88' cuts
paste_check "it's [a]{b}~#@+.d88" cuts
paste_check 2019.d88 cuts
paste_check -n.d88 cuts
paste_check ディスクA.d88 cuts
paste_check '%ZANVO_OTHER%.d88' refused
paste_check '50% %ZANVO_OTHER%.d88' refused
paste_check '!ZANVO_OTHER!.d88' refused
paste_check '$HOME `whoami`.d88' refused

# An export interrupted while it writes its temporary: no temporary is left,
# and the older file at the output's name is left whole. The 64 MiB disk (no
# tracks, all zeros) takes Wine some 70 ms to write; a run the event reaches
# only after its rename has replaced the file is tried again, up to 3 times.
# Ctrl+C ends the run with the C runtime's status 3; under Wine, the other
# events end it with status 0 where Windows gives 0xC000013A.
{ printf 'BIG'; head -c $((0x1C - 3)) /dev/zero; printf '\x00\x00\x00\x04'; head -c $((0x2B0 - 0x20)) /dev/zero; } \
  >"$inputs/big.d88"
truncate -s 64M "$inputs/big.d88"
"$linux/d88info/d88info" --split "$inputs/big.d88" 0 -o "$work/big-split.d88"
cp "$windows/d88info/d88info.exe" "$work/"
for event in ctrl-c ctrl-break close; do
  outcome=" the run always ended before the event"
  for try in 1 2 3; do
    dir=$work/interrupt-$event-$try
    mkdir -p "$dir"
    echo "an older export" >"$dir/split.d88"
    cp "$dir/split.d88" "$dir/old-split.d88"
    helper=0
    (cd "$dir" && wine "$windows/console-helper.exe" interrupt "$event" . \
      '../d88info.exe --split ../inputs/big.d88 0 -o split.d88' >../helper.out 2>../helper.err) || helper=$?
    status=$(tr -d '\r' <"$work/helper.out" | sed -n 's/^status //p')
    left=$(cd "$dir" && ls -A | grep -v -x -e split.d88 -e old-split.d88 || true)
    if [ "$helper" -eq 1 ]; then
      outcome=" $(cat "$work/helper.err")"
      break
    fi
    if [ "$helper" -eq 2 ] || { cmp -s "$dir/split.d88" "$work/big-split.d88" && [ -z "$left" ]; }; then
      continue # the run ended before the event, or the event came after the rename
    fi
    outcome=""
    [ -z "$left" ] || outcome+=" left $left"
    cmp -s "$dir/split.d88" "$dir/old-split.d88" || outcome+=" the older file changed"
    [ "$event" != ctrl-c ] || [ "$status" = 3 ] || outcome+=" status $status"
    break
  done
  if [ -n "$outcome" ]; then
    echo "FAIL interrupted by $event:$outcome"
    failures=$((failures + 1))
  else
    echo "ok   interrupted by $event while writing (status $status, try $try): no temporary left, older file whole"
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "windows-check: $failures case(s) differ"
  exit 1
fi
echo "windows-check: the Windows build matches the Linux build in every case, its suggested commands paste safely into cmd.exe, and an interrupted export leaves no temporary"
