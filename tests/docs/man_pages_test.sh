#!/usr/bin/env bash
# The manual pages as a reader gets them: troff source of printable ASCII
# (no raw control byte, such as a form feed typed where \f was meant), and
# rendered by groff and by man without a single warning, both with no locale
# in the environment (as after a fresh login with LANG unset) and under
# C.UTF-8. A copy of the first page with one raw form feed must fail both
# checks, so that a renderer that stopped warning cannot pass everything.
#   man_pages_test.sh PAGE...
set -euo pipefail
command -v groff >/dev/null || { echo "FAIL groff is not installed (Debian: groff-base)"; exit 1; }
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zanvo-man-test.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# raw_bytes PAGE: the lines holding a byte other than a newline or printable
# ASCII, shown with cat -v; silent when there are none.
raw_bytes() {
  LC_ALL=C grep -naP '[^\x0a\x20-\x7e]' "$1" | cat -v || true
}

# complaints PAGE: everything groff and man say on standard error, or their
# failure, in each locale and for each output device; silent for a clean page.
complaints() {
  local page=$1 locale device
  for locale in unset C.UTF-8; do
    local run=(env -u LANG -u LC_ALL -u LC_CTYPE -u LC_MESSAGES)
    [ "$locale" = unset ] || run+=(LC_ALL="$locale")
    for device in utf8 ascii; do
      "${run[@]}" groff -man -T"$device" -ww -z "$page" 2>&1 |
        sed "s|^|LANG $locale, groff -T$device: |" || true
      [ "${PIPESTATUS[0]}" = 0 ] || echo "LANG $locale, groff -T$device: failed"
    done
    if command -v man >/dev/null; then
      { "${run[@]}" MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null ||
          echo "failed with status $?"; } | sed "s|^|LANG $locale, man -l: |"
    fi
  done
}

failures=0
for page in "$@"; do
  found=$(raw_bytes "$page")
  [ -z "$found" ] || { echo "FAIL $page holds raw bytes:"; echo "$found"; failures=$((failures + 1)); }
  said=$(complaints "$page")
  [ -z "$said" ] || { echo "FAIL $page renders with complaints:"; echo "$said"; failures=$((failures + 1)); }
  [ -n "$found$said" ] || echo "ok   $page"
done

canary=$scratch/canary.1
{ cat "$1"; printf '.PP\nthe \fIimage\fR\n'; } >"$canary" # printf makes each \f a raw form feed
[ -n "$(raw_bytes "$canary")" ] || { echo "FAIL a raw form feed is not seen in the source"; failures=$((failures + 1)); }
[ -n "$(complaints "$canary")" ] || { echo "FAIL a raw form feed renders without a warning"; failures=$((failures + 1)); }

[ "$failures" = 0 ]
