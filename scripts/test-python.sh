#!/usr/bin/env bash
# The Python module's checks, as a user meets the module: in a copy of the sources, runs the
# lines of doc/python.md that build the wheel and install it into a new virtual environment, then
# runs its example there; installs the same wheel into a second environment that also sees
# Debian's pytest and Hypothesis, and runs tests/python in it against the tool built by the
# default preset; and times the module on a small workload (bench/python.sh). Installs the Debian packages it needs
# when they are missing. About a minute and a half on two cores, most of it the wheel's build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

need=()
source scripts/python-packages.sh
/usr/bin/python3 -c 'import ensurepip' 2>/dev/null || need+=(python3-venv)
/usr/bin/python3 -c 'import pytest' 2>/dev/null || need+=(python3-pytest)
/usr/bin/python3 -c 'import hypothesis' 2>/dev/null || need+=(python3-hypothesis)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

# A block of doc/python.md: "sh", "python" or "text", the first of its kind.
readme_block() {
  awk -v kind="$1" '
    !done && $0 == "```" kind { copying = 1; next }
    copying && $0 == "```" { copying = 0; done = 1 }
    copying { print }' doc/python.md
}

# The sources the wheel is built from, copied as a checkout would hold them.
work=build/python
rm -rf "$work"
mkdir -p "$work/checkout"
tar -cf - CMakeLists.txt LICENSE examples kessa pelmo python schema | tar -xf - -C "$work/checkout"
install_lines=$(readme_block sh)
example=$(readme_block python)
expected=$(readme_block text)
[ -n "$install_lines" ] && [ -n "$example" ] && [ -n "$expected" ] || {
  echo "test-python: doc/python.md lacks its install lines or its example" >&2
  exit 1
}
(cd "$work/checkout" && bash -euo pipefail -c "$install_lines")
# What a package index shows of the wheel: python/README.md, as Markdown.
/usr/bin/python3 - "$work"/checkout/dist/kessa-*.whl python/README.md <<'EOF'
import email, sys, zipfile
wheel, page = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(wheel) as archive:
    [name] = [n for n in archive.namelist() if n.endswith(".dist-info/METADATA")]
    metadata = email.message_from_bytes(archive.read(name))
with open(page, encoding="utf-8") as file:
    readme = file.read()
if metadata["Description-Content-Type"] != "text/markdown" or \
        metadata.get_payload().strip() != readme.strip():
    sys.exit(f"test-python: the wheel's METADATA does not describe it with {page}:\n{metadata}")
EOF
output=$(cd "$work/checkout" && venv/bin/python -c "$example")
if [ "$output" != "$expected" ]; then
  printf 'test-python: the example of doc/python.md printed\n%s\ninstead of\n%s\n' "$output" \
    "$expected" >&2
  exit 1
fi

# The tests' environment: the same wheel, and Debian's pytest and Hypothesis beside it.
/usr/bin/python3 -m venv --system-site-packages "$work/test-venv"
"$work/test-venv/bin/python" -m pip install -q --no-index --no-deps "$work"/checkout/dist/kessa-*.whl

# What the tests hold the module to: the tool, the readers' shared texts, the workload generator.
cmake --preset default >/dev/null
cmake --build --preset default --target kessa2json kessa_cases_dump >/dev/null
g++ -std=c++20 -O2 -o "$work/generate" bench/generate.cpp
export KESSA2JSON=$root/build/default/kessa2json
export KESSA_CASES_DUMP=$root/build/default/tests/kessa_cases_dump
export KESSA_GENERATE=$root/$work/generate
# From a folder of its own, so that nothing beside the sources can be imported as kessa.
(cd "$work" && test-venv/bin/python -m pytest -q -p no:cacheprovider "$root/tests/python")

KESSA_PYTHON=$root/$work/checkout/venv/bin/python bash bench/python.sh 1 2
