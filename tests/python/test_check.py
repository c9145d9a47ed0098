"""kessa.check: each finding's fields, where they count characters and where bytes."""

import pytest

import kessa
from kessa import Finding

# Each text with its findings; test_rule.py holds every other text to the tool.
ROWS = [
    ("a=1\n", []),
    ("\u00e9=007\n", [Finding("leading-zeros", "warning",
                              'the leading zeros of "007" are dropped, quoted or not: it becomes 7 '
                              "and cannot stay text", 1, 3, 1, 6, 3, 3)]),
    ("a=1\na=2\n", [Finding("repeated-key", "warning", 'the object already has the key "a"; most '
                            "JSON readers keep only its last value", 2, 1, 2, 2, 4, 1)]),
    ("a=1\nb={\u00e9\n", [Finding("malformed", "error", "this left brace is never closed",
                                  2, 3, 2, 4, 6, 1)]),
]


@pytest.mark.parametrize("text,findings", ROWS)
def test_findings(text, findings):
    assert kessa.check(text) == findings
    assert kessa.check(text.encode()) == findings
    for finding in findings:
        assert text.encode()[finding.offset:finding.offset + finding.length]


def test_argument_types():
    assert kessa.check(bytearray(b"a=1\n")) == []
    with pytest.raises(TypeError):
        kessa.check(None)
