"""kessa.check with a JSON Schema: a dict, a path or a URL, held to kessa2json --check --schema
on the same texts; a schema that cannot be used raises KessaSchemaError with its place."""

import functools
import http.server
import json
import threading

import pytest

import kessa
from conftest import Run

SCHEMA = {
    "$schema": "https://json-schema.org/draft/2020-12/schema",
    "type": "object",
    "properties": {
        "host": {"type": "string"},
        "port": {"type": "integer", "maximum": 65535},
        "mode": {"enum": ["fast", "safe"]},
        "when": {"format": "date"},
        "tags": {"type": "array", "items": {"type": "string"}, "uniqueItems": True},
    },
    "dependentRequired": {"port": ["host"]},
    "unevaluatedProperties": False,
}

TEXTS = [
    "host=a\nport=80\n",
    "port=70000\nmode=fsat\n",
    "host=a\nwhen=tomorrow\ntags={a,a}\nother=1\n",
    "host=a\nport=007\nport=8\n",
    "a=1\nb={x\n",
]


def tool_findings(tool, text, schema_path):
    run = Run(tool, ["--check", "--format", "json", "--schema", str(schema_path), "-"],
              text.encode())
    assert run.status in (0, 2, 3), run.stderr
    return json.loads(run.stdout)["files"][-1]["findings"] if run.stdout else []


def listed(findings):
    out = []
    for finding in findings:
        item = finding._asdict()
        item["endLine"] = item.pop("end_line")
        item["endColumn"] = item.pop("end_column")
        out.append(item)
    return out


@pytest.fixture(scope="module")
def served(tmp_path_factory):
    """The schema's file, and the same served on 127.0.0.1 by a server of the test's own."""
    folder = tmp_path_factory.mktemp("site")
    (folder / "s.json").write_text(json.dumps(SCHEMA))
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=str(folder))
    handler.log_message = lambda *args: None
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield folder / "s.json", f"http://127.0.0.1:{server.server_address[1]}/s.json"
    server.shutdown()


@pytest.mark.parametrize("text", TEXTS)
def test_the_same_findings_as_the_tool(text, tool, served, monkeypatch, tmp_path):
    monkeypatch.setenv("KESSA2JSON_CACHE_DIR", str(tmp_path / "cache"))
    path, url = served
    expected = tool_findings(tool, text, path)
    for finding in expected:  # the module's Finding has no pointer or keyword
        finding.pop("pointer", None)
        finding.pop("keyword", None)
    for schema in (SCHEMA, path, str(path), url):
        assert listed(kessa.check(text, schema)) == expected, schema
    # The rows with a fault against the schema; a repeated key counts with its last value.
    assert any(f.code.startswith("schema-") for f in kessa.check(text, SCHEMA)) == (
        text in ("port=70000\nmode=fsat\n", "host=a\nwhen=tomorrow\ntags={a,a}\nother=1\n"))


def test_unusable_schemas_raise(tmp_path):
    with pytest.raises(kessa.KessaSchemaError) as caught:
        kessa.check("a=1\n", {"type": "int"})
    assert (caught.value.file, caught.value.line, caught.value.column) == ("<schema>", 1, 10)
    assert caught.value.reason.startswith("not a valid schema: the value at /type names the type")
    with pytest.raises(kessa.KessaSchemaError) as caught:
        kessa.check("a=1\n", tmp_path / "absent.json")
    assert caught.value.line is None
    assert caught.value.reason == "cannot read the schema: No such file or directory"
    assert isinstance(caught.value, ValueError)


def test_the_draft_of_a_schema_that_names_none():
    schema = {"maximum": 1, "exclusiveMaximum": True}
    assert [f.code for f in kessa.check("a=1\n", {"properties": {"a": schema}},
                                        schema_draft="4")] == ["schema-range"]
    with pytest.raises(kessa.KessaSchemaError):
        kessa.check("a=1\n", {"properties": {"a": schema}})
    with pytest.raises(ValueError):
        kessa.check("a=1\n", {}, schema_draft="5")
