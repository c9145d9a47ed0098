"""Read and write the kessa notation from Python, as the json module reads and writes JSON.

kessa text is key=value lines, braces and verbatim quotes:

    >>> import kessa
    >>> kessa.loads('name=demo\\nbox={w=10,h=20}\\n')
    {'name': 'demo', 'box': {'w': 10, 'h': 20}}

loads() and load() give the document as dict, list, int, float and str: what
json.loads gives for the JSON that the kessa2json tool writes, which to_json()
returns. check() lists the places where that conversion changes or drops what the
text says. Malformed text raises KessaDecodeError, a ValueError.

dumps() and dump() write a dict as kessa text that loads() reads back equal, or raise
KessaEncodeError, a ValueError, naming a value that no kessa text gives:

    >>> print(kessa.dumps({'name': 'demo', 'box': {'w': 10, 'tags': ['a', 'b']}}), end='')
    name=demo
    box={
        w=10
        tags={a,b}
    }
    >>> kessa.dumps({'db': {'debug': True}})
    Traceback (most recent call last):
    ...
    kessa.KessaEncodeError: ["db"]["debug"]: JSON true and false have no kessa text: the notation has neither [no-boolean]

format() lays out a kessa text again, as kessafmt does.
"""

from typing import IO, Any, AnyStr, Callable, Dict, List, Optional, Tuple, Union

from kessa._kessa import __version__, check, dumps, format, loads, to_json
from kessa._types import Finding, KessaDecodeError, KessaEncodeError

__all__ = [
    "loads", "load", "dumps", "dump", "format", "to_json", "check", "Finding",
    "KessaDecodeError", "KessaEncodeError",
]

# Shown, and pickled, as the package's own.
Finding.__module__ = KessaDecodeError.__module__ = KessaEncodeError.__module__ = __name__


def load(
    fp: IO[AnyStr],
    *,
    object_hook: Optional[Callable[[Dict[str, Any]], Any]] = None,
    object_pairs_hook: Optional[Callable[[List[Tuple[str, Any]]], Any]] = None,
    errors: str = "surrogateescape",
) -> Any:
    """Read the kessa text of the file object fp (opened in binary or text mode),
    as loads() reads a text."""
    return loads(
        fp.read(),
        object_hook=object_hook,
        object_pairs_hook=object_pairs_hook,
        errors=errors,
    )


def dump(
    obj: Any,
    fp: IO[str],
    *,
    sort_keys: bool = False,
    indent: Union[int, str] = 4,
) -> None:
    """Write the kessa text of obj to the text file object fp, as dumps() makes it.
    Nothing is written when dumps() raises."""
    fp.write(dumps(obj, sort_keys=sort_keys, indent=indent))
