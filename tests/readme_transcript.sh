#!/usr/bin/env bash
# Runs a transcript of a Markdown page (the README or a page of doc/) as written: the ```text
# block after the line "<!-- transcript: NAME -->", whose "$ " lines are commands run one after
# the other in DIR, with BIN first on the PATH, and whose other lines are what they print. The
# run's output must be the block, line for line.
#
#   tests/readme_transcript.sh PAGE NAME DIR BIN
set -euo pipefail
readme=$1 name=$2 dir=$3
bin=$(cd "$4" && pwd)

block=$(awk -v marker="<!-- transcript: $name -->" '
  $0 == marker { found = 1; next }
  found && /^```/ { if (inside) exit; inside = 1; next }
  inside { print }' "$readme")
if [ -z "$block" ]; then
  echo "no transcript named $name in $readme" >&2
  exit 1
fi

# Each command echoed as the transcript shows it, then run with the status of the one before it
# in $?, so that "echo $?" reads what the transcript means.
script=$(mktemp)
trap 'rm -f "$script"' EXIT
echo 'status=0' >"$script"
while IFS= read -r line; do
  case $line in
    '$ '*)
      printf 'printf "%%s\\n" %q\n' "$line" >>"$script"
      printf '(exit $status); %s; status=$?\n' "${line#\$ }" >>"$script"
      ;;
  esac
done <<<"$block"

actual=$(cd "$dir" && PATH="$bin:$PATH" bash "$script" 2>&1)
diff -u <(printf '%s\n' "$block") <(printf '%s\n' "$actual")
