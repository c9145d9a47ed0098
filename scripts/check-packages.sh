#!/usr/bin/env bash
# Checks the release packages as a user meets them, after building them with scripts/release.sh.
# Debian (as root): installs both .deb files, converts examples/demo.kessa with the kessa2json on
# the PATH, finds its man page and the language server's, runs a language server session, builds examples/embed against the installed -dev package with a
# plain find_package, then removes both packages and finds none of their files left; lintian
# reports no error. Windows: kessa2json.exe from the zip converts the example under Wine; skipped,
# without failing, when the cross compiler or Wine cannot be installed. Installs the Debian
# packages the checks need when missing, and leaves the packages uninstalled whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(kessa2json kessa2json-dev)
if [ "$(id -u)" -ne 0 ]; then
  echo "check-packages: installs packages with dpkg, so it runs as root only" >&2
  exit 1
fi

need=()
command -v lintian >/dev/null || need+=(lintian)
command -v man >/dev/null || need+=(man-db)
command -v unzip >/dev/null || need+=(unzip)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi
# The Windows build's packages, as scripts/test-windows.sh installs them; without them, Linux only.
platforms=(linux windows)
need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ] && ! { timeout 600 apt-get update -q &&
  DEBIAN_FRONTEND=noninteractive timeout 1200 apt-get install -y -q --no-install-recommends \
    "${need[@]}"; }; then
  platforms=(linux)
fi
scripts/release.sh "${platforms[@]}"

work=$(mktemp -d)
wine_server=""
installed() { dpkg-query -W -f '${Status}\n' "$@" 2>/dev/null | grep -q ' installed$'; }
cleanup() {
  if installed "${packages[@]}"; then dpkg -r "${packages[@]}" >/dev/null; fi
  if [ -n "$wine_server" ]; then "$wine_server" -k 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
if installed "${packages[@]}"; then
  echo "check-packages: removing the kessa2json packages left installed by an earlier run"
  dpkg -r "${packages[@]}" >/dev/null
fi

# The files and directories of the packages that are on disk before they are installed: shared
# directories such as /usr/bin, which must still be there after the removal.
debs=(dist/kessa2json_*_amd64.deb dist/kessa2json-dev_*_amd64.deb)
existing() { while read -r path; do if [ -e "$path" ]; then echo "$path"; fi; done | sort -u; }
for deb in "${debs[@]}"; do dpkg-deb --fsys-tarfile "$deb" | tar -t; done |
  sed 's|^\./|/|; s|/$||' | grep . | existing >"$work/before"

dpkg -i "${debs[@]}"
if [ "$(command -v kessa2json)" != /usr/bin/kessa2json ]; then
  echo "check-packages: kessa2json on the PATH is $(command -v kessa2json), not the package's" >&2
  exit 1
fi
kessa2json examples/demo.kessa "$work/demo.json"
cmp examples/demo.json "$work/demo.json"
man -w kessa2json
# The language server beside it: its page, and a session from initialize to exit with status 0.
if [ "$(command -v kessa-language-server)" != /usr/bin/kessa-language-server ]; then
  echo "check-packages: kessa-language-server is not the package's" >&2
  exit 1
fi
man -w kessa-language-server
lsp_session() {
  for body in '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}}' \
    '{"jsonrpc":"2.0","id":2,"method":"shutdown"}' '{"jsonrpc":"2.0","method":"exit"}'; do
    printf 'Content-Length: %d\r\n\r\n%s' "${#body}" "$body"
  done
}
lsp_session | kessa-language-server | grep -q '"name":"kessa-language-server"'
cmake -S examples/embed -B "$work/embed" -G Ninja >/dev/null
cmake --build "$work/embed" >/dev/null
"$work/embed/embed" | diff -u examples/embed/expected_output.txt -
dpkg -L "${packages[@]}" | grep -v '^/\.$' >"$work/listed"
dpkg -r "${packages[@]}"
existing <"$work/listed" | comm -23 - "$work/before" >"$work/left"
if [ -s "$work/left" ]; then
  echo "check-packages: left behind after dpkg -r:" >&2
  cat "$work/left" >&2
  exit 1
fi
lintian --fail-on error "${debs[@]}"
# The tarball holds both programs and both pages.
tar -tzf dist/kessa2json-*-linux-amd64.tar.gz | grep -E '/(bin/kessa(2json|-language-server)|man1/kessa(2json|-language-server)\.1\.gz)$' |
  wc -l | grep -qx 4
echo "check-packages: the Debian packages install, work, and remove cleanly"

if [ ${#platforms[@]} -eq 1 ]; then
  echo "check-packages: Windows zip SKIPPED: the cross compiler or Wine could not be installed."
  exit 0
fi
# Wine as scripts/test-windows.sh runs it, in the Windows build's prefix, made first if new, with
# one server kept up.
export WINEPREFIX="$PWD/build/windows/wine" WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wine_server=$(command -v wineserver || echo /usr/lib/wine/wineserver)
mkdir -p "$WINEPREFIX"
"$wine_server" -p
env -u DISPLAY "$wine" wineboot --init </dev/null >/dev/null 2>&1
unzip -q dist/kessa2json-*-win64.zip -d "$work"
(cd "$work"/kessa2json-*-win64 && LC_ALL=C ls) | diff -u - <(printf '%s\n' CHANGELOG.md LICENSE README.md \
  kessa-language-server.exe kessa-language-server.txt kessa2json.exe kessa2json.txt)
cp examples/demo.kessa "$work"
(cd "$work" && env -u DISPLAY "$wine" kessa2json-*-win64/kessa2json.exe demo.kessa win.json)
cmp examples/demo.json "$work/win.json"
lsp_session | env -u DISPLAY "$wine" "$work"/kessa2json-*-win64/kessa-language-server.exe |
  grep -q '"name":"kessa-language-server"'
echo "check-packages: the Windows zip's kessa2json.exe converts the example, and its language server answers"
