#!/usr/bin/env bash
# Builds the release packages into dist/, with their SHA-256 sums in SHA256SUMS:
#   linux        kessa2json_<version>_amd64.deb, kessa2json-dev_<version>_amd64.deb and
#                kessa2json-<version>-linux-amd64.tar.gz, from the release preset (build/release);
#                the tarball's programs are statically linked, the .deb's as Debian links them
#   linux-arm64  kessa2json-<version>-linux-arm64.tar.gz, its programs statically linked,
#                cross-built with the linux-arm64 preset (build/linux-arm64)
#   windows      kessa2json-<version>-win64.zip, cross-built with the windows preset (build/windows)
#   vscode       the VS Code extension (editors/vscode) for each of those platforms, with its
#                language server (the static one on Linux): kessa2json-<version>-vscode-TARGET.vsix
#                for linux-x64, linux-arm64 and win32-x64, packaged by @vscode/vsce, which needs
#                neither the network nor a publisher's login for that
#
#   js           the npm package kessa2json-<version>.tgz and the page kessa2json-<version>-page.zip
#   python       the Python module's wheel, kessa-<version>-cp311-cp311-linux_x86_64.whl, built
#                by Debian's Python and setuptools (no package index)
#
#   scripts/release.sh [linux] [linux-arm64] [windows] [vscode] [js] [python]   (default: all)
#
# Installs the Debian packages the builds need when they are missing, and the extension's npm
# packages (npm ci) when editors/vscode/node_modules is missing, and the page's (web/) when they
# are not those of its lock file. The cross builds build what ships
# and no tests: they need no GoogleTest.
#
# Each step builds into a stage of its own and then replaces in dist/ exactly the files it made,
# with their lines of SHA256SUMS; nothing else there is touched, such as a wheel that the Python
# module's install lines built, or another step's packages.
set -euo pipefail

# The empty folder where the step $1 builds its packages: its name, printed.
stage() {
  local dir=build/release-stage/$1
  rm -rf "$dir"
  mkdir -p "$dir"
  echo "$dir"
}

# Moves each file (or folder) of the stage $1 into dist/, in place of any of the same name, and
# sets each file's line of dist/SHA256SUMS; the other lines stay while their files do.
publish() {
  local stage=$1 name sum
  local -a names=() files=()
  mkdir -p dist
  while IFS= read -r name; do
    rm -rf "dist/$name"
    mv "$stage/$name" "dist/$name"
    names+=("$name")
    if [ -f "dist/$name" ]; then files+=("$name"); fi
  done < <(cd "$stage" && LC_ALL=C ls -A)
  [ ${#names[@]} -gt 0 ] || return 0
  {
    if [ -f dist/SHA256SUMS ]; then
      while read -r sum name; do
        if [ -f "dist/$name" ] && ! printf '%s\n' "${names[@]}" | grep -qxF -- "$name"; then
          printf '%s  %s\n' "$sum" "$name"
        fi
      done <dist/SHA256SUMS
    fi
    if [ ${#files[@]} -gt 0 ]; then (cd dist && sha256sum -- "${files[@]}"); fi
  } | LC_ALL=C sort -k 2 >dist/SHA256SUMS.new
  mv dist/SHA256SUMS.new dist/SHA256SUMS
  (cd dist && ls -ld -- "${names[@]}")
}

# Sourced (by its test), it only defines the functions above.
if [ "${BASH_SOURCE[0]}" != "$0" ]; then return 0; fi

cd "$(dirname "$0")/.."
platforms=("$@")
[ ${#platforms[@]} -gt 0 ] || platforms=(linux linux-arm64 windows vscode js python)
vscode=false
builds=0   # linux, linux-arm64 and windows
for platform in "${platforms[@]}"; do
  case $platform in
    vscode) vscode=true ;;
    js | python) ;;
    *) builds=$((builds + 1)) ;;
  esac
done
if $vscode && [ "$builds" -eq 0 ]; then
  echo "release.sh: vscode packages the extension for linux, linux-arm64 or windows: name one of them too" >&2
  exit 2
fi
version=$(sed -n 's/^project(kessa2json VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)   # the language server's
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)     # the .deb's dependencies
for platform in "${platforms[@]}"; do
  case $platform in
    linux) command -v g++ >/dev/null || need+=(g++) ;;
    linux-arm64) command -v aarch64-linux-gnu-g++ >/dev/null || need+=(g++-aarch64-linux-gnu) ;;
    windows)
      command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
      command -v groff >/dev/null || need+=(groff-base)    # the man page as text
      command -v col >/dev/null || need+=(bsdextrautils) ;;
    vscode)
      command -v node >/dev/null || need+=(nodejs)
      command -v npm >/dev/null || need+=(npm) ;;
    js)
      [ -x /usr/bin/em++ ] || need+=(emscripten)
      command -v npm >/dev/null || need+=(npm)
      command -v zip >/dev/null || need+=(zip) ;;
    python) source scripts/python-packages.sh ;;
    *)
      echo "release.sh: unknown platform '$platform' (linux, linux-arm64, windows, vscode, js or python)" >&2
      exit 2 ;;
  esac
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

# CPack's packages of the preset $1, built, into the stage $2, without CPack's own staging area.
package() {
  cpack --preset "$1" -B "$PWD/$2"
  rm -rf "$2/_CPack_Packages"
}

# The extension for one VS Code target, holding the language server built for it, stripped:
# staged in build/vscode/TARGET (the sources copied, the npm packages linked, the version the
# project's) and packaged by vsce into the stage $4.
package_extension() {
  local target=$1 server=$2 strip=$3 out=$PWD/$4
  local stage=build/vscode/$target
  rm -rf "$stage"
  mkdir -p "$stage/server"
  tar -C editors/vscode --exclude=./node_modules -cf - . | tar -C "$stage" -xf -
  cp -al editors/vscode/node_modules "$stage/" 2>/dev/null || cp -a editors/vscode/node_modules "$stage/"
  (cd "$stage" && npm pkg set version="$version")
  install -m 0755 -s --strip-program="$strip" "$server" "$stage/server/"
  (cd "$stage" && node_modules/.bin/vsce package --target "$target" --allow-missing-repository \
    --out "$out/kessa2json-$version-vscode-$target.vsix")
}

for platform in "${platforms[@]}"; do
  [ "$platform" != vscode ] || continue   # after the builds whose servers it holds
  out=$(stage "$platform")
  case $platform in
    linux)
      cmake --preset release
      cmake --build --preset release
      package release "$out" ;;
    linux-arm64)
      cmake --preset linux-arm64
      cmake --build --preset linux-arm64
      package linux-arm64 "$out" ;;
    windows)
      # The preset's tests stay as they were where GoogleTest's sources are there to build them
      # (scripts/test-windows.sh runs them); elsewhere the programs need none.
      tests=()
      [ -f /usr/src/googletest/CMakeLists.txt ] || tests=(-DKESSA2JSON_TESTS=OFF)
      cmake --preset windows "${tests[@]}"
      cmake --build --preset windows --target kessa2json kessa-language-server kessafmt json2kessa
      package windows "$out" ;;
    js)
      # The page's editor and bundler (web/'s npm packages), from its lock file.
      scripts/page-packages.sh
      cmake --workflow --preset wasm
      npm pack --silent --pack-destination "$out" build/wasm/npm >/dev/null
      # The page in a folder of its own name, ready to put on any static web server.
      rm -rf "build/wasm/kessa2json-$version-page"
      cp -r build/wasm/web "build/wasm/kessa2json-$version-page"
      (cd build/wasm && zip -qr -X "../../$out/kessa2json-$version-page.zip" "kessa2json-$version-page") ;;
    python)
      # Built afresh: setuptools builds in the source folder, and would keep objects of other
      # sources.
      rm -rf python/build python/kessa.egg-info
      /usr/bin/python3 -m pip wheel -q --no-build-isolation --no-deps --no-index -w "$out" python/ ;;
  esac
  publish "$out"
done
if $vscode; then
  [ -d editors/vscode/node_modules ] || (cd editors/vscode && npm ci --no-audit --no-fund)
  out=$(stage vscode)
  for platform in "${platforms[@]}"; do
    case $platform in
      linux) package_extension linux-x64 build/release/static/kessa-language-server strip "$out" ;;
      linux-arm64)
        package_extension linux-arm64 build/linux-arm64/static/kessa-language-server \
          aarch64-linux-gnu-strip "$out" ;;
      windows)
        package_extension win32-x64 build/windows/kessa-language-server.exe \
          x86_64-w64-mingw32-strip "$out" ;;
    esac
  done
  publish "$out"
fi
