#!/usr/bin/env bash
# Builds the WebAssembly module with Debian's emscripten (the wasm preset), packs the npm package
# and installs the tarball into a scratch project as a user would, then tests it and its program
# (npx kessa2json) against the native tool (tests/js), builds a page from it with webpack, Vite
# and esbuild as its README shows (tests/js/bundlers) and tests the pages in Debian's Chromium
# (tests/web), saving its screenshot as build/wasm/page.png. Installs the Debian and npm packages
# it lacks first.
#
#   scripts/test-js.sh      (after the default preset's build, whose tool the tests compare with)
#
# Exits 0 when every test passed, 77 (skipped) when emscripten or node cannot be installed, and
# otherwise with the failing step's status. Without Chromium or Playwright the page's tests skip,
# and without TypeScript the declarations' test, each saying why.
set -euo pipefail
cd "$(dirname "$0")/.."

install() {
  echo "test-js: installing $*"
  timeout 600 apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive timeout 1200 apt-get install -y -q --no-install-recommends "$@"
}

need=()
[ -x /usr/bin/em++ ] || need+=(emscripten)
command -v node >/dev/null || need+=(nodejs)
command -v npm >/dev/null || need+=(npm)
command -v unzip >/dev/null || need+=(unzip)   # the lines of doc/javascript.md for the page
if [ ${#need[@]} -gt 0 ] && ! install "${need[@]}"; then
  echo "test-js: SKIPPED: could not install ${need[*]}" >&2
  exit 77
fi
command -v chromium >/dev/null || install chromium ||
  echo "test-js: Chromium could not be installed: the page's tests will be SKIPPED" >&2
# The page's editor and bundler, which its build needs: installed again when the lock changed.
scripts/page-packages.sh
for dir in tests/js tests/js/bundlers tests/web; do
  if [ ! -d "$dir/node_modules" ] && ! (cd "$dir" && timeout 600 npm ci --no-audit --no-fund); then
    rm -rf "$dir/node_modules"   # no half-installed packages for the next run to trust
    echo "test-js: npm ci failed in $dir: the tests that need its packages will be SKIPPED" >&2
  fi
done

# What the tests compare with: the native tool, the C++ tables' rows, the library's formatter and
# the benchmark's workload generator (built here only where the earlier steps of CI have not).
cmake --preset default >/dev/null
cmake --build --preset default --target kessa2json kessafmt json2kessa kessa_cases_dump
generate=build/bench/bench/generate
if [ ! -x "$generate" ] && [ -f /usr/include/benchmark/benchmark.h ]; then
  cmake --preset bench >/dev/null && cmake --build --preset bench --target generate
fi

cmake --workflow --preset wasm

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
npm pack --silent --pack-destination "$scratch" build/wasm/npm >/dev/null
cp -r tests/js/project "$scratch/project"
(cd "$scratch/project" && npm install --offline --no-audit --no-fund --silent "$scratch"/kessa2json-*.tgz)

KESSA_PROJECT="$scratch/project" KESSA2JSON="$PWD/build/default/kessa2json" \
  KESSA_CASES_DUMP="$PWD/build/default/tests/kessa_cases_dump" KESSA_CORPUS="$PWD/fuzz/corpus" \
  KESSA_GENERATE="$([ -x "$generate" ] && echo "$PWD/$generate")" \
  KESSA_TARBALL="$(echo "$scratch"/kessa2json-*.tgz)" \
  PAGE_DIR="$PWD/build/wasm/web" SCREENSHOT="$PWD/build/wasm/page.png" \
  node --test tests/js/package.test.mjs tests/js/write.test.mjs tests/js/readme.test.mjs \
    tests/js/cli.test.mjs tests/js/bundlers/bundlers.test.mjs tests/web/page.test.mjs
