"""kessa.format, held to the library's formatter (kessa_cases_dump --format) over the project's
texts and generated ones, in each indentation; and its arguments."""

import os
import subprocess

import pytest

import kessa
from conftest import _program, project_texts
from test_rule import generated_texts

# Each layout as format() takes it, with the helper's name for it.
INDENTS = [(4, "4"), (2, "2"), ("\t", "tab")]


@pytest.fixture(scope="module")
def library(tmp_path_factory):
    """Each text by name, with what the library makes of it in each layout: the formatted bytes,
    or the fault of a malformed text as (offset, words)."""
    named = project_texts(tmp_path_factory)
    named.update((f"generated {i}", text) for i, text in enumerate(generated_texts()))
    folder = tmp_path_factory.mktemp("format")
    (folder / "in").mkdir()
    files = {}
    for number, (name, text) in enumerate(named.items()):
        files[name] = f"{number}.kessa"
        (folder / "in" / files[name]).write_bytes(text)
    helper = _program("KESSA_CASES_DUMP", "build/default/tests/kessa_cases_dump")
    results = {}
    for indent, argument in INDENTS:
        out = folder / argument
        out.mkdir()
        subprocess.run([helper, "--format", argument, folder / "in", out], check=True)
        for name, file in files.items():
            fault = out / f"{file}.malformed"
            if fault.exists():
                offset, words = fault.read_text().split(" ", 1)
                results[name, indent] = (int(offset), words)
            else:
                results[name, indent] = (out / file).read_bytes()
    return named, results


def test_format_is_the_librarys_formatter(library):
    named, results = library
    malformed = 0
    for (name, indent), expected in results.items():
        text = named[name]
        as_str = text.decode("utf-8", "surrogateescape")
        if isinstance(expected, tuple):
            malformed += 1
            for given in (as_str, text):
                with pytest.raises(kessa.KessaDecodeError) as caught:
                    kessa.format(given, indent=indent)
                with pytest.raises(kessa.KessaDecodeError) as loaded:
                    kessa.loads(given)
                assert str(caught.value) == str(loaded.value), name
            assert (caught.value.pos, caught.value.msg) == expected, name
            continue
        assert kessa.format(text, indent=indent) == expected, (name, indent)
        # A str comes back as a str, its bytes that are not UTF-8 escaped as they came.
        formatted = kessa.format(as_str, indent=indent)
        assert formatted.encode("utf-8", "surrogateescape") == expected, (name, indent)
    assert 0 < malformed < len(results) / 2


# Each argument with what format() gives for the text, or the exception it raises.
TEXT = b"a={b=1,c={x,y}}\n"
ARGUMENTS = [
    ({}, b"a={\n    b=1\n    c={x,y}\n}\n"),
    ({"indent": 4}, b"a={\n    b=1\n    c={x,y}\n}\n"),
    ({"indent": 1}, b"a={\n b=1\n c={x,y}\n}\n"),
    ({"indent": 16}, b"a={\n" + b" " * 16 + b"b=1\n" + b" " * 16 + b"c={x,y}\n}\n"),
    ({"indent": "\t"}, b"a={\n\tb=1\n\tc={x,y}\n}\n"),
    ({"indent": 0}, ValueError),
    ({"indent": 17}, ValueError),
    ({"indent": -4}, ValueError),
    ({"indent": 2**70}, ValueError),
    ({"indent": "  "}, ValueError),
    ({"indent": "tab"}, ValueError),
    ({"indent": None}, TypeError),
    ({"indent": 4.0}, TypeError),
]


@pytest.mark.parametrize("keywords,expected", ARGUMENTS)
def test_arguments(keywords, expected):
    if isinstance(expected, bytes):
        assert kessa.format(TEXT, **keywords) == expected
        assert kessa.format(TEXT.decode(), **keywords) == expected.decode()
        for other in (bytearray(TEXT), memoryview(TEXT)):
            assert type(kessa.format(other, **keywords)) is bytes
    else:
        with pytest.raises(expected, match="indent must be"):
            kessa.format(TEXT, **keywords)


def test_wrong_texts():
    with pytest.raises(TypeError, match="must be str or a bytes-like object"):
        kessa.format(1)
    with pytest.raises(TypeError):
        kessa.format(TEXT, 4)  # indent is a keyword
    with pytest.raises(UnicodeEncodeError):  # not a byte that surrogateescape made
        kessa.format("k=\ud800\n")
    # So deep that its indentation would take gigabytes: said, before it takes the memory.
    deep = "k={" * 6000 + "}" * 6000
    for laid_out in (kessa.format, kessa.to_json):
        with pytest.raises(MemoryError, match="nests too deep to indent"):
            laid_out(deep)
