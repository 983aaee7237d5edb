#!/usr/bin/env bash
# Tries the downloads scripts/package.sh left in dist/ as a user would get
# them: the .deb unpacked into a scratch root (dpkg-deb -x), the .zip's
# programs under Wine. Each cuts a generated Disk A beside the native build;
# exit statuses, standard output (line endings aside on Windows), standard
# error and every file's bytes must match. Also checks what each package
# holds, its version and that its programs are stripped and self-contained.
#   scripts/package-check.sh [--zip]
# The .zip is tried when dist/ holds one (package.sh makes it only where
# MinGW-w64 is installed); with --zip a missing .zip is a failure. Wine runs
# in a prefix of its own in the scratch folder, removed with it (KEEP=1 keeps
# the scratch folder).
# Needs cmake, g++, dpkg-deb, readelf (binutils) and gzip; for the .zip also
# MinGW-w64's objdump (binutils-mingw-w64-x86-64), wine and wine64. Each is
# looked for before anything is built.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
native=$root/build
dist=$root/dist
zip_asked=no
if [ "${1:-}" = --zip ]; then
  zip_asked=yes
  shift
fi
[ $# -eq 0 ] || { echo "usage: scripts/package-check.sh [--zip]" >&2; exit 1; }

need() {
  command -v "$1" >/dev/null || { echo "package-check.sh: $1 is needed${3:-} (apt-get install $2)" >&2; exit 1; }
}
need cmake cmake
need "${CXX:-g++}" g++
need dpkg-deb dpkg
need readelf binutils
need gzip gzip
# The version names the files; it is the one package.sh read, from project().
version=$(sed -n 's/^project(zanvo-extract VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "package-check.sh: no version in CMakeLists.txt's project()" >&2; exit 1; }
name=zanvo-extract-$version
deb=$dist/zanvo-extract_${version}_$(dpkg --print-architecture).deb
zip=$dist/$name-win64.zip
tarball=$dist/$name.tar.gz
for f in "$tarball" "$deb"; do
  [ -f "$f" ] || { echo "package-check.sh: $f is missing; run scripts/package.sh" >&2; exit 1; }
done
if [ -f "$zip" ]; then
  for_zip=" to try $(basename "$zip")"
  need x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64 "$for_zip"
  need wine wine "$for_zip"
  need wineboot wine "$for_zip"
  [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null ||
    { echo "package-check.sh: wine64 is needed$for_zip (apt-get install wine64)" >&2; exit 1; }
elif [ "$zip_asked" = yes ]; then
  echo "package-check.sh: $zip is missing; run scripts/package.sh --zip (it needs g++-mingw-w64-x86-64-posix)" >&2
  exit 1
else
  zip=
fi

cmake -S "$root" -B "$native" >/dev/null
cmake --build "$native" -j "$jobs" --target zanvo-extract d88info make-sample >/dev/null
configured=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$native/CMakeCache.txt")
[ "$configured" = "$version" ] ||
  { echo "package-check.sh: CMake says version $configured, CMakeLists.txt was read as $version" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-package-check.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}
ok() { echo "ok   $*"; }

"$native/imagegen/make-sample" disk-a "$work/disk-a.d88"

# cut LABEL DIR COMMAND...: runs COMMAND on disk-a.d88 in a fresh DIR and
# keeps its status and outputs beside DIR.
cut() {
  local dir=$1
  shift
  mkdir -p "$dir"
  cp "$work/disk-a.d88" "$dir/"
  (cd "$dir" && set +e; "$@" disk-a.d88 >"$dir.out" 2>"$dir.err"; echo $? >"$dir.status")
}
# same NAME A B: A's and B's statuses, outputs (CR aside) and folders are equal.
same() {
  local what=$1 a=$2 b=$3 problem=""
  cmp -s "$a.status" "$b.status" || problem+=" status($(cat "$a.status") vs $(cat "$b.status"))"
  cmp -s <(tr -d '\r' <"$a.out") <(tr -d '\r' <"$b.out") || problem+=" stdout"
  cmp -s <(tr -d '\r' <"$a.err") <(tr -d '\r' <"$b.err") || problem+=" stderr"
  diff -r "$a" "$b" >/dev/null 2>&1 || problem+=" files"
  if [ -n "$problem" ]; then fail "$what:$problem"; else ok "$what (status $(cat "$a.status"), $(ls "$a" | wc -l) files)"; fi
}
# version PROGRAM-NAME COMMAND...: COMMAND --version prints "PROGRAM-NAME VERSION".
version_is() {
  local program=$1 got
  shift
  got=$("$@" --version | tr -d '\r') || true
  [ "$got" = "$program $version" ] && ok "$program --version: $got" || fail "$program --version printed '$got'"
}

cut "$work/native" "$native/tool/zanvo-extract"
[ "$(cat "$work/native.status")" = 0 ] && [ "$(ls "$work/native" | wc -l)" = 14 ] ||
  { echo "package-check: the native build did not cut Disk A" >&2; exit 1; }

echo "== $(basename "$tarball")"
listing=$(tar -tzf "$tarball")
for f in CMakeLists.txt LICENSE README.md scripts/package.sh tests/data/real/LICENSES/d88dmp-MIT.txt; do
  grep -qx "$name/$f" <<<"$listing" || fail "the source tarball lacks $f"
done
if grep -E "^$name/(build[^/]*|dist|\.git)/" <<<"$listing" | grep -q .; then
  fail "the source tarball holds build output or git metadata"
fi
[ "$(grep -cv "^$name/" <<<"$listing")" = 0 ] && ok "source tarball: one folder, $name/" ||
  fail "the source tarball has entries outside $name/"

echo "== $(basename "$deb")"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = zanvo-extract ] && [ "$(field Version)" = "$version" ] &&
  [ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] && [ -z "$(field Depends)" ] &&
  ok "control: zanvo-extract $version, maintainer, description, no dependencies" ||
  fail "control fields: $(dpkg-deb -f "$deb" Package Version Maintainer Depends | tr '\n' ' ')"
expected_deb="./usr/bin/d88info
./usr/bin/zanvo-extract
./usr/share/doc/zanvo-extract/README.md
./usr/share/doc/zanvo-extract/copyright
./usr/share/man/man1/d88info.1.gz
./usr/share/man/man1/zanvo-extract.1.gz"
got_deb=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[ "$got_deb" = "$expected_deb" ] && ok "contents: the two programs, two manual pages, copyright, README" ||
  fail "contents: $(tr '\n' ' ' <<<"$got_deb")"
debroot=$work/deb-root
dpkg-deb -x "$deb" "$debroot"
cmp -s "$debroot/usr/share/doc/zanvo-extract/copyright" "$root/LICENSE" || fail "the .deb's copyright is not LICENSE"
for program in zanvo-extract d88info; do
  exe=$debroot/usr/bin/$program
  if readelf -S "$exe" | grep -qE '\.symtab|\.debug_'; then fail "$program in the .deb is not stripped"; fi
  if readelf -l "$exe" | grep -q 'INTERP'; then fail "$program in the .deb is not linked statically"; fi
  version_is "$program" "$exe"
done
gzip -dc "$debroot/usr/share/man/man1/zanvo-extract.1.gz" | head -n 1 | grep -qF "\"zanvo-extract $version\"" ||
  fail "the manual page does not carry version $version"
cut "$work/deb" "$debroot/usr/bin/zanvo-extract"
same "the .deb's zanvo-extract cuts Disk A like the native build" "$work/native" "$work/deb"

# The .zip: what it holds, and its programs under Wine.
try_zip() {
  echo "== $(basename "$zip")"
  local expected_zip got_zip folder program
  expected_zip=$(printf "$name-win64/%s\n" LICENSE.txt README.txt d88info.exe zanvo-extract.exe)
  got_zip=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
  [ "$got_zip" = "$expected_zip" ] && ok "contents: the two programs, LICENSE.txt, README.txt" ||
    fail "contents: $(tr '\n' ' ' <<<"$got_zip")"
  mkdir "$work/zip"
  (cd "$work/zip" && cmake -E tar xf "$zip")
  folder=$work/zip/$name-win64
  cmp -s <(sed 's/$/\r/' "$root/LICENSE") "$folder/LICENSE.txt" || fail "LICENSE.txt is not LICENSE with CR LF"
  if LC_ALL=C grep -q $'[^\r]$\|^$' "$folder/README.txt" || LC_ALL=C grep -q '[^[:print:][:space:]]' "$folder/README.txt"; then
    fail "README.txt is not ASCII text with CR LF line ends"
  else
    ok "LICENSE.txt and README.txt: text with CR LF"
  fi
  for program in zanvo-extract d88info; do
    if x86_64-w64-mingw32-objdump -p "$folder/$program.exe" 2>/dev/null | grep 'DLL Name' | grep -viqE 'kernel32|msvcrt'; then
      fail "$program.exe needs a DLL beyond the system's"
    fi
  done
  # A prefix of Wine's own in the scratch folder: some 700 MB, never left in
  # the clone, gone with the scratch folder.
  export WINEDEBUG=-all WINEPREFIX=$work/wineprefix
  wineboot --init >/dev/null 2>&1 || true
  for program in zanvo-extract d88info; do
    version_is "$program" wine "$folder/$program.exe"
  done
  cut "$work/wine" wine "$folder/zanvo-extract.exe"
  same "the .zip's zanvo-extract.exe cuts Disk A under Wine like the native build" "$work/native" "$work/wine"
}

if [ -n "$zip" ]; then
  try_zip
else
  echo "== no .zip in dist/ (package.sh makes it where MinGW-w64 is installed): not tried"
fi

if [ "$failures" -ne 0 ]; then
  echo "package-check: $failures check(s) failed"
  exit 1
fi
echo "package-check: the packages$([ -n "$zip" ] || echo ' (no .zip)') hold what they should and cut Disk A like the native build"
