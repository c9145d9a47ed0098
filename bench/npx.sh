#!/usr/bin/env bash
# npx kessa2json, the npm package's program (WebAssembly in Node), beside the native tool on the
# seeded realistic workload: a conversion from file to file, one from standard input to standard
# output, and --check, each a whole process with its files on tmpfs. The package's bin runs as
# npx runs it, without npx's own start (a third of a second). Every JSON output is checked
# against the workload's expected bytes.
#
#   bench/npx.sh [ROUNDS] [MEGABYTES]      (defaults: 5 rounds, 100 MB)
#
# Each command runs once to warm up, then ROUNDS times, the native and the package's in turn; the
# table gives the median wall time and peak resident memory (GNU time) of each, and the median of
# the rounds' ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
megabytes=${2:-100}

source bench/common.sh
cmake --workflow --preset wasm >/dev/null
bin=build/wasm/npm/bin/kessa2json.cjs

prefix=$data/realistic-$megabytes
[ -f "$prefix.expected.json" ] || build/bench/bench/generate realistic 42 "$megabytes" "$prefix"
in=$prefix.kessa
out=$scratch/out.json

names=(convert pipe check)
# Times run NAME of the program at PATH: prints "SECONDS KILOBYTES".
run() {
  case $1 in
    convert) measure "$2" "$in" "$out" ;;
    pipe) measure sh -c 'exec "$0" - - <"$1" >"$2"' "$2" "$in" "$out" ;;
    check) measure "$2" --check "$in" ;;
  esac
}

declare -A times=() memory=() ratios=()
for round in $(seq 0 "$rounds"); do # round 0 is the warm-up
  for name in "${names[@]}"; do
    for program in native npx; do
      path=$tool
      [ "$program" = npx ] && path=$bin
      rm -f "$out"
      read -r seconds kilobytes < <(run "$name" "$path") || exit 1
      if [ "$name" != check ] && ! cmp -s "$out" "$prefix.expected.json"; then
        echo "$program $name: the JSON differs from the expected" >&2
        exit 1
      fi
      [ "$round" -gt 0 ] || continue
      times[$name.$program]+="$seconds "
      memory[$name.$program]+="$kilobytes "
      [ "$program" = npx ] && ratios[$name]+="$(awk -v b="$seconds" -v a="$native" 'BEGIN { printf "%.3f", b / a }') "
      native=$seconds
    done
  done
done

echo "realistic: $(($(stat -L -c %s "$in") / 1000000)) MB of kessa, median of $rounds rounds"
printf '%-9s %12s %12s %12s %12s %10s\n' run "native (s)" "npx (s)" "native (MB)" "npx (MB)" "x native"
for name in "${names[@]}"; do
  awk -v n="$name" -v a="$(echo "${times[$name.native]}" | median)" \
    -v b="$(echo "${times[$name.npx]}" | median)" -v ma="$(echo "${memory[$name.native]}" | median)" \
    -v mb="$(echo "${memory[$name.npx]}" | median)" -v r="$(echo "${ratios[$name]}" | median)" \
    'BEGIN { printf "%-9s %12.3f %12.3f %12.0f %12.0f %10.2f\n", n, a, b, ma / 1024, mb / 1024, r }'
done
