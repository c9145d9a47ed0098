"""What the tests of the kessa module share: the tool they hold it to, the texts they read, and a
comparison strict about types."""

import json
import math
import os
import pathlib
import subprocess

import pytest

import kessa

ROOT = pathlib.Path(__file__).resolve().parents[2]


def pytest_sessionstart(session):
    # The module under test is the one the wheel installed, never the sources beside the tests.
    if pathlib.Path(kessa.__file__).resolve().is_relative_to(ROOT / "python"):
        raise pytest.UsageError(f"kessa comes from the sources ({kessa.__file__}), not a wheel")


def _program(variable, default):
    """A program the build makes: where `variable` says, else at `default` in the checkout."""
    given = os.environ.get(variable)
    path = pathlib.Path(given) if given else ROOT / default
    if not path.is_file():
        if given:
            pytest.fail(f"{variable}={given} names no file")
        pytest.skip(f"{default} is not built (or set {variable})")
    return path


@pytest.fixture(scope="session")
def tool():
    return _program("KESSA2JSON", "build/default/kessa2json")


class Run:
    """One run of the tool on a text given on standard input."""

    def __init__(self, tool, args, text):
        done = subprocess.run([tool, *args], input=text, capture_output=True, check=False)
        self.status = done.returncode
        self.stdout = done.stdout
        self.stderr = done.stderr.decode("utf-8", "surrogateescape")


def convert(tool, text):
    return Run(tool, ["-", "-"], text)


def check_json(tool, text):
    """The findings of `kessa2json --check --format json` for the text."""
    run = Run(tool, ["--check", "--format", "json", "-"], text)
    assert run.status in (0, 2, 3), run.stderr
    return json.loads(run.stdout)["files"][0]["findings"]


def project_texts(tmp_path_factory):
    """The kessa texts of the project: the example, the fuzzers' seeds, the editor's samples,
    the texts the readers' C++ tests share (printed by kessa_cases_dump) and small generated
    workloads (bench/generate), by name."""
    texts = {}
    for pattern in ("examples/*.kessa", "fuzz/corpus/parse/*", "fuzz/corpus/convert/*",
                    "editors/vscode/test/samples/*.kessa"):
        for path in sorted(ROOT.glob(pattern)):
            texts[str(path.relative_to(ROOT))] = path.read_bytes()
    rows = json.loads(subprocess.run(
        [_program("KESSA_CASES_DUMP", "build/default/tests/kessa_cases_dump")],
        check=True, capture_output=True).stdout)
    # Each text is a JSON string whose characters are its bytes.
    for number, row in enumerate(rows["accepted"]):
        texts[f"kessa_cases.h accepted-{number}"] = row["input"].encode("latin-1")
    for number, text in enumerate(rows["rejected"]):
        texts[f"kessa_cases.h rejected-{number}"] = text.encode("latin-1")
    folder = tmp_path_factory.mktemp("cases")
    generate = _program("KESSA_GENERATE", "build/bench/bench/generate")
    for workload in ("realistic", "findings"):
        prefix = folder / workload
        subprocess.run([generate, workload, "7", "1", prefix], check=True)
        texts[f"generate {workload}"] = (folder / f"{workload}.kessa").read_bytes()
    return texts


def same(a, b):
    """Whether a and b are equal and of the same types all the way down, floats to the bit (the
    sign of a zero included) and dicts in the same order. Walks without recursing."""
    pending = [(a, b)]
    while pending:
        x, y = pending.pop()
        if type(x) is not type(y):
            return False
        if isinstance(x, float):
            if not (x == y and math.copysign(1, x) == math.copysign(1, y)) and not (
                math.isnan(x) and math.isnan(y)
            ):
                return False
        elif isinstance(x, dict):
            if list(x) != list(y):
                return False
            pending.extend(zip(x.values(), y.values()))
        elif isinstance(x, (list, tuple)):
            if len(x) != len(y):
                return False
            pending.extend(zip(x, y))
        elif x != y:
            return False
    return True
