#!/usr/bin/env bash
# Installs the page's npm packages (web/: its editor, and the bundler its build needs) from their
# lock file, unless web/node_modules holds those already; a failed install leaves none behind.
#
#   scripts/page-packages.sh      (scripts/test-js.sh, scripts/release.sh js and bench/js.sh run it)
set -euo pipefail
cd "$(dirname "$0")/../web"
if npm ls >/dev/null 2>&1; then exit 0; fi
if ! timeout 600 npm ci --no-audit --no-fund; then
  rm -rf node_modules
  echo "page-packages: npm ci failed in web/: the page cannot be built without its npm packages" >&2
  exit 1
fi
