"""kessa.dumps and kessa.dump: the round trip through loads over generated objects, each refusal
held to a model that searches the texts that could give the value; each reason, each object that
is not JSON data, and the arguments, as tables."""

import io
import json
import math
import pickle
from collections import Counter, OrderedDict

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import kessa
from conftest import same

INF, NAN = float("inf"), float("nan")
INT64 = range(-2**63, 2**63)

# ---- the model: which values have a kessa text, found by trying the texts that could give them


def reads_back(text, value):
    """Whether the one-line text `v=TEXT` gives exactly the value."""
    try:
        return same(kessa.loads(b"v=" + text + b"\n"), {"v": value})
    except kessa.KessaDecodeError:
        return False


def string_bytes(s):
    """The bytes a text holds for the str s, or None where none give it back."""
    try:
        data = s.encode("utf-8", "surrogateescape")
    except UnicodeEncodeError:
        return None
    return data if data.decode("utf-8", "surrogateescape") == s else None


def value_problem(value):
    """None where some text gives the scalar, else the codes it may be refused with."""
    if isinstance(value, bool):
        return {"no-boolean"}
    if value is None:
        return {"no-null"}
    if isinstance(value, int):
        return None if value in INT64 else {"big-integer"}
    if isinstance(value, float):
        if math.isnan(value):
            return {"not-a-number"}
        forms = [repr(value), f"{value:.6f}", f"{value:.17g}", "1e999", "-1e999", "-0.0000001"]
        return None if any(reads_back(form.encode(), value) for form in forms) else {"float-digits"}
    data = string_bytes(value)
    if data is None:
        return {"lone-surrogate"}
    if any(reads_back(form, value) for form in (data, b" " + data, b'"' + data + b'"')):
        return None
    # Which of them the rule names is for the rows below to pin.
    return {"numeral-string", "tab-needs-quotes", "quote-needs-quotes"}


def key_problem(key):
    data = string_bytes(key)
    if data is None:
        return {"lone-surrogate"}
    for form in (data, b" " + data):
        try:
            if same(kessa.loads(form + b"=1\n"), {key: 1}):
                return None
        except kessa.KessaDecodeError:
            pass
    return {"unwritable-key"}


def json_key(key):
    """The str json.dumps makes of a dict key."""
    return next(iter(json.loads(json.dumps({key: 0}))))


def entries(container, sort_keys):
    """Each entry as (step, the codes its key may be refused with or None, value)."""
    if isinstance(container, dict):
        items = sorted(container.items()) if sort_keys else container.items()
        return iter([(json_key(k), key_problem(json_key(k)), v) for k, v in items])
    return iter([(i, None, v) for i, v in enumerate(container)])


def first_problem(top, sort_keys=False):
    """The path and the possible codes of the first key or value dumps() cannot write, in the
    order it writes them; None where it can write them all."""
    if not isinstance(top, dict):
        return (), {"root-not-object"}
    stack = [((), entries(top, sort_keys))]
    while stack:
        path, rest = stack[-1]
        entry = next(rest, None)
        if entry is None:
            stack.pop()
            continue
        step, problem, value = entry
        if problem:
            return path + (step,), problem
        if isinstance(value, (dict, list, tuple)):
            stack.append((path + (step,), entries(value, sort_keys)))
        elif problem := value_problem(value):
            return path + (step,), problem
    return None


# ---- the property, over generated objects

WORDS = ["", "a", "red", "dark blue", "007", "1e3", " 12", "1.10", "a,b", "x\ty", "a\tb,c",
         'say "hi"', '"q', 'a "b", c', "{", "}", "=", "a=b", "l1\nl2", "cr\r", " lead", "trail ",
         "caf\u00e9", "\U0001f642", "\x00", "a\x01", "\ufeffbom", "caf\udce9", "\udcc3\udca9",
         "\ud800", "-", "+", ".", "0x1F", "nan", "inf", "Infinity", "true", "null", "1,2}"]
strings = st.one_of(st.sampled_from(WORDS), st.text(max_size=8),
                    st.text(alphabet=" \t,={}\"\r\n01a.eE-+\udce9", max_size=6))
plain_words = st.text(alphabet="abcxyz_-/:\u00e9\U0001f642 ", min_size=1, max_size=10).map(
    lambda word: "w" + word.strip())
floats = st.one_of(st.floats(), st.integers(-10**12, 10**12).map(lambda n: n / 10**6),
                   st.sampled_from([0.0, -0.0, INF, -INF, NAN, 1e-7, 5e-7, 0.1 + 0.2, 1e20,
                                    1.7976931348623157e308, 0.5e-6]))
integers = st.one_of(st.integers(-2**63, 2**63 - 1), st.integers(),
                     st.sampled_from([2**63, -2**63 - 1, 2**63 - 1, -2**63]))


def mostly(common, rare, odds):
    """`common`, but for one draw in `odds` (the same strategy twice in one_of counts once)."""
    return st.integers(1, odds).flatmap(lambda roll: rare if roll == 1 else common)


# Mostly values that have a text, so that most objects are written whole.
safe = st.one_of(plain_words, st.integers(-10**6, 10**6),
                 st.integers(-10**9, 10**9).map(lambda n: n / 1000))
scalars = mostly(safe, st.one_of(strings, floats, integers, st.sampled_from([True, False, None])),
                 8)
keys = mostly(plain_words, st.one_of(strings, st.integers(-3, 3),
                                     st.sampled_from([True, None, 1.5, INF])), 12)
values = st.recursive(
    scalars,
    lambda children: st.one_of(st.lists(children, max_size=4),
                               st.lists(children, max_size=3).map(tuple),
                               st.dictionaries(keys, children, max_size=4)),
    max_leaves=8)
documents = mostly(st.dictionaries(keys, values, max_size=5), values, 10)


def test_round_trip_and_refusals():
    counts = Counter()

    @settings(max_examples=400, deadline=None, derandomize=True, database=None,
              suppress_health_check=list(HealthCheck))
    @given(documents, st.booleans(), st.sampled_from([4, 1, "\t"]))
    def check(x, sort_keys, indent):
        try:
            expected = json.loads(json.dumps(x, sort_keys=sort_keys))
        except TypeError:  # keys that sorted() cannot order, unless a refusal comes first
            with pytest.raises((TypeError, kessa.KessaEncodeError)):
                kessa.dumps(x, sort_keys=sort_keys, indent=indent)
            counts["unsortable"] += 1
            return
        problem = first_problem(x, sort_keys)
        try:
            text = kessa.dumps(x, sort_keys=sort_keys, indent=indent)
        except kessa.KessaEncodeError as error:
            assert problem is not None, (x, error)
            assert error.path == problem[0] and error.code in problem[1], (x, error, problem)
            counts["refused"] += 1
            return
        assert problem is None, (x, text, problem)
        # Keys are str, tuples lists, as json.loads gives them: the same values to the bit.
        assert same(kessa.loads(text), expected), (x, text)
        assert kessa.format(text, indent=indent) == text
        counts["written"] += 1

    check()
    assert counts["written"] > 200 and counts["refused"] > 60, counts


# ---- tables

# Each value with the text dumps writes for it.
WRITTEN = [
    ({}, ""),
    ({"a": 1, "b": -2**63, "c": 2**63 - 1}, "a=1\nb=-9223372036854775808\nc=9223372036854775807\n"),
    ({"f": 1.5, "g": 1e20, "z": 0.0, "m": -0.0, "i": INF, "j": -INF},
     "f=1.5\ng=100000000000000000000.0\nz=0.0\nm=-0.0000001\ni=1e999\nj=-1e999\n"),
    ({"s": "", "t": "dark blue", "u": "a,b", "v": '"x', "w": "l1\nl2"},
     's=""\nt=dark blue\nu="a,b"\nv= "x\nw="l1\nl2"\n'),
    # Bytes that surrogateescape made of a byte that is not UTF-8 stand for it again.
    ({"k\udce9": "caf\udce9", "\ufeffb": "\x01"}, "k\udce9=caf\udce9\n\ufeffb=\x01\n"),
    ({"e": {}, "l": [], "t": (), "n": [1, (2, 3), {"x": "y"}]},
     "e={=}\nl={}\nt={}\nn={1\n    ,{2,3}\n    ,{\n        x=y\n    }\n}\n"),
    # Keys as json.dumps makes them str.
    ({1: "a", True: "b", None: "c", 1.5: "d", -INF: "e"}, "1=b\nnull=c\n1.5=d\n-Infinity=e\n"),
    # An object held twice is no cycle.
    ({"a": [[1]] * 2}, "a={{1}\n    ,{1}\n}\n"),
    # Subclasses as json.dumps takes them; a dict subclass by its items().
    (OrderedDict([("b", 1), ("a", 2)]), "b=1\na=2\n"),
]


@pytest.mark.parametrize("obj,text", WRITTEN)
def test_written(obj, text):
    assert kessa.dumps(obj) == text
    assert kessa.loads(text) == json.loads(json.dumps(obj))


def test_dict_subclasses_by_their_items():
    class Reversed(dict):
        def items(self):
            return list(super().items())[::-1]

    class Broken(dict):
        def items(self):
            return [("a", 1, 2)]

    assert kessa.dumps(Reversed(a=1, b={"x": Reversed(c=3, d=4)})) == (
        "b={\n    x={\n        d=4\n        c=3\n    }\n}\na=1\n")
    with pytest.raises(ValueError, match="items must return 2-tuples"):
        kessa.dumps(Broken(a=1))


def test_sort_keys():
    obj = {"b": {"y": 1, "x": 2}, "a": [{"d": 1, "c": 2}], 10: 1, 9: 2}
    with pytest.raises(TypeError, match="not supported between"):
        kessa.dumps(obj, sort_keys=True)
    del obj[10], obj[9]
    assert kessa.dumps(obj, sort_keys=True) == "a={{\n        c=2\n        d=1\n    }\n}\nb={\n    x=2\n    y=1\n}\n"
    assert kessa.dumps({2: 1, 10: 2}, sort_keys=True) == "2=1\n10=2\n"  # by the keys, not their text


# Each value no text gives, with its reason and path.
REFUSED = [
    ({"a": True}, "no-boolean", ("a",)),
    ({"a": [1, False]}, "no-boolean", ("a", 1)),
    ({"db": {"port": None}}, "no-null", ("db", "port")),
    ({"zip": "007"}, "numeral-string", ("zip",)),
    ({"v": [" 12"]}, "numeral-string", ("v", 0)),
    ({"t": "a,\tb"}, "tab-needs-quotes", ("t",)),
    ({"q": 'say "hi", ok'}, "quote-needs-quotes", ("q",)),
    ({"a=b": 1}, "unwritable-key", ("a=b",)),
    ({"x": {" k": 1}}, "unwritable-key", ("x", " k")),
    ({"f": 0.1 + 0.2}, "float-digits", ("f",)),
    ({"f": 1e-7}, "float-digits", ("f",)),
    ({"i": 2**63}, "big-integer", ("i",)),
    ({"i": (-2**63 - 1,)}, "big-integer", ("i", 0)),
    ({"n": NAN}, "not-a-number", ("n",)),
    ({"s": "\ud800"}, "lone-surrogate", ("s",)),
    ({"s": "\udcc3\udca9"}, "lone-surrogate", ("s",)),  # bytes that would read as "é"
    ({"\udfff": 1}, "lone-surrogate", ("\udfff",)),
    ([1], "root-not-object", ()),
    ("text", "root-not-object", ()),
    (None, "root-not-object", ()),
    # The first in the order written.
    ({"a": [None, True]}, "no-null", ("a", 0)),
]


@pytest.mark.parametrize("obj,code,path", REFUSED)
def test_refused(obj, code, path):
    with pytest.raises(kessa.KessaEncodeError) as caught:
        kessa.dumps(obj)
    error = caught.value
    assert isinstance(error, ValueError)
    assert (error.code, error.path) == (code, path)
    assert str(error) == (f"{kessa._types.path_text(path)}: " if path else "") + f"{error.msg} [{code}]"
    copy = pickle.loads(pickle.dumps(error))
    assert (type(copy), str(copy), copy.path, copy.code) == (type(error), str(error), path, code)


def test_refusal_words():
    with pytest.raises(kessa.KessaEncodeError) as caught:
        kessa.dumps({"db": {"ports": [80, "0443"], 'say "x"': 1}})
    assert str(caught.value) == ('["db"]["ports"][1]: A string that reads as a number becomes one, '
                                 "quoted or not [numeral-string]")


# Each object that is not JSON data, with where dumps notes it lies.
NOT_DATA = [
    ({"a": {1, 2}}, ['at ["a"]']),
    ({"a": [1, b"x"]}, ["at [\"a\"][1]"]),
    ({"d": {(1, 2): 1}}, ['at ["d"]']),
    ({(1, 2): 1}, None),
    (object(), None),
]


@pytest.mark.parametrize("obj,notes", NOT_DATA)
def test_not_json_data(obj, notes):
    with pytest.raises(TypeError) as theirs:
        json.dumps(obj)
    with pytest.raises(TypeError) as ours:
        kessa.dumps(obj)
    assert str(ours.value) == str(theirs.value)
    assert getattr(ours.value, "__notes__", None) == notes


def test_containers_that_hold_themselves():
    loop = []
    loop.append(loop)
    mapping = {}
    mapping["self"] = [mapping]
    through_tuple = ([],)
    through_tuple[0].append(through_tuple)
    for obj in ({"a": loop}, mapping, {"t": through_tuple}):
        with pytest.raises(ValueError, match="^Circular reference detected$"):
            kessa.dumps(obj)
    # Past the depth the walk looks at one by one.
    deep = inner = {}
    for _ in range(100):
        inner["k"] = {}
        inner = inner["k"]
    inner["back"] = [deep]
    with pytest.raises(ValueError, match="Circular"):
        kessa.dumps(deep)


def test_deeper_than_json_can_go():
    depth = 3000
    value = 1
    for _ in range(depth):
        value = [value]
    text = kessa.dumps({"a": value}, indent=1)
    assert text.startswith("a=" + "{" * depth + "1")
    loaded = kessa.loads(text)["a"]
    for _ in range(depth):
        loaded = loaded[0]
    assert loaded == 1


# Each argument with what dumps() writes for {"a": {"b": 1}}, or the exception it raises.
ARGUMENTS = [
    ({}, "a={\n    b=1\n}\n"),
    ({"indent": 2}, "a={\n  b=1\n}\n"),
    ({"indent": "\t", "sort_keys": True}, "a={\n\tb=1\n}\n"),
    ({"indent": 0}, ValueError),
    ({"indent": "tab"}, ValueError),
    ({"indent": None}, TypeError),
    ({"sort_keys": "yes"}, "a={\n    b=1\n}\n"),  # any truth value, as json.dumps
]


@pytest.mark.parametrize("keywords,expected", ARGUMENTS)
def test_arguments(keywords, expected):
    obj = {"a": {"b": 1}}
    if isinstance(expected, str):
        assert kessa.dumps(obj, **keywords) == expected
        out = io.StringIO()
        assert kessa.dump(obj, out, **keywords) is None
        assert out.getvalue() == expected
    else:
        with pytest.raises(expected, match="indent must be"):
            kessa.dumps(obj, **keywords)
    with pytest.raises(TypeError):
        kessa.dumps(obj, True)  # the options are keywords only


def test_dump_writes_nothing_for_a_refusal(tmp_path):
    path = tmp_path / "out.kessa"
    with open(path, "w", encoding="utf-8") as file:
        with pytest.raises(kessa.KessaEncodeError):
            kessa.dump({"a": 1, "b": [2, None]}, file)
    assert path.read_bytes() == b""
    with open(path, "w", encoding="utf-8", errors="surrogateescape") as file:
        kessa.dump({"k": "caf\udce9", "l": [1, 2]}, file)
    assert path.read_bytes() == b"k=caf\xe9\nl={1,2}\n"
    with open(path, "rb") as file:
        assert kessa.load(file) == {"k": "caf\udce9", "l": [1, 2]}
