"""Read and write the kessa notation from Python, as the json module reads and writes JSON.

kessa text is key=value lines, braces and verbatim quotes:

    >>> import kessa
    >>> kessa.loads('name=demo\\nbox={w=10,h=20}\\n')
    {'name': 'demo', 'box': {'w': 10, 'h': 20}}

loads() and load() give the document as dict, list, int, float and str: what
json.loads gives for the JSON that the kessa2json tool writes, which to_json()
returns. check() lists the places where that conversion changes or drops what the
text says, and, given a JSON Schema, where what it becomes does not fit the schema.
Malformed text raises KessaDecodeError, a ValueError.

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

import json
import os

from typing import IO, Any, AnyStr, Callable, Dict, List, Optional, Tuple, Union

from kessa import _kessa
from kessa._kessa import __version__, dumps, format, loads, to_json
from kessa._types import Finding, KessaDecodeError, KessaEncodeError, KessaSchemaError

__all__ = [
    "loads", "load", "dumps", "dump", "format", "to_json", "check", "Finding",
    "KessaDecodeError", "KessaEncodeError", "KessaSchemaError",
]

# Shown, and pickled, as the package's own.
Finding.__module__ = KessaDecodeError.__module__ = KessaEncodeError.__module__ = __name__
KessaSchemaError.__module__ = __name__


def check(s: Any, schema: Any = None, *, schema_draft: Optional[str] = None) -> List[Finding]:
    """The places where the conversion of the kessa text s (str or bytes-like)
    changes or drops what it says, as kessa2json --check reports them: a list of
    Finding in document order, ending with a 'malformed' one for malformed text.

    schema, a path, an http(s) URL (fetched and cached as the tool does) or a
    schema as a dict, adds each place where what s becomes does not fit it, as
    kessa2json --check --schema reports them; schema_draft ('4', '6', '7',
    '2019-09', '2020-12') is the draft of a schema that names none. A schema that
    cannot be used raises KessaSchemaError, a ValueError.
    """
    if schema is None:
        return _kessa.check(s, schema_draft=schema_draft)
    if isinstance(schema, (str, os.PathLike)):
        return _kessa.check(s, schema=os.fspath(schema), schema_draft=schema_draft)
    return _kessa.check(s, schema_json=json.dumps(schema).encode(), schema_draft=schema_draft)


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
