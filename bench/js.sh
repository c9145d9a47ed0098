#!/usr/bin/env bash
# The npm package and the page on the realistic workload, beside the native tool: convert() in
# Node on MEGABYTES of kessa (first call and later calls, and JSON.parse + JSON.stringify of the
# same data), then the page typing on 1 MB texts without and with many findings and on a MEGABYTES
# text in Debian's Chromium (where it and tests/web's Playwright are installed).
#
#   bench/js.sh [ROUNDS] [MEGABYTES]      (defaults: 10 rounds, 10 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-10}
megabytes=${2:-10}

source bench/common.sh
scripts/page-packages.sh   # the page's editor
cmake --workflow --preset wasm >/dev/null

for size in "$megabytes" 1; do
  prefix=$data/realistic-$size
  [ -f "$prefix.expected.json" ] || build/bench/bench/generate realistic 42 "$size" "$prefix"
done
# A finding on about every tenth line, for the page's underlines and list.
[ -f "$data/findings-1.kessa" ] || build/bench/bench/generate findings 42 1 "$data/findings-1"
node bench/js_convert.mjs build/wasm/npm "$tool" "$data/realistic-$megabytes" "$rounds"
if [ -d tests/web/node_modules/playwright-core ] && command -v chromium >/dev/null; then
  echo
  node bench/page_update.mjs build/wasm/web "$data/realistic-1.kessa" "$data/findings-1.kessa" \
    "$data/realistic-$megabytes.kessa"
else
  echo "the page's figures need Chromium and tests/web's npm packages (npm ci in tests/web)"
fi
