#!/usr/bin/env bash
# Tries the downloads scripts/package.sh left in dist/ as a user would get
# them: the .deb unpacked into a scratch root (dpkg-deb -x), the .zip's
# programs under Wine. Each cuts a generated Disk A beside the native build;
# exit statuses, standard output (line endings aside on Windows), standard
# error and every file's bytes must match. Also checks what each package
# holds, its version and that its programs are stripped and self-contained.
#   scripts/package-check.sh
# Needs dpkg-deb, readelf, MinGW-w64's objdump, wine and wine64.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
native=$root/build
dist=$root/dist

cmake -S "$root" -B "$native" >/dev/null
cmake --build "$native" -j "$jobs" --target zanvo-extract d88info make-sample >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$native/CMakeCache.txt")
name=zanvo-extract-$version
deb=$dist/zanvo-extract_${version}_$(dpkg --print-architecture).deb
zip=$dist/$name-win64.zip
tarball=$dist/$name.tar.gz

work=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-package-check.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}
ok() { echo "ok   $*"; }

for f in "$tarball" "$deb" "$zip"; do
  [ -f "$f" ] || { echo "package-check: $f is missing; run scripts/package.sh" >&2; exit 1; }
done
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

echo "== $(basename "$zip")"
expected_zip="$name-win64/LICENSE.txt
$name-win64/README.txt
$name-win64/d88info.exe
$name-win64/zanvo-extract.exe"
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
# The prefix scripts/windows-check.sh uses: set up once for both.
export WINEDEBUG=-all WINEPREFIX=$root/build-windows/wineprefix
mkdir -p "$root/build-windows"
wineboot --init >/dev/null 2>&1 || true
for program in zanvo-extract d88info; do
  version_is "$program" wine "$folder/$program.exe"
done
cut "$work/wine" wine "$folder/zanvo-extract.exe"
same "the .zip's zanvo-extract.exe cuts Disk A under Wine like the native build" "$work/native" "$work/wine"

if [ "$failures" -ne 0 ]; then
  echo "package-check: $failures check(s) failed"
  exit 1
fi
echo "package-check: the packages hold what they should and cut Disk A like the native build"
