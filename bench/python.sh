#!/usr/bin/env bash
# The Python module's speed: kessa.loads of a realistic workload beside json.loads of the same
# data's compact JSON, and beside kessa2json as a subprocess followed by json.load; then the same
# per call on a 10 KB configuration (bench/python_loads.py says how each is measured); then
# kessa.dumps of the workload's value beside json.dumps (bench/python_dumps.py).
#
#   bench/python.sh [ROUNDS] [REALISTIC_MEGABYTES]      (defaults: 5 rounds, 74 MB)
#
# Takes the module from the environment that scripts/test-python.sh makes, or from the Python
# named by KESSA_PYTHON.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
megabytes=${2:-74}
python=${KESSA_PYTHON:-build/python/checkout/venv/bin/python}
if ! "$python" -c 'import kessa' 2>/dev/null; then
  echo "bench/python.sh: $python cannot import kessa: run scripts/test-python.sh, or set KESSA_PYTHON" >&2
  exit 1
fi

source bench/common.sh

prefix=$data/realistic-$megabytes
[ -f "$prefix.kessa" ] || build/bench/bench/generate realistic 42 "$megabytes" "$prefix"
"$python" bench/python_loads.py "$rounds" "$prefix" "$tool" "$scratch"
"$python" bench/python_dumps.py "$rounds" "$prefix"
