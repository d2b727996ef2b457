"""pandas DataFrames as sheets: each column described to the C extension by the address of
its values, so that the frame is read in place, column by column."""
from __future__ import annotations

from typing import TYPE_CHECKING, Any, List, Tuple

from . import _native
from ._library import Error

if TYPE_CHECKING:
    from . import Workbook

HEAD, DATETIME, DURATION = "gqIntestazione", "gqDataOra", "gqDurata"
DATE = "date"  # the library's own

# Column kinds, as _native.cpp numbers them.
(OBJECT, FLOAT64, FLOAT32, INT8, INT16, INT32, INT64, UINT8, UINT16, UINT32, UINT64, BOOL,
 DATETIME64, TIMEDELTA64, CATEGORY) = range(15)
_NUMERIC = {"f8": FLOAT64, "f4": FLOAT32, "i1": INT8, "i2": INT16, "i4": INT32, "i8": INT64,
            "u1": UINT8, "u2": UINT16, "u4": UINT32, "u8": UINT64, "b1": BOOL}
# Width in characters of a column of each kind, for the column definitions.
_CHARS = {FLOAT64: 12, FLOAT32: 12, BOOL: 6, DATETIME64: 19, TIMEDELTA64: 10}


def define_styles(book: "Workbook") -> None:
    """The styles of the frames' sheets: date-times, durations, a bold header over a border
    (last: some readers give a style without borders those of the style before it)."""
    book.style(DATETIME, number_format="yyyy-mm-dd hh:mm:ss")
    book.style(DURATION, number_format="[h]:mm:ss")
    book.style(HEAD, bold=True, border_bottom=1)


def _address(array: Any) -> Tuple[int, int]:
    interface = array.__array_interface__
    strides = interface["strides"]
    return interface["data"][0], strides[0] if strides else array.itemsize


class _Column:
    """One column as the extension reads it, with the arrays it points into kept alive."""

    def __init__(self, values: Any) -> None:
        import numpy
        import pandas
        self.keep: List[Any] = []
        self.mask, self.mask_stride, self.code_size, self.categories = 0, 0, 0, None
        self.style: Any = None
        array = values.array if isinstance(values, (pandas.Series, pandas.Index)) else values
        dtype = values.dtype
        if isinstance(dtype, pandas.CategoricalDtype):
            codes = numpy.asarray(array.codes)
            self.kind, self.code_size = CATEGORY, codes.itemsize
            self.categories = [_plain(v) for v in array.categories]
            self._point(codes)
            texts = [len(str(v)) for v in self.categories]
            self.chars = max(texts) if texts else 0
            return
        if isinstance(dtype, (pandas.PeriodDtype, pandas.IntervalDtype)):  # as their texts
            array = numpy.array([None if pandas.isna(v) else str(v) for v in array], dtype=object)
        data, mask = getattr(array, "_data", None), getattr(array, "_mask", None)
        if isinstance(data, numpy.ndarray) and isinstance(mask, numpy.ndarray):
            # A nullable dtype (Int64, Float64, boolean): its values and where they are missing.
            self.mask, self.mask_stride = _address(mask)
            self.keep.append(mask)
            array = data
        else:
            array = numpy.asarray(array) if not isinstance(array, numpy.ndarray) else array
            if getattr(values.dtype, "tz", None) is not None:  # the wall clock of its zone
                array = numpy.asarray(values.dt.tz_localize(None))
        code = array.dtype.kind + str(array.dtype.itemsize)
        if array.dtype.kind == "M" or array.dtype.kind == "m":
            if array.dtype != numpy.dtype(array.dtype.kind + "8[ns]"):
                array = array.astype(array.dtype.kind + "8[ns]")
            self.kind = DATETIME64 if array.dtype.kind == "M" else TIMEDELTA64
            array = array.view("i8")
        elif code in _NUMERIC:
            self.kind = _NUMERIC[code]
        elif array.dtype.kind == "O":
            self.kind = OBJECT
        else:
            array = array.astype(object)  # anything else through its Python values
            self.kind = OBJECT
        self._point(array)
        if self.kind == OBJECT:
            self.chars = _native.widest_text(self.data, self.stride, 0, len(array))
        elif self.kind in _CHARS:
            self.chars = _CHARS[self.kind]
        else:
            self.chars = max(len(str(array.min())), len(str(array.max()))) if len(array) else 1
        if self.kind == DATETIME64:
            self.style = DATE if _native.dates_only(self.data, self.stride, 0, len(array)) \
                else DATETIME
            self.chars = 10 if self.style == DATE else 19
        elif self.kind == TIMEDELTA64:
            self.style = DURATION

    def _point(self, array: Any) -> None:
        if not array.flags.aligned:
            array = array.copy()
        self.keep.append(array)
        self.data, self.stride = _address(array)

    def plan(self) -> Tuple[Any, ...]:
        return (self.kind, self.data, self.stride, self.mask, self.mask_stride, self.code_size,
                self.categories, self.style)


def _plain(value: Any) -> Any:
    """A category's value as the extension takes it."""
    return value.item() if hasattr(value, "item") and not isinstance(value, str) else value


def _title(name: Any) -> str:
    if isinstance(name, tuple):
        return " / ".join(str(part) for part in name)
    return "" if name is None else str(name)


def _sheet_names(sheet: str, count: int) -> List[str]:
    names = [sheet]
    for n in range(2, count + 1):
        suffix = " (%d)" % n
        names.append(sheet[:31 - len(suffix)] + suffix)
    return names


def write_frame(book: "Workbook", frame: Any, sheet: str, *, index: bool, header: bool,
                rows_per_sheet: int) -> None:
    """Writes `frame` on sheet `sheet` of `book`, and on further sheets what does not fit."""
    import pandas
    if not isinstance(frame, pandas.DataFrame):
        raise TypeError("write_dataframe() vuole un DataFrame, non %s" % type(frame).__name__)
    from . import MAX_COLUMNS
    sources: List[Tuple[Any, Any]] = []
    if index:
        for level in range(frame.index.nlevels):
            sources.append((frame.index.names[level], frame.index.get_level_values(level)))
    for position in range(frame.shape[1]):
        sources.append((frame.columns[position], frame.iloc[:, position]))
    if len(sources) > MAX_COLUMNS:
        raise Error("Troppe colonne per un foglio: %d (al massimo %d)\n"
                    % (len(sources), MAX_COLUMNS))
    if not book._frame_styles and book._sheets == 0:
        book.prepare_styles()
    styles = {HEAD: HEAD, DATETIME: DATETIME, DURATION: DURATION, DATE: DATE, None: None}
    if not book._frame_styles:  # too late to define them: the nearest the workbook has
        styles.update({HEAD: None, DATETIME: DATE, DURATION: None})
    columns = [_Column(values) for _, values in sources]
    for column in columns:
        column.style = styles[column.style]
    titles = [_title(name) for name, _ in sources]
    plans = [c.plan() for c in columns]
    rows = len(frame)
    room = rows_per_sheet - (1 if header else 0)
    if room < 1:
        raise Error("Righe per foglio troppo poche: %d\n" % rows_per_sheet)
    parts = max(1, -(-rows // room))
    frozen = (1, frame.index.nlevels if index else 0)
    writer = book._writer
    for part, name in enumerate(_sheet_names(sheet, parts)):
        book.sheet(name)
        for number, (column, title) in enumerate(zip(columns, titles), 1):
            chars = max(column.chars, len(title) + 2 if header else 0)
            book.column(number, min(max(6 * chars + 12, 40), 400), column.style)
        if header and sources:
            book.freeze(*frozen)
            book.autofilter(1, 1, 0, len(sources))
            writer.row(titles, styles[HEAD])
        first = part * room
        writer.frame(plans, first, min(rows, first + room))
        if rows == 0 and not (header and sources):
            book.cell("")  # a sheet needs a cell to be closed
