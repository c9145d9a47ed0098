#!/usr/bin/env bash
# --check --schema beside its peers, on the realistic workload and bench/records.schema.json:
# kessa2json on the kessa text; ajv 8 (with ajv-formats) and the JSON Schema CLI
# (@sourcemeta/jsonschema, a compiled validator) on the same data as JSON, each given the file.
# The peers come from npm, pinned by bench/peers/package-lock.json (npm ci there first).
#
#   bench/schema_peers.sh [MEGABYTES]      (default: 10)
set -euo pipefail
cd "$(dirname "$0")/.."
megabytes=${1:-10}

source bench/common.sh
prefix=$data/realistic-$megabytes
[ -f "$prefix.kessa" ] || build/bench/bench/generate realistic 42 "$megabytes" "$prefix"
[ -d bench/peers/node_modules ] || (cd bench/peers && npm ci --no-audit --no-fund)
schema=bench/records.schema.json

run() {
  local name=$1
  shift
  /usr/bin/time -f "$name: %e s, %M KB peak" "$@" >/dev/null
}
run "kessa2json --check" "$tool" --check "$prefix.kessa"
run "kessa2json --check --schema" "$tool" --check --schema "$schema" "$prefix.kessa"
run "ajv (JSON.parse and validate)" node bench/peers/ajv_validate.mjs "$schema" "$prefix.json"
run "jsonschema validate" bench/peers/node_modules/.bin/jsonschema validate "$schema" "$prefix.json"
