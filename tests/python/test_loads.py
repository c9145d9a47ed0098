"""kessa.loads and kessa.load: what each kind of text gives, the arguments they take, and how they
fail; several threads at once; no reference left behind."""

import gc
import io
import pickle
import sys
import threading

import pytest

import kessa
from conftest import same

INF = float("inf")

# Each text with what loads gives for it.
VALUES = [
    # Integers, saturated to 64 bits
    (b"a=1\n", {"a": 1}),
    (b"a=+7\nb=007\n", {"a": 7, "b": 7}),
    (b"a=9223372036854775807\nb=9223372036854775808\n",
     {"a": 9223372036854775807, "b": 9223372036854775807}),
    (b"a=-9223372036854775808\nb=-9223372036854775809\n",
     {"a": -9223372036854775808, "b": -9223372036854775808}),
    # Floats, as their six decimals give them back
    (b"a=1.5\nb=-2.25\nc=1.\n", {"a": 1.5, "b": -2.25, "c": 1.0}),
    # (ties go to even from the double's exact value, which lies just below 0.1234575)
    (b"a=0.123456\nb=0.1234565\nc=0.1234575\n", {"a": 0.123456, "b": 0.123456, "c": 0.123457}),
    (b"a=3.14159265358979\nb=1e-9\n", {"a": 3.141593, "b": 0.0}),
    # A zero keeps no sign (an underflow is one); a negative number written as zero keeps its own,
    # as "-0.0".
    (b"a=-0\nb=-0.0\nc=-0.0000001\nd=-1e-9\ne=-1e-400\n",
     {"a": 0, "b": 0.0, "c": -0.0, "d": -0.0, "e": 0.0}),
    (b"a=1e400\nb=-1e400\nc=1E1\n", {"a": INF, "b": -INF, "c": 10.0}),
    (b"a=0x1F\nb=12345678901.1234567\n", {"a": 31.0, "b": 12345678901.123457}),
    # Strings: quoting changes no type
    (b"a=red\nb=\"dark blue\"\nc=\"12\"\nd=\"\"\n", {"a": "red", "b": "dark blue", "c": 12, "d": ""}),
    (b"a=\"1,2}\"\nb=\"x\ty\"\nc=\"l1\nl2\"\n", {"a": "1,2}", "b": "xy", "c": "l1\nl2"}),
    (b"a=x\x00y\nb=\x01\n", {"a": "x\x00y", "b": "\x01"}),
    (b"\xef\xbb\xbfa=caf\xc3\xa9\r\n", {"\ufeffa": "caf\u00e9"}),
    # Containers
    (b"a={1,x,2.5}\nb={}\nc={=}\n", {"a": [1, "x", 2.5], "b": [], "c": {}}),
    (b"a={x=1\ny={z={}}\n}\n", {"a": {"x": 1, "y": {"z": []}}}),
    (b"a={{1},{x=2}}\n", {"a": [[1], {"x": 2}]}),
    # Keys: the last of a repeated key, the empty key where none waits
    (b"a=1\nb=2\na=3\n", {"a": 3, "b": 2}),
    (b"a=1,2\n{x=1}\n", {"a": 1, "": {"x": 1}}),
    (b"a={1,x=2}\n3\n", {"a": [1, 2], "x": 3}),
    (b"", {}),
]


@pytest.mark.parametrize("text,expected", VALUES)
def test_values(text, expected):
    assert same(kessa.loads(text), expected)
    assert same(kessa.loads(text.decode("utf-8")), expected)


# Each text with what any bytes-like argument gives, and the hooks with what they get.
def test_argument_types():
    text = b"a={1,2}\n"
    for argument in (text, bytearray(text), memoryview(text), text.decode(), io.BytesIO(text)
                     .getbuffer()):
        assert kessa.loads(argument) == {"a": [1, 2]}
    for argument in (None, 1, ["a=1\n"], object()):
        with pytest.raises(TypeError, match="must be str or a bytes-like object"):
            kessa.loads(argument)
    with pytest.raises(TypeError):
        kessa.loads(text, errors=1)
    with pytest.raises(LookupError):
        kessa.loads(text, errors="no-such-handler")
    with pytest.raises(TypeError, match="object_hook must be callable"):
        kessa.loads(text, object_hook=1)
    with pytest.raises(TypeError):
        kessa.loads(text, 1)  # the options are keywords only
    assert kessa.loads(s=text, object_hook=None, object_pairs_hook=None) == {"a": [1, 2]}


def test_object_pairs_hook_gets_every_pair_in_order():
    text = b"a=1\nb={x=1,x=2}\na=3\nc={1,2}\n"
    pairs = kessa.loads(text, object_pairs_hook=list)
    assert pairs == [("a", 1), ("b", [("x", 1), ("x", 2)]), ("a", 3), ("c", [1, 2])]
    # It wins over object_hook, as in json.loads.
    assert kessa.loads(text, object_hook=len, object_pairs_hook=len) == 4
    assert kessa.loads(text, object_hook=len) == 3
    assert kessa.loads(b"a={x=1}\n", object_hook=lambda d: sorted(d.items())) == [
        ("a", [("x", 1)])]


def test_a_hooks_exception_comes_through():
    failure = ValueError("from the hook")

    def hook(pairs):
        raise failure

    for keyword in ("object_hook", "object_pairs_hook"):
        with pytest.raises(ValueError) as caught:
            kessa.loads(b"a={x=1}\n", **{keyword: hook})
        assert caught.value is failure


def test_bytes_that_are_not_utf8():
    text = b"k\xe9y=caf\xe9\nok=\xc3\xa9\n"
    loaded = kessa.loads(text)
    assert loaded == {"k\udce9y": "caf\udce9", "ok": "\u00e9"}
    assert [key.encode("utf-8", "surrogateescape") for key in loaded] == [b"k\xe9y", b"ok"]
    assert loaded["k\udce9y"].encode("utf-8", "surrogateescape") == b"caf\xe9"
    # The same text as a str, as surrogateescape decodes it, reads the same.
    assert kessa.loads(text.decode("utf-8", "surrogateescape")) == loaded
    assert kessa.loads(text, errors="replace") == {"k\ufffdy": "caf\ufffd", "ok": "\u00e9"}
    for strict in (b"k\xe9=1\n", b"k=\xe9\n", b"k={\xe9}\n"):
        with pytest.raises(UnicodeDecodeError):
            kessa.loads(strict, errors="strict")
    with pytest.raises(UnicodeEncodeError):
        kessa.loads("k=\udce9\n", errors="strict")
    with pytest.raises(UnicodeEncodeError):  # not a byte that surrogateescape made
        kessa.loads("k=\ud800\n")


# Each malformed text with its message, line, column and position in a str.
MALFORMED = [
    ("a=1", "the last value needs a line break after it", 1, 3, 2),
    ("a=1\n  ", "stray blanks after the last line break", 2, 1, 4),
    ("a={1\n", "this left brace is never closed", 1, 3, 2),
    ("a=1\nb={x={\n", "this left brace is never closed", 2, 6, 9),
    ("}\n", "a right brace with no left brace open", 1, 1, 0),
    ("a=\"x\n", "the quoted value that starts here is never closed", 1, 3, 2),
    ("\u00e9\u00e9=1\nport=\n", 'the key "port" has no value', 2, 1, 5),
    ("k\u00e9=\"\u00e9\n", "the quoted value that starts here is never closed", 1, 4, 3),
    ("k\udce9=\"x\n", "the quoted value that starts here is never closed", 1, 4, 3),
    ("a\x01\udce9=\n", 'the key "a\\x01\\xe9" has no value', 1, 1, 0),  # shown printable
]


@pytest.mark.parametrize("text,msg,lineno,colno,pos", MALFORMED)
def test_malformed_text(text, msg, lineno, colno, pos):
    for read in (kessa.loads, kessa.to_json):
        with pytest.raises(kessa.KessaDecodeError) as caught:
            read(text)
        error = caught.value
        assert isinstance(error, ValueError)
        assert (error.msg, error.doc, error.pos, error.lineno, error.colno) == (
            msg, text, pos, lineno, colno)
        assert str(error) == f"{msg}: line {lineno} column {colno} (char {pos})"
        # As bytes, pos is the byte offset.
        data = text.encode("utf-8", "surrogateescape")
        with pytest.raises(kessa.KessaDecodeError) as caught:
            read(data)
        offset = len(text[:pos].encode("utf-8", "surrogateescape"))
        assert (caught.value.pos, caught.value.doc) == (offset, data)
        assert str(caught.value) == f"{msg}: line {lineno} column {colno} (byte {offset})"
    copy = pickle.loads(pickle.dumps(error))
    assert (type(copy), copy.args, copy.pos, copy.lineno) == (
        type(error), error.args, error.pos, error.lineno)


def test_load_reads_a_file_object(tmp_path):
    path = tmp_path / "in.kessa"
    path.write_bytes(b"k\xe9=1\nb={x=2}\n")
    with open(path, "rb") as binary:
        assert kessa.load(binary) == {"k\udce9": 1, "b": {"x": 2}}
    with open(path, encoding="utf-8", errors="surrogateescape") as text:
        assert kessa.load(text, object_pairs_hook=dict) == {"k\udce9": 1, "b": {"x": 2}}
    with pytest.raises(kessa.KessaDecodeError):
        kessa.load(io.StringIO("a={\n"))


def test_any_depth():
    # A million levels: nothing recurses per level, in the module or in Python's freeing.
    depth = 1_000_000
    loaded = kessa.loads(b"a=" + b"{" * depth + b"1" + b"}" * depth + b"\n")
    level = 0
    node = loaded["a"]
    while isinstance(node, list):
        node, level = node[0], level + 1
    assert (level, node) == (depth, 1)
    objects = kessa.loads(b"{k=" * depth + b"1\n" + b"}" * depth)
    assert type(objects[""]) is dict
    del loaded, objects, node


def test_threads_read_at_once():
    texts = [b"n=%d\nv={%s}\n" % (i, b",".join(b"%d.5" % j for j in range(i * 50))) for i in
             range(8)]
    expected = [kessa.loads(text) for text in texts]
    start = threading.Barrier(len(texts) + 1)
    stop = threading.Event()
    failures = []

    def read(text, result):
        start.wait()
        for _ in range(100):
            if not same(kessa.loads(text), result):
                failures.append(text)

    def spin():  # a thread running Python code the whole time
        start.wait()
        while not stop.is_set():
            sum(range(100))

    threads = [threading.Thread(target=read, args=pair) for pair in zip(texts, expected)]
    spinner = threading.Thread(target=spin)
    for thread in [*threads, spinner]:
        thread.start()
    for thread in threads:
        thread.join()
    stop.set()
    spinner.join()
    assert failures == []


def test_nothing_left_behind_over_many_calls():
    text = b"a=1\nb={x=2.5,y=\"s\"}\nc={1,2,3}\nk\xe9=v\n"
    written = {"a": [1, 2.5, "x y", ("t",)], "b": {"c\u00e9": "\U0001f642", 3: "k\udce9"}}
    loop = {"a": []}
    loop["a"].append(loop)
    calls = [
        lambda: kessa.loads(text),
        lambda: kessa.loads(text, object_pairs_hook=list),
        lambda: kessa.loads(text, object_hook=dict),
        lambda: kessa.loads(text.decode("utf-8", "surrogateescape")),
        lambda: kessa.to_json(text),
        lambda: kessa.check(text),
        lambda: kessa.format(text),
        lambda: kessa.format(text.decode("utf-8", "surrogateescape"), indent="\t"),
        lambda: kessa.dumps(written, sort_keys=True),
    ]
    failing = [
        lambda: kessa.loads(b"a={x={1,2}\n"),
        lambda: kessa.loads(text, errors="strict"),
        lambda: kessa.loads(text, object_pairs_hook=pairs_failing),
        lambda: kessa.loads(1),
        lambda: kessa.format(b"a={\n"),
        lambda: kessa.dumps({"a": [1, {"b": True}]}),
        lambda: kessa.dumps({"a": [1, {2}]}),
        lambda: kessa.dumps({"a": {(1,): 2}}),
        lambda: kessa.dumps(written, indent=0),
        lambda: kessa.dumps(loop),
    ]

    def pairs_failing(pairs):
        raise KeyError

    def counts():
        return [sys.getrefcount(o) for o in (text, pairs_failing, written, loop, loop["a"])]

    before = counts()
    memory = resident()
    for call in [*calls, *failing]:
        for round in range(2):  # the first fills Python's caches
            gc.collect()
            blocks = sys.getallocatedblocks()
            for _ in range(10_000):
                try:
                    call()
                except (ValueError, KeyError, TypeError):
                    pass
            gc.collect()
        assert sys.getallocatedblocks() - blocks < 50
    assert counts() == before
    # Nor memory of the module's own, which Python does not count.
    assert resident() - memory < 4 << 20
    assert gc.isenabled()


def resident():
    """The process's resident memory in bytes."""
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024


def test_the_collector_runs_again_after_a_call():
    gc.disable()
    try:
        kessa.loads(b"a=1\n")
        assert not gc.isenabled()  # as the caller left it
    finally:
        gc.enable()
    kessa.loads(b"a=1\n")
    kessa.loads(b"a={x=1}\n", object_hook=lambda d: kessa.loads(b"b=2\n"))
    assert gc.isenabled()
