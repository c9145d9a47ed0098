#!/usr/bin/env bash
# Builds the release packages into dist/ (emptied first), with their SHA-256 sums in SHA256SUMS:
#   linux    kessa2json_<version>_amd64.deb, kessa2json-dev_<version>_amd64.deb and
#            kessa2json-<version>-linux-amd64.tar.gz, from the release preset (build/release)
#   windows  kessa2json-<version>-win64.zip, cross-built with the windows preset (build/windows)
#
#   scripts/release.sh [linux] [windows]       (default: both)
#
# Installs the Debian packages the builds need when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
platforms=("$@")
[ ${#platforms[@]} -gt 0 ] || platforms=(linux windows)

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)   # the language server's
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)     # the .deb's dependencies
for platform in "${platforms[@]}"; do
  case $platform in
    linux) command -v g++ >/dev/null || need+=(g++) ;;
    windows)
      command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
      [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)   # the preset's tests
      command -v groff >/dev/null || need+=(groff-base)    # the man page as text
      command -v col >/dev/null || need+=(bsdextrautils) ;;
    *) echo "release.sh: unknown platform '$platform' (linux or windows)" >&2; exit 2 ;;
  esac
done
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

rm -rf dist
for platform in "${platforms[@]}"; do
  if [ "$platform" = linux ]; then
    cmake --workflow --preset release
  else
    cmake --preset windows
    cmake --build --preset windows --target kessa2json kessa-language-server
    cpack --preset windows
  fi
done
rm -rf dist/_CPack_Packages   # CPack's staging area
(cd dist && sha256sum -- * >SHA256SUMS)
ls -l dist
