#!/usr/bin/env bash
# Tries the page that scripts/web-build.sh built, in headless Chromium: serves
# build-web/site/ on 127.0.0.1, picks generated Disk A, Disk F and damaged
# images, a Disk A with odd fields, an uncertain sector and bytes that are no
# record, an unrecognised D88 image, two files of two disks (the second cut
# with its button too), a text file and a packed image, and three dumps of
# Disk A chosen together (then dropped together), and holds what the page
# says and offers to what zanvo-extract and d88info say and write for the
# same files, byte for byte. Disk F is dropped on the page. Then
# an image just under the page's 128 MiB limit: the page must keep answering
# while it examines it, and a later pick must end that examination; a file
# over the limit must be refused. Screenshots of each case go to
# build-web/screenshots/.
#   scripts/web-test.sh
# Needs Debian's chromium, chromium-driver and python3-selenium, and what the
# native build needs.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
site=$root/build-web/site
tools=$root/build-web/native
# Debian's Python, which has Debian's Selenium.
python=/usr/bin/python3

[ -f "$site/index.html" ] || { echo "web-test.sh: no site yet: run scripts/web-build.sh first" >&2; exit 1; }
for program in /usr/bin/chromium /usr/bin/chromedriver "$python"; do
  [ -x "$program" ] || {
    echo "web-test.sh: $program is needed (apt-get install chromium chromium-driver python3-selenium)" >&2
    exit 1
  }
done
"$python" -c 'import selenium' 2>/dev/null ||
  { echo "web-test.sh: Selenium is needed (apt-get install python3-selenium)" >&2; exit 1; }

# The programs the page is held to, built natively.
cmake -S "$root" -B "$tools" -DCMAKE_BUILD_TYPE=Release -DZANVO_BUILD_TESTS=OFF >/dev/null
cmake --build "$tools" -j "$jobs" --target zanvo-extract d88info make-sample >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-web-images.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
for kind in disk-a disk-f damaged-a; do
  "$tools/imagegen/make-sample" "$kind" "$work/$kind.d88"
done
cp "$root/tests/data/real/x1_hubasic_2d.d88" "$work/unrecognised.d88"
printf 'A shopping list, not a disk image.\n' >"$work/notes.txt"
# A D88 image packed: refused with the word to unpack it first.
gzip -c "$work/disk-a.d88" >"$work/packed.d88.gz"
# A Disk A with an odd media byte, an uncertain sector, bytes that are no
# record and a track that reads another's records.
"$python" "$root/web/test/odd_image.py" "$work/disk-a.d88" "$work/odd-a.d88"
# Files of two disks: another disk before Disk A, and Disk A beside Disk F.
cat "$work/unrecognised.d88" "$work/disk-a.d88" >"$work/other-then-a.d88"
cat "$work/disk-a.d88" "$work/disk-f.d88" >"$work/a-and-f.d88"
# The page takes up to 128 MiB: one image 4 KiB short of that which keeps the
# examiner busy for seconds, and one a byte over it (sparse: it is never read).
limit=$((128 * 1024 * 1024))
"$python" "$root/web/test/heavy_image.py" "$work/near-limit.d88" $((limit - 4096)) \
  "$work/damaged-a.d88" "$work/disk-f.d88"
truncate -s $((limit + 1)) "$work/over-limit.d88"

screenshots=$root/build-web/screenshots
rm -rf "$screenshots"
"$python" "$root/web/test/web_test.py" --site "$site" --tools "$tools" --screenshots "$screenshots" \
  --near-limit "$work/near-limit.d88" --over-limit "$work/over-limit.d88" \
  --joined "$work/damaged-a.d88" --joined "$work/odd-a.d88" --joined "$work/disk-a.d88" \
  disk-a="$work/disk-a.d88" notes="$work/notes.txt" dropped-disk-f="$work/disk-f.d88" \
  damaged-a="$work/damaged-a.d88" odd-a="$work/odd-a.d88" packed="$work/packed.d88.gz" \
  unrecognised="$work/unrecognised.d88" \
  other-then-a="$work/other-then-a.d88" a-and-f="$work/a-and-f.d88"
