#!/usr/bin/env bash
# The README stays a front door: under 220 lines, the detail in doc/. Every relative link of
# README.md and doc/*.md leads to a file that exists, and one with a #fragment to a heading of
# that page (GitHub's anchors: lower case, punctuation dropped but - and _, blanks made -, a
# repeated heading's anchor numbered -1, -2, ...).
#
#   tests/readme_links.sh ROOT
set -euo pipefail
root=$(cd "$1" && pwd)
status=0
fail() {
  echo "$1" >&2
  status=1
}

lines=$(wc -l <"$root/README.md")
[ "$lines" -lt 220 ] ||
  fail "README.md has $lines lines; keep it under 220, with the detail in a page of doc/"

# The anchors of the headings of the page $1, outside fenced blocks.
anchors() {
  awk '/^ *```/ { fenced = !fenced; next }
    !fenced && /^#+ / {
      text = tolower($0)
      sub(/^#+ +/, "", text)
      gsub(/[^a-z0-9 _-]/, "", text)
      gsub(/ /, "-", text)
      anchor = seen[text]++ ? text "-" (seen[text] - 1) : text
      print anchor
    }' "$1"
}
# The target of each inline link or image of the page $1, outside fenced blocks and code spans.
links() {
  awk '/^ *```/ { fenced = !fenced; next }
    !fenced {
      line = $0
      gsub(/`[^`]*`/, "", line)
      while (match(line, /\]\([^)]*\)/)) {
        print substr(line, RSTART + 2, RLENGTH - 3)
        line = substr(line, RSTART + RLENGTH)
      }
    }' "$1"
}

for page in "$root/README.md" "$root"/doc/*.md; do
  name=${page#"$root"/}
  while IFS= read -r target; do
    case $target in
      http://* | https://* | mailto:*) continue ;;
    esac
    path=${target%%#*}
    file=$page
    [ -z "$path" ] || file=$(dirname "$page")/$path
    if [ ! -e "$file" ]; then
      fail "$name: the link ($target) leads to no file"
    elif [ "$path" != "$target" ] && ! anchors "$file" | grep -qxF -- "${target#*#}"; then
      fail "$name: the link ($target) leads to no heading of ${file#"$root"/}"
    fi
  done < <(links "$page")
done
[ "$status" -ne 0 ] || echo "README.md has $lines lines, and every link of it and of doc/ leads somewhere"
exit "$status"
