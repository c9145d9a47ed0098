#!/usr/bin/env bash
# What scripts/release.sh does to dist/: each step replaces there exactly the files and folders
# it built, and their lines of SHA256SUMS, run after run, and leaves everything else as it was.
# Its own stage and publish, sourced, run steps that write small files in place of the builds.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/release.sh
source "$root/scripts/release.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A step's files: each argument NAME=TEXT a file, NAME/=TEXT a folder holding TEXT.html.
step() {
  local name=$1 out entry
  shift
  out=$(stage "$name")
  for entry in "$@"; do
    case ${entry%%=*} in
      */) mkdir "$out/${entry%%=*}" && echo "${entry#*=}" >"$out/${entry%%=*}${entry#*=}.html" ;;
      *) echo "${entry#*=}" >"$out/${entry%%=*}" ;;
    esac
  done
  publish "$out" >/dev/null
}
# Every file under dist/ but the sums, with what it holds; then the names the sums list, each
# checked against its file.
listing() {
  (cd dist && find . -type f ! -name SHA256SUMS | LC_ALL=C sort | while read -r file; do
    echo "$file: $(cat "$file")"
  done)
  echo "sums: $(cut -d ' ' -f 3 dist/SHA256SUMS | paste -sd ' ')"
  (cd dist && sha256sum --quiet -c SHA256SUMS) || echo "a sum differs"
}
expect() {
  diff -u <(printf '%s\n' "$@") <(listing) || { echo "FAILED after $what" >&2; exit 1; }
}

# What was there before any step: a wheel that the Python module's install lines built, and a
# folder of one's own.
mkdir -p dist/notes
echo wheel >dist/kessa-1.2.0-cp311-cp311-linux_x86_64.whl
echo mine >dist/notes/todo.txt

step linux kessa2json_9_amd64.deb=deb
step js kessa2json-9.tgz=one page/=one
what="a step run again"
step js kessa2json-9.tgz=two page/=two
expect './kessa-1.2.0-cp311-cp311-linux_x86_64.whl: wheel' \
  './kessa2json-9.tgz: two' \
  './kessa2json_9_amd64.deb: deb' \
  './notes/todo.txt: mine' \
  './page/two.html: two' \
  'sums: kessa2json-9.tgz kessa2json_9_amd64.deb'

what="a step after a package was removed by hand"
rm dist/kessa2json-9.tgz
step python kessa-9-cp311-cp311-linux_x86_64.whl=wheel9
expect './kessa-1.2.0-cp311-cp311-linux_x86_64.whl: wheel' \
  './kessa-9-cp311-cp311-linux_x86_64.whl: wheel9' \
  './kessa2json_9_amd64.deb: deb' \
  './notes/todo.txt: mine' \
  './page/two.html: two' \
  'sums: kessa-9-cp311-cp311-linux_x86_64.whl kessa2json_9_amd64.deb'
echo "release.sh replaces in dist/ only what each step built"
