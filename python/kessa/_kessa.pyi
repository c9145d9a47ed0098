from typing import Any, Callable, Dict, List, Optional, Tuple, Union, overload

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
@overload
def format(s: str, *, indent: Union[int, str] = 4) -> str: ...
@overload
def format(s: Union[bytes, bytearray, memoryview], *, indent: Union[int, str] = 4) -> bytes: ...
def dumps(obj: Any, *, sort_keys: bool = False, indent: Union[int, str] = 4) -> str: ...
