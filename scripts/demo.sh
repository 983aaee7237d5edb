#!/usr/bin/env bash
# Builds zanvo-extract, writes a synthetic ZANVO Disk A image into a new
# scratch folder, runs the tool there and lists what it cut.
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target zanvo-extract make-sample >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-demo.XXXXXX")
"$build/tests/make-sample" disk-a "$scratch/sample-disk-a.d88"
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
exit "$status"
