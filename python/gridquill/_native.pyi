"""The C++ extension: the cell path of Workbook and write_dataframe."""
from typing import Any, Iterable, Optional, Sequence, Tuple, Union

Styles = Union[None, str, Sequence[Optional[str]]]

def bind(handle: int, error: type, missing: Tuple[Any, ...], decimal: type) -> None:
    """Finds the library's calls in a ctypes handle and takes the package's objects."""

def widest_text(data: int, stride: int, first: int, last: int) -> int:
    """The widest str, in characters, of an object column's rows first..last."""

def dates_only(data: int, stride: int, first: int, last: int) -> bool:
    """Whether a datetime64[ns] column's rows first..last all fall at midnight."""

class Writer:
    """A workbook's context and the row breaks it owes to the next cell."""
    def __init__(self, context: int) -> None: ...
    def cell(self, value: Any, style: Optional[str] = None, formula: Optional[str] = None,
             skip: int = 0, merge_across: int = 0, merge_down: int = 0) -> None:
        """One cell from a Python value."""
    def row(self, values: Iterable[Any], styles: Styles = None) -> None:
        """One row of values, its break owed."""
    def rows(self, rows: Iterable[Iterable[Any]], styles: Styles = None) -> int:
        """Rows from an iterable; returns their count."""
    def new_line(self, skip: int = 0, height: int = 0, style: Optional[str] = None) -> None:
        """A row break, owed to the next cell."""
    def settle(self) -> None:
        """Makes the owed row breaks."""
    def reset(self) -> None:
        """A new worksheet: nothing owed."""
    def frame(self, plans: Sequence[Tuple[Any, ...]], first: int, last: int) -> None:
        """Rows first..last of DataFrame columns."""
