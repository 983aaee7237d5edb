#!/usr/bin/env bash
# Builds the page into build-web/site/: static files for any web server (or
# `python3 -m http.server --directory build-web/site`). The C++ behind both
# programs is compiled to WebAssembly with Emscripten, beside the page's
# HTML, CSS and script and the zip library its lock file pins.
#   scripts/web-build.sh
# Needs Debian's emscripten, Node.js and npm. Fails when the site would be
# 1 MiB or more.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
out=$root/build-web
site=$out/site
limit=1048576

for tool in cmake emcmake emcc node npm; do
  command -v "$tool" >/dev/null || {
    echo "web-build.sh: $tool is needed (apt-get install cmake emscripten nodejs npm)" >&2
    exit 1
  }
done
# Debian's Emscripten finds the Node.js modules it runs with there.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

echo "== the zip library, as web/package-lock.json pins it"
cd "$root/web"
# node_modules is reused when it holds every package at the locked version, so
# a second build needs no network.
if ! node -e '
  const lock = require("./package-lock.json");
  for (const [path, entry] of Object.entries(lock.packages))
    if (path && require("./" + path + "/package.json").version !== entry.version) process.exit(1);
' 2>/dev/null; then
  npm ci --no-audit --no-fund --prefer-offline
fi

echo "== the WebAssembly module, with $(emcc --version 2>/dev/null | head -n 1)"
mkdir -p "$out"
log=$out/wasm-build.log
if ! { emcmake cmake -S "$root" -B "$out/wasm" -DCMAKE_BUILD_TYPE=MinSizeRel -DZANVO_BUILD_TESTS=OFF \
  -DZANVO_WERROR=ON && cmake --build "$out/wasm" -j "$jobs" --target zanvo-web; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "web-build.sh: the WebAssembly build failed (above, and in $log)" >&2
  exit 1
fi

echo "== the site, in $site"
rm -rf "$site"
mkdir -p "$site"
# The page's files as they are: HTML, CSS, its scripts, the heading font and
# its licence.
cp -R "$root/web/site/." "$site/"
cp "$out/wasm/web/entry/zanvo-web.js" "$out/wasm/web/entry/zanvo-web.wasm" "$site/"
cp "$root/web/node_modules/fflate/esm/browser.js" "$site/fflate.js"
cp "$root/web/node_modules/fflate/LICENSE" "$site/fflate-LICENSE.txt"

total=0
while IFS=$'\t' read -r size name; do
  printf '%9d  %s\n' "$size" "$name"
  total=$((total + size))
done < <(cd "$site" && find . -type f -printf '%s\t%P\n' | sort -t $'\t' -k2)
printf '%9d  in all\n' "$total"
if [ "$total" -ge "$limit" ]; then
  echo "web-build.sh: the site is $total bytes, over the limit of $limit" >&2
  exit 1
fi
