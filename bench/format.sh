#!/usr/bin/env bash
# What kessafmt costs, beside a conversion to /dev/null, on the seeded realistic workload: its
# formatted text to standard output (/dev/null), -w on a copy (replaced whole), --check on the
# workload (its layout differs at once) and on its formatted text (compared to the end), and
# --diff. Checks that the formatted text converts to the workload's JSON.
#
#   bench/format.sh [ROUNDS] [MEGABYTES]      (defaults: 5 rounds, 100 MB)
#
# Each command runs once to warm up, then ROUNDS times, round by round; the table gives the
# median wall time and peak resident memory (GNU time), and the ratio to the conversion.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
megabytes=${2:-100}

source bench/common.sh
formatter=build/bench/kessafmt
also_success=1   # kessafmt --check and --diff: a file to change

prefix=$data/realistic-$megabytes
[ -f "$prefix.expected.json" ] || build/bench/bench/generate realistic 42 "$megabytes" "$prefix"
tidy=$scratch/tidy.kessa
"$formatter" "$prefix.kessa" >"$tidy"
"$tool" "$tidy" "$scratch/out.json"
if ! cmp -s "$scratch/out.json" "$prefix.expected.json"; then
  echo "kessafmt: the formatted workload converts to other JSON" >&2
  exit 1
fi

names=(convert format "format -w" "--check" "--check tidy" "--diff")
commands=("$tool $prefix.kessa /dev/null" "$formatter $prefix.kessa"
  "$formatter -w $scratch/copy.kessa" "$formatter --check $prefix.kessa"
  "$formatter --check $tidy" "$formatter --diff $prefix.kessa")
declare -A times=() memory=()
for round in $(seq 0 "$rounds"); do  # round 0 is the warm-up
  for i in "${!names[@]}"; do
    cp "$prefix.kessa" "$scratch/copy.kessa"  # for -w, which finds it to format every time
    read -r seconds kilobytes < <(measure ${commands[$i]}) || exit 1
    if [ "${names[$i]}" = "format -w" ] && ! cmp -s "$scratch/copy.kessa" "$tidy"; then
      echo "kessafmt -w wrote other text than kessafmt" >&2
      exit 1
    fi
    if [ "$round" -gt 0 ]; then
      times[$i]+="$seconds "
      memory[$i]+="$kilobytes "
    fi
  done
done

floor=$(echo "${times[0]}" | median)
echo
echo "realistic: $(($(stat -c %s "$prefix.kessa") / 1000000)) MB of kessa," \
  "$(($(stat -c %s "$tidy") / 1000000)) MB formatted, median of $rounds rounds"
printf '%-14s %10s %10s %12s\n' run "wall (s)" "peak (MB)" "x convert"
for i in "${!names[@]}"; do
  wall=$(echo "${times[$i]}" | median)
  peak=$(echo "${memory[$i]}" | median)
  awk -v n="${names[$i]}" -v w="$wall" -v p="$peak" -v f="$floor" \
    'BEGIN { printf "%-14s %10.3f %10.0f %12.2f\n", n, w, p / 1024, (f > 0 ? w / f : 0) }'
done
