#!/usr/bin/env bash
# What --check costs: each format beside a conversion to /dev/null, on the seeded realistic
# workload (no findings) and on the same with a finding on about every tenth line, whose every
# finding the json and sarif formats carry; and --check --schema with a schema that covers the
# records (bench/records.schema.json), beside the plain --check.
#
#   bench/check.sh [ROUNDS] [MEGABYTES]      (defaults: 5 rounds, 100 MB)
#
# Each command runs once to warm up, then ROUNDS times, round by round; the table gives the
# median wall time and peak resident memory (GNU time), the findings reported, and the ratio to
# the conversion.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
megabytes=${2:-100}

source bench/common.sh

for workload in realistic findings; do
  prefix=$data/$workload-$megabytes
  [ -f "$prefix.kessa" ] || build/bench/bench/generate "$workload" 42 "$megabytes" "$prefix"
  names=(convert text json sarif github schema)
  commands=("$tool $prefix.kessa /dev/null")
  for format in text json sarif github; do
    commands+=("$tool --check --format $format $prefix.kessa")
  done
  commands+=("$tool --check --schema bench/records.schema.json $prefix.kessa")

  declare -A times=() memory=()
  for round in $(seq 0 "$rounds"); do  # round 0 is the warm-up
    for i in "${!names[@]}"; do
      read -r seconds kilobytes < <(measure ${commands[$i]}) || exit 1  # the reason went to stderr
      if [ "$round" -gt 0 ]; then
        times[$i]+="$seconds "
        memory[$i]+="$kilobytes "
      fi
    done
  done

  findings=$($tool --check --format json "$prefix.kessa" | grep -c '"code": ' || true)
  floor=$(echo "${times[0]}" | median)
  echo
  echo "$workload: $(($(stat -c %s "$prefix.kessa") / 1000000)) MB of kessa, $findings findings, median of $rounds rounds"
  text=$(echo "${times[1]}" | median)
  printf '%-10s %10s %10s %12s %10s\n' run "wall (s)" "peak (MB)" "x convert" "x text"
  for i in "${!names[@]}"; do
    wall=$(echo "${times[$i]}" | median)
    peak=$(echo "${memory[$i]}" | median)
    awk -v n="${names[$i]}" -v w="$wall" -v p="$peak" -v f="$floor" -v t="$text" \
      'BEGIN { printf "%-10s %10.3f %10.0f %12.2f %10.2f\n", n, w, p / 1024, (f > 0 ? w / f : 0), (t > 0 ? w / t : 0) }'
  done
  unset times memory
done
