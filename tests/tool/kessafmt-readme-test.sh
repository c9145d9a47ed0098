#!/usr/bin/env bash
# The transcripts of kessafmt in its page (doc/formatter.md), each run as written
# (tests/readme_transcript.sh) in a scratch folder whose conf/ holds the kessa files of
# examples/, with BIN (kessafmt's folder) first on the PATH.
#
#   tests/tool/kessafmt-readme-test.sh PAGE EXAMPLES BIN
set -euo pipefail
readme=$1 examples=$2 bin=$3
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/conf"
cp "$examples"/*.kessa "$work/conf/"
for name in format-layout format-commands format-traps format-stays; do
  bash "$here/readme_transcript.sh" "$readme" "$name" "$work" "$bin"
done
