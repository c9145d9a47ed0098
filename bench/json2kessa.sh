#!/usr/bin/env bash
# What json2kessa costs on the seeded realistic workload's JSON, beside kessa2json on its kessa
# (both to /dev/null and to a file, replaced whole), with RapidJSON's reader as a peer that
# reads the same JSON and writes nothing. Checks that the kessa written converts back to the
# workload's JSON.
#
#   bench/json2kessa.sh [ROUNDS] [MEGABYTES]      (defaults: 5 rounds, 100 MB)
#
# Each command runs once to warm up, then ROUNDS times, round by round; the table gives the
# median wall time and peak resident memory (GNU time), and the ratio to the conversion.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
megabytes=${2:-100}

source bench/common.sh
writer=build/bench/json2kessa

prefix=$data/realistic-$megabytes
[ -f "$prefix.expected.json" ] || build/bench/bench/generate realistic 42 "$megabytes" "$prefix"
"$writer" "$prefix.json" "$scratch/back.kessa"
"$tool" "$scratch/back.kessa" "$scratch/back.json"
if ! cmp -s "$scratch/back.json" "$prefix.expected.json"; then
  echo "json2kessa: the kessa written for the workload's JSON converts to other JSON" >&2
  exit 1
fi

names=("kessa2json" "json2kessa" "kessa2json file" "json2kessa file")
commands=("$tool $prefix.kessa /dev/null" "$writer $prefix.json /dev/null"
  "$tool $prefix.kessa $scratch/out.json" "$writer $prefix.json $scratch/out.kessa")
if [ -x build/bench/bench/rapidjson_read ]; then
  names+=("rapidjson read")
  commands+=("build/bench/bench/rapidjson_read $prefix.json")
fi
declare -A times=() memory=()
for round in $(seq 0 "$rounds"); do  # round 0 is the warm-up
  for i in "${!names[@]}"; do
    read -r seconds kilobytes < <(measure ${commands[$i]}) || exit 1
    if [ "$round" -gt 0 ]; then
      times[$i]+="$seconds "
      memory[$i]+="$kilobytes "
    fi
  done
done

floor=$(echo "${times[0]}" | median)
echo
echo "realistic: $(($(stat -c %s "$prefix.kessa") / 1000000)) MB of kessa," \
  "$(($(stat -c %s "$prefix.json") / 1000000)) MB of JSON, median of $rounds rounds"
printf '%-16s %10s %10s %12s\n' run "wall (s)" "peak (MB)" "x kessa2json"
for i in "${!names[@]}"; do
  wall=$(echo "${times[$i]}" | median)
  peak=$(echo "${memory[$i]}" | median)
  awk -v n="${names[$i]}" -v w="$wall" -v p="$peak" -v f="$floor" \
    'BEGIN { printf "%-16s %10.3f %10.0f %12.2f\n", n, w, p / 1024, (f > 0 ? w / f : 0) }'
done
