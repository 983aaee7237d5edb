#!/usr/bin/env bash
# Makes the downloads in dist/ from the commit checked out (HEAD):
#   zanvo-extract-VERSION.tar.gz       the source, a folder that builds on its own
#   zanvo-extract_VERSION_ARCH.deb     both programs, their manual pages, the licence, the README
#   zanvo-extract-VERSION-win64.zip    zanvo-extract.exe, d88info.exe, LICENSE.txt, README.txt
# The .deb and the .zip are built from the unpacked tarball, so all three hold
# the same sources and the tarball is known to build. scripts/package-check.sh
# then tries them.
#   scripts/package.sh [--zip] [CMAKE_ARGS...]
# The .zip needs the Windows cross-compiler: without it the tarball and the
# .deb are still made, and a note says why there is no .zip; with --zip its
# absence is an error, before anything is built. CMAKE_ARGS go to the
# configure steps, for example -DZANVO_DEB_MAINTAINER="Name <address>" for
# the .deb's Maintainer field.
# Needs git, cmake and g++; for the .zip, Debian's g++-mingw-w64-x86-64-posix.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
dist=$root/dist
zip_asked=no
if [ "${1:-}" = --zip ]; then
  zip_asked=yes
  shift
fi
cd "$root"

need() {
  command -v "$1" >/dev/null || { echo "package.sh: $1 is needed (apt-get install $2)" >&2; exit 1; }
}
need git git
need cmake cmake
need cpack cmake
need dpkg-deb dpkg
need "${CXX:-g++}" g++
if command -v x86_64-w64-mingw32-g++-posix >/dev/null || command -v x86_64-w64-mingw32-g++ >/dev/null; then
  zip=yes
elif [ "$zip_asked" = yes ]; then
  echo "package.sh: the .zip for Windows needs MinGW-w64 (apt-get install g++-mingw-w64-x86-64-posix)" >&2
  exit 1
else
  zip=no
fi
git rev-parse --verify -q HEAD >/dev/null || { echo "package.sh: run it in a git clone" >&2; exit 1; }
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "package.sh: warning: uncommitted changes are not packaged; the packages are made from HEAD" >&2
fi

# The folder name needs the version before anything is configured; the build
# below confirms that CMake reads the same.
version=$(sed -n 's/^project(zanvo-extract VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package.sh: no version in CMakeLists.txt's project()" >&2; exit 1; }
name=zanvo-extract-$version

work=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-package.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$dist"
rm -f "$dist/$name.tar.gz" "$dist"/zanvo-extract_"$version"_*.deb "$dist/$name-win64.zip"

echo "== source: $name.tar.gz"
git archive --format=tar.gz --prefix="$name/" -o "$dist/$name.tar.gz" HEAD
tar -xzf "$dist/$name.tar.gz" -C "$work"
src=$work/$name

echo "== .deb, from the unpacked source"
cmake -S "$src" -B "$work/linux" -DCMAKE_BUILD_TYPE=Release -DZANVO_BUILD_TESTS=OFF "$@" >/dev/null
configured=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/linux/CMakeCache.txt")
[ "$configured" = "$version" ] ||
  { echo "package.sh: CMake says version $configured, CMakeLists.txt was read as $version" >&2; exit 1; }
cmake --build "$work/linux" -j "$jobs" --target zanvo-extract d88info >/dev/null
(cd "$work/linux" && cpack -G DEB >/dev/null)
cp "$work/linux"/zanvo-extract_"$version"_*.deb "$dist/"

made=("$dist/$name.tar.gz" "$dist"/zanvo-extract_"$version"_*.deb)
if [ "$zip" = yes ]; then
  echo "== .zip for Windows, from the unpacked source"
  cmake -S "$src" -B "$work/windows" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchains/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZANVO_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$work/windows" -j "$jobs" --target zanvo-extract d88info >/dev/null
  (cd "$work/windows" && cpack -G ZIP >/dev/null)
  cp "$work/windows/$name-win64.zip" "$dist/"
  made+=("$dist/$name-win64.zip")
else
  echo "package.sh: no .zip for Windows: MinGW-w64 is not installed (apt-get install g++-mingw-w64-x86-64-posix)" >&2
fi

ls -l "${made[@]}"
