#!/usr/bin/env bash
# Cross-builds kessa2json and its tests for Windows x64 with MinGW-w64 and runs every test under
# Wine: the unit tests and the command-line tests, which start kessa2json.exe and kessafmt.exe as
# Windows would.
# Installs the Debian packages it lacks first. Exits 0 when every test passed, 77 (skipped) when
# the packages could not be installed, and otherwise with the failing step's status.
set -euo pipefail
cd "$(dirname "$0")/.."

# Debian packages, installed only when missing. Debian's wine64 keeps its loader out of PATH.
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)   # the language server's
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ]; then
  echo "test-windows: installing ${need[*]}"
  if ! { timeout 600 apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive timeout 1200 apt-get install -y -q --no-install-recommends \
      "${need[@]}"; }; then
    echo "test-windows: SKIPPED: could not install ${need[*]}" >&2
    exit 77
  fi
fi

# The build tree holds Wine's prefix (build/windows/wine). One Wine server, kept up for the whole
# run, spares each test program the server's start; the prefix is made first, with its services'
# output going nowhere, so that no service keeps a test's output open.
export WINEPREFIX="$PWD/build/windows/wine" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wine_server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
cmake --preset windows -DKESSA2JSON_TESTS=ON   # whatever a release build left cached
cmake --build --preset windows
mkdir -p "$WINEPREFIX"
"$wine_server" -p
trap '"$wine_server" -k 2>/dev/null || true' EXIT
env -u DISPLAY "$wine" wineboot --init </dev/null >/dev/null 2>&1
ctest --preset windows
