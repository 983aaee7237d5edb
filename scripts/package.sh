#!/usr/bin/env bash
# Makes the three downloads in dist/ from the commit checked out (HEAD):
#   zanvo-extract-VERSION.tar.gz       the source, a folder that builds on its own
#   zanvo-extract_VERSION_ARCH.deb     both programs, their manual pages, the licence, the README
#   zanvo-extract-VERSION-win64.zip    zanvo-extract.exe, d88info.exe, LICENSE.txt, README.txt
# The .deb and the .zip are built from the unpacked tarball, so all three hold
# the same sources and the tarball is known to build. scripts/package-check.sh
# then tries them.
#   scripts/package.sh [CMAKE_ARGS...]
# CMAKE_ARGS go to both configure steps, for example
# -DZANVO_DEB_MAINTAINER="Name <address>" for the .deb's Maintainer field.
# Needs git, cmake, g++ and Debian's g++-mingw-w64-x86-64-posix.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
dist=$root/dist
cd "$root"

for tool in git cmake cpack dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool is needed" >&2; exit 1; }
done
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null && ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  echo "package.sh: the Windows build needs MinGW-w64 (apt-get install g++-mingw-w64-x86-64-posix)" >&2
  exit 1
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

echo "== .zip for Windows, from the unpacked source"
cmake -S "$src" -B "$work/windows" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DZANVO_BUILD_TESTS=OFF "$@" >/dev/null
cmake --build "$work/windows" -j "$jobs" --target zanvo-extract d88info >/dev/null
(cd "$work/windows" && cpack -G ZIP >/dev/null)
cp "$work/windows/$name-win64.zip" "$dist/"

ls -l "$dist/$name.tar.gz" "$dist"/zanvo-extract_"$version"_*.deb "$dist/$name-win64.zip"
