"""The rule of the module, over the project's texts and generated ones, held to the tool itself:
for a text the tool accepts, kessa.loads(t) is json.loads of the tool's output (strict=False:
the tool keeps control bytes raw), to the type and the bit, and kessa.to_json(t) is that output
byte for byte; for a text it refuses, KessaDecodeError says what the tool says, at the same place.
"""

import json
import random

import pytest

import kessa
from conftest import check_json, convert, project_texts, same

# Pieces of generated texts, chosen for the places where the notation changes what a text says:
# numerals near every limit of typing and rounding, bytes that are not UTF-8, control bytes,
# quotes, blanks and line ends.
KEYS = [b"a", b"b", b"name", b"k\xc3\xa9y", b"k\xe9", b" spaced key ", b"", b"x\ry", b"\xef\xbb\xbfbom"]
WORDS = [b"red", b"dark blue", b"caf\xc3\xa9", b"caf\xe9", b"\xff\xfe", b"a\x01b", b"nul\x00l",
         b"1x", b"-", b"+", b".", b"e5", b"0x", b"nan", b"inf", b"\xf0\x9f\x99\x82"]


def numeral(rng):
    sign = rng.choice([b"", b"", b"-", b"+"])
    digits = "".join(rng.choice("0123456789") for _ in range(rng.randint(1, 22)))
    if rng.random() < 0.3:
        digits = "0" * rng.randint(1, 3) + digits
    text = sign + digits.encode()
    kind = rng.random()
    if kind < 0.5:
        decimals = rng.choice([0, 1, 3, 5, 6, 6, 7, 8, 12])
        text += b"." + "".join(rng.choice("0123456789") for _ in range(decimals)).encode()
    if kind > 0.7:
        text += rng.choice([b"e", b"E"]) + rng.choice([b"", b"-", b"+"])
        text += str(rng.choice([0, 1, 5, 9, 22, 300, 308, 309, 400, 999])).encode()
    if rng.random() < 0.05:
        text = sign + b"0x" + rng.choice([b"1F", b"ff.8p3", b"1p-1080", b"FFFFFFFFFFFFFFFFF"])
    return text


def scalar(rng):
    roll = rng.random()
    if roll < 0.45:
        token = numeral(rng)
    elif roll < 0.75:
        token = rng.choice(WORDS)
    else:
        inner = rng.choice([numeral(rng), rng.choice(WORDS), b"1,2}", b"a\nb\r", b"x\ty", b" 12"])
        return b'"' + inner + b'"'
    if rng.random() < 0.1:
        token = b" " + token + rng.choice([b" ", b"\t", b"\r"])
    return token


def value(rng, depth):
    if depth < 4 and rng.random() < 0.25:
        object_ = rng.random() < 0.5
        items = []
        for _ in range(rng.randint(0, 5)):
            item = value(rng, depth + 1)
            items.append(rng.choice(KEYS) + b"=" + item if object_ else item)
        separator = rng.choice([b",", b"\n", b",\n"])
        return b"{" + separator.join(items) + rng.choice([b"", b"\n"]) + b"}"
    return scalar(rng)


def document(rng):
    lines = [rng.choice(KEYS) + b"=" + value(rng, 0) for _ in range(rng.randint(0, 8))]
    text = b"".join(line + rng.choice([b"\n", b"\n", b"\r\n"]) for line in lines)
    # Some texts get a byte that matters changed, added or taken out, or lose their last line
    # break, which makes many of them malformed.
    if text and rng.random() < 0.7:
        at = rng.randrange(len(text))
        byte = bytes([rng.choice(b'{{}}""=,\n \t\r')])
        text = rng.choice([text[:at] + byte + text[at:], text[:at] + text[at + 1:],
                           text[:at] + byte + text[at + 1:], text.rstrip(b"\n")])
    return text


def generated_texts():
    rng = random.Random(20261209)
    return [document(rng) for _ in range(300)]


@pytest.fixture(scope="module")
def runs(tmp_path_factory, tool):
    """Each text by name, with the tool's conversion of it."""
    named = project_texts(tmp_path_factory)
    named.update((f"generated {i}", text) for i, text in enumerate(generated_texts()))
    return {name: (text, convert(tool, text)) for name, text in named.items()}


def test_the_texts_hold_both_kinds(runs):
    # Otherwise the tests below would prove less than they say.
    statuses = [run.status for name, (text, run) in runs.items() if "generated" in name]
    assert statuses.count(0) > 150 and statuses.count(2) > 50


def test_loads_is_json_loads_of_the_tools_output(runs):
    for name, (text, run) in runs.items():
        if run.status != 0:
            continue
        output = run.stdout.decode("utf-8", "surrogateescape")
        assert kessa.to_json(text).encode("utf-8", "surrogateescape") == run.stdout, name
        assert same(kessa.loads(text), json.loads(output, strict=False)), name
        assert same(kessa.loads(text, object_pairs_hook=list),
                    json.loads(output, strict=False, object_pairs_hook=list)), name
        # A str is read as its bytes, those that are not UTF-8 as surrogateescape gives them.
        as_str = text.decode("utf-8", "surrogateescape")
        assert same(kessa.loads(as_str), json.loads(output, strict=False)), name


def test_malformed_text_is_refused_as_the_tool_refuses_it(runs):
    for name, (text, run) in runs.items():
        if run.status != 2:
            continue
        for read in (kessa.loads, kessa.to_json):
            with pytest.raises(kessa.KessaDecodeError) as caught:
                read(text)
            error = caught.value
            line = (f"kessa2json: <stdin>:{error.lineno}:{error.colno}: {error.msg} "
                    f"(byte offset {error.pos})\n")
            assert line == run.stderr, name
            assert error.doc is text, name
        # For a str, pos counts characters.
        as_str = text.decode("utf-8", "surrogateescape")
        with pytest.raises(kessa.KessaDecodeError) as caught:
            kessa.loads(as_str)
        before = as_str[:caught.value.pos].encode("utf-8", "surrogateescape")
        assert len(before) == error.pos, name
        assert (caught.value.lineno, caught.value.colno) == (error.lineno, error.colno), name


def test_check_lists_what_the_tool_lists(runs, tool):
    for name, (text, run) in runs.items():
        listed = [finding._asdict() for finding in kessa.check(text)]
        for finding in listed:
            finding["endLine"] = finding.pop("end_line")
            finding["endColumn"] = finding.pop("end_column")
        assert listed == check_json(tool, text), name
