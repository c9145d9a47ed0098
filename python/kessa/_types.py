"""The types the module hands back besides the document and the text: its errors and findings."""

import json
from typing import NamedTuple, Optional, Tuple, Union


class KessaDecodeError(ValueError):
    """Malformed kessa text: unbalanced braces, a key with no value, or a last value
    with no line break after it.

    msg: what is wrong, such as 'this left brace is never closed'
    doc: the text as it was given (str or bytes-like)
    pos: where the fault is in doc: a character index for a str, a byte offset else
    lineno, colno: the fault's line and column, from 1; the column in characters
    """

    def __init__(self, msg: str, doc: Union[str, bytes], pos: int, lineno: int, colno: int):
        unit = "char" if isinstance(doc, str) else "byte"
        super().__init__(f"{msg}: line {lineno} column {colno} ({unit} {pos})")
        self.msg = msg
        self.doc = doc
        self.pos = pos
        self.lineno = lineno
        self.colno = colno

    def __reduce__(self):
        return self.__class__, (self.msg, self.doc, self.pos, self.lineno, self.colno)


class KessaSchemaError(ValueError):
    """A JSON Schema that cannot be used: a file that cannot be read or fetched, text that
    is not JSON, or JSON that is not a schema.

    reason: why, such as 'not JSON: ...'
    file: the schema's file or URL, or the one of its $refs to blame
    line, column: the place in it, from 1; None where no place is to blame
    """

    def __init__(self, reason: str, file: str, line: Optional[str] = None,
                 column: Optional[str] = None):
        self.reason = reason
        self.file = file
        self.line = int(line) if line is not None else None
        self.column = int(column) if column is not None else None
        place = f"{file}:{self.line}:{self.column}" if self.line is not None else file
        super().__init__(f"{place}: {reason}")

    def __reduce__(self):
        return self.__class__, (self.reason, self.file,
                                None if self.line is None else str(self.line),
                                None if self.column is None else str(self.column))


def path_text(path: Tuple[Union[str, int], ...]) -> str:
    """The path as subscripts of the top-level dict, such as '["db"]["ports"][0]'."""
    return "".join(
        f"[{json.dumps(step, ensure_ascii=False)}]" if isinstance(step, str) else f"[{step}]"
        for step in path
    )


class KessaEncodeError(ValueError):
    """A value that no kessa text gives, such as True, or the str '007' (which reads as
    a number); nothing is written.

    msg: why, such as 'JSON true and false have no kessa text: the notation has neither'
    code: the reason's stable name, such as 'no-boolean'
    path: the keys and indices from the top-level dict to the value, such as
        ('db', 'ports', 0); for a key no text gives, its path ends with that key; empty
        for a top level that is not a dict
    """

    def __init__(self, msg: str, code: str, path: Tuple[Union[str, int], ...]):
        words = f"{msg} [{code}]"
        super().__init__(f"{path_text(path)}: {words}" if path else words)
        self.msg = msg
        self.code = code
        self.path = path

    def __reduce__(self):
        return self.__class__, (self.msg, self.code, self.path)


def _note_path(error: BaseException, path: Tuple[Union[str, int], ...]) -> None:
    """Notes where the object that dumps() cannot write lies."""
    error.add_note(f"at {path_text(path)}")


class Finding(NamedTuple):
    """A place where the conversion changes or drops what the text says, as
    kessa2json --check reports it.

    code: the stable name of its kind, such as 'leading-zeros' ('malformed' for the
        fault of malformed text)
    severity: 'note', 'warning' or 'error'
    message: what happens there, and what to write instead where there is a way
    line, column: where its bytes begin, from 1; the column in characters
    end_line, end_column: the character just past them
    offset, length: the bytes concerned, in bytes of the text's UTF-8 form from 0
    """

    code: str
    severity: str
    message: str
    line: int
    column: int
    end_line: int
    end_column: int
    offset: int
    length: int
