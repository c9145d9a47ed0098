#!/usr/bin/env bash
# Checks the release packages as a user meets them, after building them with scripts/release.sh.
# Debian (as root): installs both .deb files, converts examples/demo.kessa with the kessa2json on
# the PATH and formats it with the kessafmt there, finds the man pages of the tool, the language
# server and the formatter, runs a language server session, builds
# examples/embed against the installed -dev package with a plain find_package, then removes both
# packages and finds none of their files left; lintian reports no error. Any Linux: each program
# of the tarballs and each server of the Linux .vsix files is statically linked, and runs alone in
# an empty directory under chroot (--version, a conversion or a formatting, a language server
# session); the arm64
# ones under qemu-user-static, skipped, without failing, when the cross compiler or qemu cannot be
# installed. Windows: kessa2json.exe from the zip converts the example under Wine, and kessafmt.exe
# formats it; skipped,
# without failing, when the cross compiler or Wine cannot be installed. VS Code: each .vsix holds
# the manifest, the grammar, the client with its npm packages and an executable server, and the
# server answers an initialize request (the Windows one under Wine); skipped, without failing,
# when node or the extension's npm packages cannot be installed. Installs the Debian packages the
# checks need when missing, and leaves the packages uninstalled whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(kessa2json kessa2json-dev)
# dist/ may also hold other versions' packages (scripts/release.sh replaces only its own).
version=$(sed -n 's/^project(kessa2json VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ "$(id -u)" -ne 0 ]; then
  echo "check-packages: installs packages with dpkg, so it runs as root only" >&2
  exit 1
fi

need=()
command -v lintian >/dev/null || need+=(lintian)
command -v man >/dev/null || need+=(man-db)
command -v unzip >/dev/null || need+=(unzip)
command -v readelf >/dev/null || need+=(binutils)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi
# Installs the Debian packages named, where missing; false where they cannot be installed.
installs() {
  [ $# -eq 0 ] || { timeout 600 apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive timeout 1200 apt-get install -y -q --no-install-recommends "$@"; }
}
platforms=(linux)
# The 64-bit ARM build's compiler, and qemu to run what it builds; without them, no arm64 packages.
need=()
command -v aarch64-linux-gnu-g++ >/dev/null || need+=(g++-aarch64-linux-gnu)
command -v qemu-aarch64-static >/dev/null || need+=(qemu-user-static)
arm64=false
if installs "${need[@]}"; then
  arm64=true
  platforms+=(linux-arm64)
fi
# The Windows build's packages, as scripts/test-windows.sh installs them; without them, no zip.
need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ] || need+=(wine64)
windows=false
if installs "${need[@]}"; then
  windows=true
  platforms+=(windows)
fi
# The extension's tools, as .ci/run installs them; without them, no .vsix.
vscode=true
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  { timeout 600 apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive timeout 1200 apt-get install -y -q --no-install-recommends \
      nodejs npm; } || vscode=false
fi
if $vscode && [ ! -d editors/vscode/node_modules ] &&
  ! (cd editors/vscode && timeout 900 npm ci --no-audit --no-fund); then
  rm -rf editors/vscode/node_modules   # no half-installed packages for the next run to trust
  vscode=false
fi
if $vscode; then
  scripts/release.sh "${platforms[@]}" vscode
else
  scripts/release.sh "${platforms[@]}"
fi

work=$(mktemp -d)
wine_server=""
# What every kessafmt of the packages must make of the example.
printf 'name=demo\nsize=3\nbox={\n    w=10\n    h=20\n}\ntags={red,"dark blue",7}\n' \
  >"$work/demo-formatted.kessa"
# And every json2kessa of the example's JSON: "dark blue" needs no quotes.
printf 'name=demo\nsize=3\nbox={\n    w=10\n    h=20\n}\ntags={red,dark blue,7}\n' \
  >"$work/demo-from-json.kessa"
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
debs=("dist/kessa2json_${version}_amd64.deb" "dist/kessa2json-dev_${version}_amd64.deb")
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
# The formatter beside them: its page, and the example formatted as the sources' build does.
if [ "$(command -v kessafmt)" != /usr/bin/kessafmt ]; then
  echo "check-packages: kessafmt is not the package's" >&2
  exit 1
fi
man -w kessafmt
kessafmt examples/demo.kessa | cmp - "$work/demo-formatted.kessa"
# JSON to kessa beside them: its page, and the example's JSON written back as its layout.
if [ "$(command -v json2kessa)" != /usr/bin/json2kessa ]; then
  echo "check-packages: json2kessa is not the package's" >&2
  exit 1
fi
man -w json2kessa
json2kessa examples/demo.json - | cmp - "$work/demo-from-json.kessa"
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
echo "check-packages: the Debian packages install, work, and remove cleanly"

# PROGRAM, built for MACHINE (as readelf names it), needs no shared library and runs alone: copied
# into an empty directory, it runs there under chroot, so that nothing of this system's can reach
# it. kessa2json prints its version and converts the example through standard input and output;
# the language server goes through a session from initialize to exit. Where PROGRAM is for
# another processor, EMULATOR (qemu-user, itself static) is copied beside it and runs it.
runs_alone() {
  local program=$1 machine=$2 emulator=${3:-} root=$work/alone
  local name
  name=$(basename "$program")
  if ! readelf -h "$program" | grep -q "Machine: *$machine"; then
    echo "check-packages: $program is not built for $machine" >&2
    return 1
  fi
  if readelf -d "$program" | grep -q NEEDED; then
    echo "check-packages: $program needs shared libraries:" >&2
    readelf -d "$program" | grep NEEDED >&2
    return 1
  fi
  rm -rf "$root"
  mkdir "$root"
  cp "$program" "$root/"
  local run=(timeout 120 chroot "$root")
  if [ -n "$emulator" ]; then
    cp "$emulator" "$root/"
    run+=("/$(basename "$emulator")")
  fi
  run+=("/$name")
  case $name in
    kessa2json)
      [ "$("${run[@]}" --version)" = "kessa2json $version" ] &&
        "${run[@]}" - - <examples/demo.kessa | cmp - examples/demo.json || {
        echo "check-packages: $program does not run alone" >&2
        return 1
      } ;;
    kessafmt)
      [ "$("${run[@]}" --version)" = "kessafmt $version" ] &&
        "${run[@]}" <examples/demo.kessa | cmp - "$work/demo-formatted.kessa" || {
        echo "check-packages: $program does not run alone" >&2
        return 1
      } ;;
    json2kessa)
      [ "$("${run[@]}" --version)" = "json2kessa $version" ] &&
        "${run[@]}" - - <examples/demo.json | cmp - "$work/demo-from-json.kessa" || {
        echo "check-packages: $program does not run alone" >&2
        return 1
      } ;;
    kessa-language-server)
      lsp_session | "${run[@]}" >"$work/answers" && grep -q '"name":"kessa-language-server"' \
        "$work/answers" || {
        echo "check-packages: $program does not answer alone" >&2
        return 1
      } ;;
  esac
}

# Each tarball holds the four programs, statically linked, and their pages.
tarball_runs_alone() {
  local architecture=$1 machine=$2 emulator=${3:-}
  local tarball=dist/kessa2json-$version-linux-$architecture.tar.gz dir=$work/tar-$architecture
  tar -tzf "$tarball" |
    grep -E '/(bin/(kessa2json|kessa-language-server|kessafmt|json2kessa)|man1/(kessa2json|kessa-language-server|kessafmt|json2kessa)\.1\.gz)$' |
    wc -l | grep -qx 8
  mkdir -p "$dir"
  tar -xzf "$tarball" -C "$dir" --strip-components=1
  runs_alone "$dir/bin/kessa2json" "$machine" "$emulator"
  runs_alone "$dir/bin/kessa-language-server" "$machine" "$emulator"
  runs_alone "$dir/bin/kessafmt" "$machine" "$emulator"
  runs_alone "$dir/bin/json2kessa" "$machine" "$emulator"
}
tarball_runs_alone amd64 'Advanced Micro Devices X86-64'
echo "check-packages: the amd64 tarball's programs are static and run alone"
if $arm64; then
  tarball_runs_alone arm64 AArch64 "$(command -v qemu-aarch64-static)"
  echo "check-packages: the arm64 tarball's programs are static and run alone under qemu"
else
  echo "check-packages: arm64 packages SKIPPED: the cross compiler or qemu could not be installed."
fi

# A language server run as COMMAND... answers initialize (announcing the kessa.convert command
# that the extension's client sends) and shutdown, and exits with status 0 on exit.
answers_initialize() {
  local message
  for message in \
    '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"processId":null,"rootUri":null,"capabilities":{}}}' \
    '{"jsonrpc":"2.0","method":"initialized","params":{}}' \
    '{"jsonrpc":"2.0","id":2,"method":"shutdown"}' '{"jsonrpc":"2.0","method":"exit"}'; do
    printf 'Content-Length: %d\r\n\r\n%s' "${#message}" "$message"
  done | timeout 120 "$@" >"$work/answers" || {
    echo "check-packages: the language server $* failed or did not exit with status 0" >&2
    return 1
  }
  node -e '
    const text = require("fs").readFileSync(process.argv[1], "latin1");
    const answers = text.split(/Content-Length: \d+\r\n\r\n/).filter(Boolean).map((m) => JSON.parse(m));
    const initialize = answers.find((a) => a.id === 1), shutdown = answers.find((a) => a.id === 2);
    const commands = initialize?.result?.capabilities?.executeCommandProvider?.commands ?? [];
    if (!commands.includes("kessa.convert") || !shutdown || "error" in shutdown) {
      console.error("check-packages: the server answered", text);
      process.exit(1);
    }' "$work/answers"
}

# Each .vsix as VS Code unpacks it: for TARGET, the manifest names the platform, the language, its
# grammar and the client; the client loads with the npm packages the .vsix holds; the license and
# the server are there, the server executable.
check_vsix() {
  local target=$1 server=$2
  local vsix=dist/kessa2json-$version-vscode-$target.vsix dir=$work/vsix-$target
  unzip -q "$vsix" -d "$dir" || return 1
  grep -q "TargetPlatform=\"$target\"" "$dir/extension.vsixmanifest" || {
    echo "check-packages: $vsix is not made for $target" >&2
    return 1
  }
  node -e '
    const fs = require("fs"), path = require("path");
    const [dir, version] = process.argv.slice(1);
    const manifest = JSON.parse(fs.readFileSync(path.join(dir, "package.json"), "utf8"));
    const grammar = manifest.contributes.grammars[0];
    const wrong = [
      manifest.version === version || `version ${manifest.version}`,
      manifest.contributes.languages[0].extensions.includes(".kessa") || "no *.kessa",
      JSON.parse(fs.readFileSync(path.join(dir, grammar.path), "utf8")).scopeName === grammar.scopeName || "grammar",
      fs.existsSync(path.join(dir, manifest.main)) || "no client",
      fs.existsSync(path.join(dir, manifest.contributes.languages[0].configuration)) || "no language configuration",
      manifest.contributes.languages[0].id === "kessa" || "no language kessa",
    ].filter((check) => check !== true);
    if (wrong.length) { console.error("check-packages: the .vsix manifest:", wrong.join(", ")); process.exit(1); }
    // The client loads with what the package holds: every module it needs, but VS Code"s own API.
    const Module = require("module"), load = Module._load;
    const api = new Proxy(function () {}, { get: (_, key) => (key === "then" ? undefined : api) });
    Module._load = function (request, ...rest) { return request === "vscode" ? api : load.call(this, request, ...rest); };
    const client = require(path.join(dir, manifest.main));
    if (typeof client.activate !== "function") { console.error("check-packages: no activate"); process.exit(1); }
  ' "$dir/extension" "$version" || return 1
  cmp LICENSE "$dir/extension/LICENSE.txt" || return 1
  [ -x "$dir/extension/server/$server" ] || {
    echo "check-packages: $vsix has no executable server/$server" >&2
    return 1
  }
}

if $vscode; then
  check_vsix linux-x64 kessa-language-server
  answers_initialize "$work/vsix-linux-x64/extension/server/kessa-language-server"
  runs_alone "$work/vsix-linux-x64/extension/server/kessa-language-server" \
    'Advanced Micro Devices X86-64'
  if $arm64; then
    check_vsix linux-arm64 kessa-language-server
    runs_alone "$work/vsix-linux-arm64/extension/server/kessa-language-server" AArch64 \
      "$(command -v qemu-aarch64-static)"
    answers_initialize qemu-aarch64-static \
      "$work/vsix-linux-arm64/extension/server/kessa-language-server"
  fi
  ls -l dist/kessa2json-"$version"-vscode-*.vsix
  echo "check-packages: the Linux .vsix files hold the extension and a static server that answers"
else
  echo "check-packages: VS Code extensions SKIPPED: node or the npm packages could not be installed."
fi

if ! $windows; then
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
unzip -q "dist/kessa2json-$version-win64.zip" -d "$work"
(cd "$work"/kessa2json-*-win64 && LC_ALL=C ls) | diff -u - <(printf '%s\n' CHANGELOG.md LICENSE README.md \
  doc json2kessa.exe json2kessa.txt kessa-language-server.exe kessa-language-server.txt \
  kessa2json.exe kessa2json.txt kessafmt.exe kessafmt.txt)
# The pages the README links to, beside it.
(cd "$work"/kessa2json-*-win64/doc && LC_ALL=C ls) | diff -u - <(cd doc && LC_ALL=C ls -- *.md page.png)
cp examples/demo.kessa "$work"
(cd "$work" && env -u DISPLAY "$wine" kessa2json-*-win64/kessa2json.exe demo.kessa win.json)
cmp examples/demo.json "$work/win.json"
(cd "$work" && env -u DISPLAY "$wine" kessa2json-*-win64/kessafmt.exe -w demo.kessa)
cmp "$work/demo-formatted.kessa" "$work/demo.kessa"
cp examples/demo.json "$work"
(cd "$work" && env -u DISPLAY "$wine" kessa2json-*-win64/json2kessa.exe demo.json back.kessa)
cmp "$work/demo-from-json.kessa" "$work/back.kessa"
lsp_session | env -u DISPLAY "$wine" "$work"/kessa2json-*-win64/kessa-language-server.exe |
  grep -q '"name":"kessa-language-server"'
echo "check-packages: the Windows zip's kessa2json.exe converts the example, kessafmt.exe formats it, json2kessa.exe writes its JSON back, and its language server answers"
if $vscode; then
  check_vsix win32-x64 kessa-language-server.exe
  answers_initialize env -u DISPLAY "$wine" "$work/vsix-win32-x64/extension/server/kessa-language-server.exe"
  echo "check-packages: the Windows .vsix holds the extension and a server that answers under Wine"
fi
