#!/usr/bin/env bash
# Builds the release packages into dist/ (emptied first), with their SHA-256 sums in SHA256SUMS:
#   linux    kessa2json_<version>_amd64.deb, kessa2json-dev_<version>_amd64.deb and
#            kessa2json-<version>-linux-amd64.tar.gz, from the release preset (build/release)
#   windows  kessa2json-<version>-win64.zip, cross-built with the windows preset (build/windows)
#   vscode   the VS Code extension (editors/vscode) for each of those platforms, with its language
#            server: kessa2json-<version>-vscode-linux-x64.vsix and
#            kessa2json-<version>-vscode-win32-x64.vsix, packaged by @vscode/vsce, which needs
#            neither the network nor a publisher's login for that
#   python   the Python module's wheel, kessa-<version>-cp311-cp311-linux_x86_64.whl, built by
#            Debian's Python and setuptools (no package index)
#
#   scripts/release.sh [linux] [windows] [vscode] [python]       (default: all four)
#
# Installs the Debian packages the builds need when they are missing, and the extension's npm
# packages (npm ci) when editors/vscode/node_modules is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
platforms=("$@")
[ ${#platforms[@]} -gt 0 ] || platforms=(linux windows vscode python)
vscode=false
python=false
builds=0   # linux and windows
for platform in "${platforms[@]}"; do
  case $platform in
    vscode) vscode=true ;;
    python) python=true ;;
    *) builds=$((builds + 1)) ;;
  esac
done
if $vscode && [ "$builds" -eq 0 ]; then
  echo "release.sh: vscode packages the extension for linux or windows: name one of them too" >&2
  exit 2
fi
version=$(sed -n 's/^project(kessa2json VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)   # the language server's
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)     # the .deb's dependencies
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)   # the language server
for platform in "${platforms[@]}"; do
  case $platform in
    linux) command -v g++ >/dev/null || need+=(g++) ;;
    windows)
      command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
      [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)   # the preset's tests
      command -v groff >/dev/null || need+=(groff-base)    # the man page as text
      command -v col >/dev/null || need+=(bsdextrautils) ;;
    vscode)
      command -v node >/dev/null || need+=(nodejs)
      command -v npm >/dev/null || need+=(npm) ;;
    python) source scripts/python-packages.sh ;;
    *)
      echo "release.sh: unknown platform '$platform' (linux, windows, vscode or python)" >&2
      exit 2 ;;
  esac
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

# The extension for one VS Code target, holding the language server built for it, stripped:
# staged in build/vscode/TARGET (the sources copied, the npm packages linked, the version the
# project's) and packaged by vsce into dist/.
package_extension() {
  local target=$1 server=$2 strip=$3
  local stage=build/vscode/$target root=$PWD
  rm -rf "$stage"
  mkdir -p "$stage/server"
  tar -C editors/vscode --exclude=./node_modules -cf - . | tar -C "$stage" -xf -
  cp -al editors/vscode/node_modules "$stage/" 2>/dev/null || cp -a editors/vscode/node_modules "$stage/"
  (cd "$stage" && npm pkg set version="$version")
  install -m 0755 -s --strip-program="$strip" "$server" "$stage/server/"
  (cd "$stage" && node_modules/.bin/vsce package --target "$target" --allow-missing-repository \
    --out "$root/dist/kessa2json-$version-vscode-$target.vsix")
}

rm -rf dist
for platform in "${platforms[@]}"; do
  case $platform in
    linux) cmake --workflow --preset release ;;
    windows)
      cmake --preset windows
      cmake --build --preset windows --target kessa2json kessa-language-server
      cpack --preset windows ;;
  esac
done
rm -rf dist/_CPack_Packages   # CPack's staging area
if $python; then
  # Built afresh: setuptools builds in the source folder, and would keep objects of other sources.
  rm -rf python/build python/kessa.egg-info
  /usr/bin/python3 -m pip wheel -q --no-build-isolation --no-deps --no-index -w dist python/
fi
if $vscode; then
  [ -d editors/vscode/node_modules ] || (cd editors/vscode && npm ci --no-audit --no-fund)
  for platform in "${platforms[@]}"; do
    case $platform in
      linux) package_extension linux-x64 build/release/kessa-language-server strip ;;
      windows)
        package_extension win32-x64 build/windows/kessa-language-server.exe x86_64-w64-mingw32-strip ;;
    esac
  done
fi
(cd dist && sha256sum -- * >SHA256SUMS)
ls -l dist
