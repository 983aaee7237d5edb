#!/usr/bin/env bash
# Configures, builds and runs every test, first installing what the build
# needs when it is missing (scripts/prerequisites.sh; ZANVO_NO_INSTALL=1 only
# names the command that would).
#   scripts/test.sh [BUILD_DIR] [CMAKE_ARGS...]
# BUILD_DIR defaults to ./build; CMAKE_ARGS go to the configure step
# (for example -DZANVO_WERROR=ON or -DZANVO_SANITIZE=ON).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/prerequisites.sh" test
build=${1:-$root/build}
[ $# -gt 0 ] && shift
cmake -S "$root" -B "$build" "$@"
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
# A run without a single test (a build configured without them) fails.
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc 2>/dev/null || echo 2)"
