#!/usr/bin/env bash
# Remakes the page's heading font, web/site/heading-ja.woff2, and its licence,
# web/site/heading-ja-LICENSE.txt: the few Japanese glyphs of the recognition
# line, cut out of Debian's Noto Sans CJK JP Bold (SIL Open Font License 1.1),
# so that the heading reads the same on a machine without any CJK font.
# Both files are committed; the page's build does not run this.
#   scripts/heading-font.sh
# Needs Debian's fonts-noto-cjk, python3-fonttools and python3-brotli.
# When the page's Japanese text changes, change `text` below to hold every
# character of it outside ASCII and run this again; scripts/web-test.sh
# fails while the heading draws a glyph from any other font.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
site=$root/web/site
collection=/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc
copyright=/usr/share/doc/fonts-noto-cjk/copyright
# Debian's own Python: the fontTools and Brotli modules are its packages.
python=/usr/bin/python3
text='を認識しました'

[ -f "$collection" ] && [ -f "$copyright" ] ||
  { echo "heading-font.sh: $collection is needed (apt-get install fonts-noto-cjk)" >&2; exit 1; }
"$python" -c 'import fontTools.subset, brotli' 2>/dev/null || {
  echo "heading-font.sh: fontTools and Brotli for $python are needed (apt-get install python3-fonttools python3-brotli)" >&2
  exit 1
}

# The collection holds each CJK region's design; the Japanese one is picked by
# its name rather than by a position that a new release may move.
number=$("$python" - "$collection" <<'EOF'
import sys
from fontTools.ttLib import TTCollection
for number, font in enumerate(TTCollection(sys.argv[1]).fonts):
    if font["name"].getDebugName(4) == "Noto Sans CJK JP Bold":
        print(number)
        break
EOF
)
[ -n "$number" ] || { echo "heading-font.sh: no Noto Sans CJK JP Bold in $collection" >&2; exit 1; }

# No hinting and no layout features: the heading needs the outlines and their
# advance widths, nothing else. The name table keeps the copyright and licence.
"$python" -m fontTools.subset "$collection" --font-number="$number" --text="$text" \
  --flavor=woff2 --no-hinting --desubroutinize --layout-features='' --name-IDs=0,1,2,3,4,5,6,13,14 \
  --output-file="$site/heading-ja.woff2"

# The licence's text as Debian ships it, with the font's own copyright line.
{
  echo "web/site/heading-ja.woff2 holds the glyphs of \"$text\" taken from"
  "$python" - "$collection" "$number" <<'EOF'
import sys
from fontTools.ttLib import TTCollection
name = TTCollection(sys.argv[1]).fonts[int(sys.argv[2])]["name"]
print(f"{name.getDebugName(4)}, {name.getDebugName(5)}, made by scripts/heading-font.sh.")
print()
print(name.getDebugName(0))
EOF
  echo
  # The licence's own paragraph: its indented lines, "." standing for a blank.
  awk '/^License: SIL-1.1$/ { on = 1; next } on && /^ / { print; next } { on = 0 }' "$copyright" |
    sed 's/^ //; s/^\.$//'
} >"$site/heading-ja-LICENSE.txt"

ls -l "$site/heading-ja.woff2" "$site/heading-ja-LICENSE.txt"
