#!/usr/bin/env bash
# Builds zanvo-extract and the sample maker (no test framework needed), writes
# a synthetic ZANVO Disk A image into a new scratch folder, runs the tool there
# and shows what it cut. The scratch folder is removed afterwards unless
# --keep is given. What it builds with is installed first when missing
# (scripts/prerequisites.sh; ZANVO_NO_INSTALL=1 only names the command).
#   scripts/demo.sh [--keep] [BUILD_DIR]      (BUILD_DIR defaults to ./build-demo)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
keep=no
if [ "${1:-}" = --keep ]; then
  keep=yes
  shift
fi
build=${1:-$root/build-demo}
"$root/scripts/prerequisites.sh" demo
cmake -S "$root" -B "$build" -DZANVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target zanvo-extract make-sample >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-demo.XXXXXX")
if [ "$keep" = no ]; then
  trap 'rm -rf "$scratch"' EXIT
fi
"$build/imagegen/make-sample" disk-a "$scratch/sample-disk-a.d88"
cd "$scratch"
echo "\$ zanvo-extract sample-disk-a.d88   (in $scratch, messages shown as UTF-8)"
set +e
"$build/tool/zanvo-extract" sample-disk-a.d88 | iconv -f CP932 -t UTF-8
status=${PIPESTATUS[0]}
set -e
echo "exit status: $status"
echo
ls -l
echo
echo "The first line of DRIVER:"
head -n 1 DRIVER
echo
if [ "$keep" = yes ]; then
  echo "The files are kept in $scratch"
else
  echo "(scratch folder removed; run scripts/demo.sh --keep to keep it)"
fi
exit "$status"
