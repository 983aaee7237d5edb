#!/usr/bin/env bash
# Installs the build into a scratch prefix, checks what lands there, then
# builds and runs a small project against the installed package.
#   check_install.sh BUILD_DIR SOURCE_DIR IMAGE CXX [FLAGS]
# CXX and FLAGS are those the library was built with (a sanitizer build's
# library needs its runtime in the consumer too).
set -euo pipefail
build=$1 source=$2 image=$3 cxx=$4 flags=${5:-}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/d88-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/zanvo-extract bin/d88info share/man/man1/zanvo-extract.1 share/man/man1/d88info.1 \
         share/doc/zanvo-extract/LICENSE share/doc/zanvo-extract/README.md \
         include/d88/d88_image.h include/d88/layout.h; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
# Installed programs are stripped, whatever the build type.
if command -v readelf >/dev/null 2>&1; then
  for program in zanvo-extract d88info; do
    if readelf -S "$prefix/bin/$program" | grep -qE '\.symtab|\.debug_'; then
      echo "installed $program is not stripped"; exit 1
    fi
  done
fi
ls "$prefix"/lib*/libd88.a >/dev/null
# The reader's headers only read: nothing that creates, writes, renames or
# removes a file, and no entry point (comments aside).
if sed 's|//.*||' "$prefix"/include/d88/*.h |
    grep -nE 'fopen|fwrite|rename|remove|unlink|createNew|replaceFile|PROGRAM_ENTRY|w?main *\('; then
  echo "the installed reader headers declare writing or an entry point"; exit 1
fi
[ "$(ls "$prefix/include/d88")" = "$(printf 'd88_image.h\nfile_kind.h\nlayout.h\noutcome.h\nrecord_map.h\nsector_flags.h\nsector_place.h')" ] ||
  { echo "unexpected installed headers: $(ls "$prefix/include/d88")"; exit 1; }
ls "$prefix"/lib*/cmake/d88/d88Config.cmake >/dev/null
if command -v man >/dev/null 2>&1; then
  for page in zanvo-extract d88info; do
    MANWIDTH=80 man -l "$prefix/share/man/man1/$page.1" 2>&1 >/dev/null | grep . && { echo "man $page complains"; exit 1; }
  done
fi
cmake -S "$source/tests/install/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
out=$("$scratch/consumer/consumer" "$image")
[ "$out" = "1 FM7DISK 16" ] || { echo "consumer printed: $out"; exit 1; }
"$prefix/bin/d88info" "$image" | grep -q '^disks: 1$'
echo "install check passed"
