#!/bin/sh
# Runs the language server's tests with a real client:
#   client-test.sh node     protocol.test.mjs under node --test, through vscode-languageserver-protocol
#   client-test.sh neovim   neovim.lua in headless Neovim, whose output must be neovim.expected
# KESSA_LANGUAGE_SERVER names the server and KESSA2JSON the tool. Exits 77, which CTest counts as
# skipped, with the reason, where the client or its packages are not installed.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
skip() {
  echo "SKIPPED: $1"
  exit 77
}
case ${1:-} in
  node)
    command -v node >/dev/null || skip "node is not installed"
    [ -d "$here/node_modules/vscode-languageserver-protocol" ] ||
      skip "the npm packages are not installed (npm ci in tests/lsp)"
    cd "$here"
    exec node --test protocol.test.mjs
    ;;
  neovim)
    command -v nvim >/dev/null || skip "Neovim is not installed (apt-get install neovim)"
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    # A line with a two-byte character, so that Neovim's byte columns differ from UTF-16's.
    printf 'name=demo\nzip="01234"\nmotd = "Hello, w\303\266rld"\n' >"$work/conf.kessa"
    # Neovim's state, its LSP log included, stays in the scratch folder.
    HOME=$work XDG_CONFIG_HOME=$work XDG_DATA_HOME=$work XDG_STATE_HOME=$work \
      XDG_CACHE_HOME=$work KESSA_NVIM_FILE=$work/conf.kessa KESSA_NVIM_OUT=$work/out.txt \
      timeout 120 nvim --headless --clean -n -i NONE -u NONE -c "luafile $here/neovim.lua" \
      </dev/null || { cat "$work/out.txt" 2>/dev/null; exit 1; }
    diff -u "$here/neovim.expected" "$work/out.txt"
    echo "Neovim showed the expected diagnostics and hover"
    ;;
  *)
    echo "usage: client-test.sh node|neovim" >&2
    exit 2
    ;;
esac
