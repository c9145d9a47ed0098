#!/usr/bin/env bash
# End-to-end benchmark: kessa2json on the seeded workloads, beside the I/O floor (cp of the output
# file) and the tools a user would otherwise reach for on the equivalent JSON (RapidJSON's DOM and
# pretty writer, jq, Python's json module), all writing the same indented text. Every output is
# checked against the expected bytes.
#
#   bench/run.sh [ROUNDS] [REALISTIC_MEGABYTES]      (defaults: 5 rounds, 100 MB)
#
# Each command runs once to warm up, then ROUNDS times, round by round; the table gives the
# median wall time and peak resident memory (GNU time), and the ratio to the cp floor. Outputs
# are written to tmpfs (/dev/shm) where the machine has one.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
megabytes=${2:-100}

source bench/common.sh

for workload in realistic flat; do
  prefix=$data/$workload-$megabytes
  [ -f "$prefix.expected.json" ] || build/bench/bench/generate "$workload" 42 "$megabytes" "$prefix"
  printf '%s\n' "$(cat "$prefix.expected.json")" >"$scratch/expected-with-newline.json"

  names=(kessa2json cp)
  commands=("$tool $prefix.kessa $scratch/out" "cp $prefix.expected.json $scratch/out")
  expected=("$prefix.expected.json" "$prefix.expected.json")
  if [ -x build/bench/bench/rapidjson_pretty ]; then  # built where rapidjson-dev is installed
    names+=(rapidjson)
    commands+=("build/bench/bench/rapidjson_pretty $prefix.json $scratch/out")
    expected+=("$prefix.expected.json")
  fi
  if command -v jq >/dev/null; then
    names+=(jq)
    commands+=("sh -c 'jq --indent 4 . $prefix.json >$scratch/out'")
    expected+=("$scratch/expected-with-newline.json")  # jq ends its output with a line feed
  fi
  if command -v python3 >/dev/null; then
    names+=(python3)
    commands+=("python3 -c 'import json,sys; json.dump(json.load(open(sys.argv[1])), open(sys.argv[2], \"w\"), indent=4)' $prefix.json $scratch/out")
    expected+=("$prefix.expected.json")
  fi

  declare -A times=() memory=()
  for round in $(seq 0 "$rounds"); do  # round 0 is the warm-up
    for i in "${!names[@]}"; do
      read -r seconds kilobytes < <(eval measure "${commands[$i]}")
      if ! cmp -s "$scratch/out" "${expected[$i]}"; then
        echo "${names[$i]}: output differs from the expected bytes on $workload" >&2
        exit 1
      fi
      if [ "$round" -gt 0 ]; then
        times[$i]+="$seconds "
        memory[$i]+="$kilobytes "
      fi
    done
  done

  input=$(stat -c %s "$prefix.kessa")
  output=$(stat -c %s "$prefix.expected.json")
  floor=$(echo "${times[1]}" | median)
  echo
  echo "$workload: $((input / 1000000)) MB of kessa, $((output / 1000000)) MB of indented JSON, median of $rounds rounds"
  printf '%-12s %10s %10s %12s %10s\n' tool "wall (s)" "peak (MB)" "input MB/s" "x cp"
  for i in "${!names[@]}"; do
    wall=$(echo "${times[$i]}" | median)
    peak=$(echo "${memory[$i]}" | median)
    awk -v n="${names[$i]}" -v w="$wall" -v p="$peak" -v bytes="$input" -v f="$floor" \
      'BEGIN { printf "%-12s %10.3f %10.0f %12.0f %10.2f\n", n, w, p / 1024, (w > 0 ? bytes / 1e6 / w : 0), (f > 0 ? w / f : 0) }'
  done
  unset times memory
done
