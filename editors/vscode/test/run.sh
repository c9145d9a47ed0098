#!/bin/sh
# The extension's tests, for CTest:
#   run.sh samples           the annotated samples in test/samples, with vscode-tmgrammar-test
#   run.sh typing KESSA2JSON the numbers of generated values against the tool's typing
#   run.sh client KESSA2JSON SERVER FORMAT
#                            the client, with VS Code's API played by test/fake-vscode.js;
#                            FORMAT writes a file's layout (tests/lsp/format_text.cpp)
# Exits 77 (skipped), saying why, where node or the npm packages (npm ci here) are missing.
set -eu
cd "$(dirname "$0")/.."
if ! command -v node >/dev/null 2>&1; then
  echo "SKIPPED: node is not installed"
  exit 77
fi
for package in vscode-tmgrammar-test vscode-textmate vscode-oniguruma vscode-languageclient; do
  if [ ! -f "node_modules/$package/package.json" ]; then
    echo "SKIPPED: the npm package $package is missing; run npm ci in editors/vscode"
    exit 77
  fi
done
case ${1-} in
  samples) exec node node_modules/vscode-tmgrammar-test/dist/unit.js --compact \
    --grammar syntaxes/kessa.tmLanguage.json 'test/samples/*.kessa' ;;
  typing) KESSA2JSON=$2 exec node --test test/typing.test.js ;;
  client) KESSA2JSON=$2 KESSA_LANGUAGE_SERVER=$3 KESSA_FORMAT=$4 exec node --test test/client.test.js ;;
  *) echo "usage: run.sh samples | typing KESSA2JSON | client KESSA2JSON SERVER FORMAT" >&2; exit 2 ;;
esac
