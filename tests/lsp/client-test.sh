#!/bin/sh
# Runs the language server with real clients, configured by doc/editors.md's own lines:
#   client-test.sh node     protocol.test.mjs under node --test, through vscode-languageserver-protocol
#   client-test.sh neovim   headless Neovim with each of doc/editors.md's Neovim blocks as its
#                           init.lua (on a Neovim older than a block's, over the stand-ins of
#                           neovim-newer.lua), running neovim.lua: its output must be
#                           neovim.expected
#   client-test.sh emacs    batch Emacs with eglot and doc/editors.md's Emacs lines, running
#                           emacs.el: its output must be emacs.expected, and the server must end
#                           with 0
# (Neovim, Emacs and Helix each save a file out of the layout, which must come out in it)
#   client-test.sh helix    doc/editors.md's languages.toml, read and started as Helix does, and a
#                           file formatted as it saves it (helix.py)
#   client-test.sh manual   the manual page shows doc/editors.md's editor lines
# KESSA_LANGUAGE_SERVER names the server, KESSA2JSON the tool and KESSA_FORMAT the program that
# writes a file's layout, which each editor's formatted document must have. Exits 77, which CTest counts as
# skipped, with the reason, where the client or its packages are not installed.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
skip() {
  echo "SKIPPED: $1"
  exit 77
}
fail() {
  echo "FAILED: $1"
  exit 1
}

# The lines of the block NAME of doc/editors.md, or of the manual page: those between the marker
# that names it and the end of the block.
readme_block() {
  awk -v marker="<!-- lines run by tests/lsp/client-test.sh: $1 -->" '
    $0 == marker { at = 1; next }
    at == 1 && /^```/ { at = 2; next }
    at == 2 && /^```/ { found = 1; exit }
    at == 2 { print }
    END { if (!found) exit 1 }' "$root/doc/editors.md" || fail "doc/editors.md has no block $1"
}
manual_block() {
  awk -v marker=".\\\\\" lines run by tests/lsp/client-test.sh: $1" '
    $0 == marker { at = 1; next }
    at == 1 && $0 == ".RS" { at = 2; next }
    at == 2 && $0 == ".RE" { found = 1; exit }
    at == 2 { gsub(/\\e/, "\\"); gsub(/\\-/, "-"); print }
    END { if (!found) exit 1 }' "$root/doc/kessa-language-server.1" ||
    fail "the manual page has no block $1"
}
blocks="neovim-0.11 neovim-0.8 neovim-0.7 emacs helix"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A folder on the PATH with the server under its name, as doc/editors.md's lines expect it.
server_on_path() {
  mkdir "$work/bin"
  ln -s "$KESSA_LANGUAGE_SERVER" "$work/bin/kessa-language-server"
  PATH=$work/bin:$PATH
  export PATH
}

# A file with findings on a line with a two-byte character, so that columns in characters, in
# bytes and in UTF-16 units differ.
sample() {
  printf 'name=demo\nzip="01234"\nmotd = "Hello, w\303\266rld"\n' >"$1"
}

# A file out of the layout, with a finding (whose diagnostic a client waits for) and characters
# beyond ASCII on lines that change; its copy $1.orig stays as written.
unformatted() {
  printf 'name= w\303\266rld\nbox={w=10\n  deep={zip="01234"\n}\n}\ntags={a,"\303\251"}\n' >"$1"
  cp "$1" "$1.orig"
}
# Fails unless the file $1 has the layout of $1.orig, as the library writes it; $2 saved it.
formatted() {
  "$KESSA_FORMAT" "$1.orig" >"$1.layout" || fail "format_text refused $1.orig"
  cmp -s "$1.layout" "$1" || { diff -u "$1.layout" "$1"; fail "$2 saved $1 out of the layout"; }
}

# The schema that doc/editors.md's settings name, in the folder $1, and a file it checks there.
service() {
  mkdir -p "$1/schemas"
  cat >"$1/schemas/service.schema.json" <<'EOF'
{
    "type": "object",
    "required": ["name", "port"],
    "properties": {
        "name": {"type": "string", "description": "The service's name."},
        "port": {"type": "integer", "maximum": 65535, "description": "The TCP port it listens on."},
        "mode": {"enum": ["fast", "safe"], "description": "How it runs."},
        "version": {"type": "string"}
    }
}
EOF
  printf 'name=demo\nport=70000\nmode=f\n\n' >"$1/service.kessa"
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
    server_on_path
    for version in 0.7 0.8 0.11; do
      dir=$work/$version
      mkdir "$dir"
      sample "$dir/conf.kessa"
      unformatted "$dir/unformatted.kessa"
      printf 'port=08080\n' >"$dir/other.kessa"
      service "$dir"
      if [ "$version" != 0.7 ]; then cat "$here/neovim-newer.lua" >"$dir/init.lua"; fi
      readme_block "neovim-$version" >>"$dir/init.lua"
      # Neovim's state, its LSP log included, stays in the scratch folder; the files are opened
      # by their names in the folder, as typed.
      if ! (cd "$dir" && HOME=$dir XDG_CONFIG_HOME=$dir XDG_DATA_HOME=$dir \
        XDG_STATE_HOME=$dir XDG_CACHE_HOME=$dir NVIM_LOG_FILE=$dir/log \
        KESSA_NVIM_FILE=conf.kessa KESSA_NVIM_OTHER=other.kessa KESSA_NVIM_SERVICE=service.kessa \
        KESSA_NVIM_UNFORMATTED=unformatted.kessa \
        KESSA_NVIM_OUT=$dir/out.txt \
        KESSA_NVIM_SCRIPT=$here/neovim.lua timeout 300 nvim --headless -n -i NONE \
        -u "$dir/init.lua" -c 'lua dofile(os.getenv("KESSA_NVIM_SCRIPT"))' </dev/null); then
        cat "$dir/out.txt" 2>/dev/null || true
        fail "Neovim $(nvim --version | head -n 1) with doc/editors.md's lines for $version"
      fi
      diff -u "$here/neovim.expected" "$dir/out.txt" ||
        fail "Neovim with doc/editors.md's lines for $version showed something else"
      formatted "$dir/unformatted.kessa" "Neovim with doc/editors.md's lines for $version"
      echo "Neovim with doc/editors.md's lines for $version showed the expected diagnostics," \
        "hovers and completion, and formatted a file as it was saved"
    done
    ;;
  emacs)
    command -v emacs >/dev/null ||
      skip "Emacs is not installed (apt-get install emacs-nox elpa-eglot)"
    # Batch Emacs reads no init file of its own; it still loads the system's site files, which
    # on Debian find the packages installed with apt.
    export HOME="$work"
    emacs --batch --eval '(progn (package-initialize) (kill-emacs (if (locate-library "eglot") 0 3)))' \
      >/dev/null 2>&1 || skip "eglot is not installed (apt-get install elpa-eglot)"
    server_on_path
    sample "$work/conf.kessa"
    unformatted "$work/unformatted.kessa"
    service "$work"
    readme_block emacs >"$work/init.el"
    # eglot 1.9 kills the process it started, with its process group, as soon as it has written
    # the exit notification. So the name on the PATH starts the server in a session of its own,
    # which writes the server's own exit status into the pipe "status" once it ends.
    rm "$work/bin/kessa-language-server"
    cat >"$work/bin/kessa-language-server" <<'EOF'
#!/bin/sh
exec 3<&0
setsid sh -c 'exec 4>"$1"; "$0" <&3 3<&-; echo $? >&4' "$KESSA_LANGUAGE_SERVER" "$KESSA_STATUS" &
wait
EOF
    chmod +x "$work/bin/kessa-language-server"
    mkfifo "$work/status"
    cat "$work/status" >"$work/status.txt" &
    reader=$!
    export KESSA_STATUS="$work/status"
    # The packages activated, as before an init file, then doc/editors.md's lines, then the test.
    if ! (cd "$work" && KESSA_EMACS_FILE=$work/conf.kessa KESSA_EMACS_OUT=$work/out.txt \
      timeout 300 emacs --batch --eval '(package-initialize)' -l "$work/init.el" \
      -l "$here/emacs.el" </dev/null >"$work/emacs.log" 2>&1); then
      kill "$reader" 2>/dev/null || true
      cat "$work/emacs.log" "$work/out.txt" 2>/dev/null || true
      fail "Emacs with eglot and doc/editors.md's lines"
    fi
    wait "$reader"
    diff -u "$here/emacs.expected" "$work/out.txt" ||
      { cat "$work/emacs.log"; fail "Emacs with eglot showed something else"; }
    [ "$(cat "$work/status.txt")" = 0 ] ||
      fail "the server ended with status '$(cat "$work/status.txt")' after eglot shut it down"
    formatted "$work/unformatted.kessa" "Emacs with eglot and doc/editors.md's lines"
    echo "Emacs with eglot showed the expected diagnostics, hover, outline and fix, formatted" \
      "a file as it was saved, and the server ended with status 0"
    ;;
  helix)
    [ -x /usr/bin/python3 ] || skip "Debian's python3 is not installed"
    server_on_path
    readme_block helix >"$work/languages.toml"
    unformatted "$work/unformatted.kessa"
    exec /usr/bin/python3 "$here/helix.py" "$work/languages.toml" "$work/unformatted.kessa"
    ;;
  manual)
    for block in $blocks; do
      readme_block "$block" >"$work/readme"
      manual_block "$block" >"$work/manual"
      diff -u "$work/readme" "$work/manual" ||
        fail "the manual page's lines for $block are not those of doc/editors.md"
    done
    echo "The manual page shows doc/editors.md's editor lines"
    ;;
  *)
    echo "usage: client-test.sh node|neovim|emacs|helix|manual" >&2
    exit 2
    ;;
esac
