"""Read the kessa notation into Python objects, as the json module reads JSON.

kessa text is key=value lines, braces and verbatim quotes:

    >>> import kessa
    >>> kessa.loads('name=demo\\nbox={w=10,h=20}\\n')
    {'name': 'demo', 'box': {'w': 10, 'h': 20}}

loads() and load() give the document as dict, list, int, float and str: what
json.loads gives for the JSON that the kessa2json tool writes, which to_json()
returns. check() lists the places where that conversion changes or drops what the
text says. Malformed text raises KessaDecodeError, a ValueError.
"""

from typing import IO, Any, AnyStr, Callable, Dict, List, Optional, Tuple

from kessa._kessa import __version__, check, loads, to_json
from kessa._types import Finding, KessaDecodeError

__all__ = ["loads", "load", "to_json", "check", "Finding", "KessaDecodeError"]

# Shown, and pickled, as the package's own.
Finding.__module__ = KessaDecodeError.__module__ = __name__


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
