from typing import Any, Callable, Dict, List, Optional, Tuple, Union

from kessa._types import Finding

__version__: str

_Text = Union[str, bytes, bytearray, memoryview]

def loads(
    s: _Text,
    *,
    object_hook: Optional[Callable[[Dict[str, Any]], Any]] = None,
    object_pairs_hook: Optional[Callable[[List[Tuple[str, Any]]], Any]] = None,
    errors: str = "surrogateescape",
) -> Any: ...
def to_json(s: _Text, *, errors: str = "surrogateescape") -> str: ...
def check(
    s: _Text,
    schema: Optional[str] = None,
    schema_json: Optional[bytes] = None,
    schema_draft: Optional[str] = None,
) -> List[Finding]: ...
