#!/usr/bin/env bash
# Memory of a conversion far larger than the buffers: a realistic input of at least 2 GB (the
# seeded 200 MB workload repeated; repeated keys are allowed), converted while /proc/PID/status is
# sampled every 20 ms. Prints the peaks of the resident set as a whole (VmHWM), of its anonymous
# part (RssAnon: everything but the mapped input's pages) and of the mapped file pages (RssFile).
#
#   bench/memory.sh [GIGABYTES]      (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
gigabytes=${1:-2}

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
data=build/bench/data
mkdir -p "$data"
piece=$data/realistic-200
[ -f "$piece.kessa" ] || build/bench/bench/generate realistic 42 200 "$piece"
big=$data/big-$gigabytes.kessa
if [ ! -f "$big" ]; then
  for _ in $(seq $((gigabytes * 5))); do cat "$piece.kessa"; done >"$big"
fi
out=$(mktemp)
trap 'rm -f "$out"' EXIT

start=$(date +%s.%N)
build/bench/kessa2json "$big" "$out" &
pid=$!
anon=0 file=0 hwm=0
while status=$(cat "/proc/$pid/status" 2>/dev/null); do
  value() { awk -v k="$1:" '$1 == k {print $2}' <<<"$status"; }
  a=$(value RssAnon) f=$(value RssFile) h=$(value VmHWM)
  [ -n "$a" ] && [ "$a" -gt "$anon" ] && anon=$a
  [ -n "$f" ] && [ "$f" -gt "$file" ] && file=$f
  [ -n "$h" ] && [ "$h" -gt "$hwm" ] && hwm=$h
  sleep 0.02
done
wait "$pid"
end=$(date +%s.%N)
echo "input $(($(stat -c %s "$big") / 1000000)) MB, output $(($(stat -c %s "$out") / 1000000)) MB," \
  "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }') s"
echo "peak resident: $((hwm / 1024)) MiB; anonymous: $((anon / 1024)) MiB;" \
  "mapped input pages: $((file / 1024)) MiB"
