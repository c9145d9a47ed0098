# What bench/run.sh and bench/check.sh share, sourced from the top of the checkout: GNU time
# checked, the bench preset built, $tool, $data (the workloads) and $scratch (a folder removed on
# exit, on tmpfs where the machine has one, so that the disk's speed does not blur the tools' own)
# set; then measure and median.

if [ ! -x /usr/bin/time ]; then
  echo "$0 needs GNU time (/usr/bin/time; Debian package: time)" >&2
  exit 1
fi

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
tool=build/bench/kessa2json
data=build/bench/data
mkdir -p "$data"
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch=$(mktemp -d -p /dev/shm)
else
  scratch=$(mktemp -d)
fi
trap 'rm -rf "$scratch"' EXIT

# Prints "SECONDS KILOBYTES" for one run of the command, its standard output discarded: the wall
# time to the millisecond (GNU time gives hundredths), the peak memory from GNU time. Status 3,
# the findings of --check, counts as success, and so does $also_success where a script sets it.
measure() {
  local start end status=0
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$scratch/time" "$@" >/dev/null || status=$?
  end=$(date +%s%N)
  if [ "$status" -ne 0 ] && [ "$status" -ne 3 ] && [ "$status" -ne "${also_success:-0}" ]; then
    echo "failed with status $status: $*" >&2
    return 1
  fi
  # GNU time puts a line about a status other than 0 before the figures.
  awk -v ns=$((end - start)) -v kb="$(tail -n 1 "$scratch/time")" 'BEGIN { printf "%.3f %s\n", ns / 1e9, kb }'
}

# The median of the numbers on standard input, separated by blanks.
median() { tr ' ' '\n' | grep . | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
