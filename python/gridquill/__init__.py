"""Gridquill for Python: XML Spreadsheet 2003 workbooks written at the speed of C.

    import gridquill
    gridquill.write_dataframe(df, "vendite.xml", sheet="Vendite")

    with gridquill.Workbook("righe.xml", author="Ufficio") as book:
        book.sheet("Righe")
        book.write_rows(cursor)          # any iterable of sequences

Texts are str (written as UTF-8); numbers (int, float, Decimal) become Number cells, bool
Boolean cells, date and datetime DateTime cells; None, NaN, NaT and pd.NA leave the cell
empty. A refused call raises gridquill.Error with the library's message.
"""
from __future__ import annotations

import ctypes
import os
import threading
from typing import IO, Any, Iterable, List, Mapping, Optional, Sequence, Union

from . import _native
from ._library import Error, SheetSetup, StyleRecord, Validation, WRITE_FUNCTION, library

__version__ = "1.1.0"
"""The package's version."""

__all__ = ["Error", "Style", "Workbook", "write_dataframe", "write_dataframes", "MAX_ROWS",
           "MAX_COLUMNS", "DISPLAY_NO_GRIDLINES", "DISPLAY_NO_ZEROS", "DISPLAY_NO_HEADINGS",
           "DISPLAY_RIGHT_TO_LEFT", "version"]

MAX_ROWS = 1048576
"""Rows of a worksheet."""
MAX_COLUMNS = 256
"""Columns of a worksheet."""
DISPLAY_NO_GRIDLINES = 1
"""Workbook.display(): no gridlines on screen."""
DISPLAY_NO_ZEROS = 2
"""Workbook.display(): zeros shown as empty cells."""
DISPLAY_NO_HEADINGS = 4
"""Workbook.display(): no row and column headings."""
DISPLAY_RIGHT_TO_LEFT = 8
"""Workbook.display(): columns from right to left."""

Target = Union[str, "os.PathLike[str]", IO[bytes]]
StyleArg = Optional[str]


def _text(text: Optional[str]) -> bytes:
    return b"" if text is None else text.encode("utf-8") if isinstance(text, str) else bytes(text)


def version() -> Optional[str]:
    """The library's version, or None when it is too old to say."""
    return library().version


class Style:
    """A named cell style, given to Workbook.style(). Starts from the library's default
    without a fill and with the General number format.

    Keywords: horizontal ("Left", "Center", "Right"), vertical, indent, line_style,
    border_color, border (weight of all four borders) or border_top, border_bottom,
    border_left, border_right, font, bold, italic, font_size, font_color, fill (a colour
    "#RRGGBB"), pattern, pattern_color, number_format ("#,##0.00", "yyyy-mm-dd"), wrap,
    vertical_text, rotate, protected."""

    _TEXTS = {"horizontal": "horizontal", "vertical": "vertical", "line_style": "lineStyle",
              "border_color": "borderColor", "font": "fontName", "font_color": "fontColor",
              "fill": "interiorColor", "pattern": "pattern", "pattern_color": "patternColor",
              "number_format": "numberFormat"}
    _FLAGS = {"bold": "bold", "italic": "italic", "wrap": "wrapText",
              "vertical_text": "verticalText", "protected": "isProtected"}
    _NUMBERS = {"indent": "indent", "border_top": "weightTop", "border_bottom": "weightBottom",
                "border_left": "weightLeft", "border_right": "weightRight",
                "font_size": "fontSize", "rotate": "rotate"}

    def __init__(self, **fields: Any) -> None:
        record = StyleRecord(horizontal=b"Left", vertical=b"Bottom", lineStyle=b"Continuous",
                             bold=b"0", italic=b"0", pattern=b"", wrapText=b"0",
                             verticalText=b"0", isProtected=b"0", numberFormat=b"General")
        for key, value in fields.items():
            if key == "border":
                for side in ("weightTop", "weightBottom", "weightLeft", "weightRight"):
                    setattr(record, side, int(value))
            elif key in self._TEXTS:
                field = self._TEXTS[key]
                data = _text(value)
                if len(data) >= getattr(StyleRecord, field).size:
                    raise Error("Testo troppo lungo per '%s' dello stile\n" % key)
                setattr(record, field, data)
            elif key in self._FLAGS:
                setattr(record, self._FLAGS[key], b"1" if value else b"0")
            elif key in self._NUMBERS:
                setattr(record, self._NUMBERS[key], int(value))
            else:
                raise TypeError("Style() non ha il campo %r" % key)
        if "fill" in fields and "pattern" not in fields:
            record.pattern = b"Solid"
        self.record = record


class Workbook:
    """One workbook in progress, written as it goes to a file or a binary stream, in a
    context of its own: several may be open at once, in one thread or in several (each used
    by one thread at a time).

    `target` is a path or a binary file object (with write()). `author` is the last author.
    `atomic` writes a path through a temporary file that replaces it only when the workbook
    is complete (synced to the disk); without it (the default, as the library's) the path is
    written as it goes. `properties` are document properties (Title, Subject,
    Keywords, Description, Category, Manager, Company); `active_sheet` the sheet (0-based)
    it opens on. Used in `with`, it closes at the end of the block, or drops the workbook
    (leaving an atomic target as it was) when the block raises."""

    def __init__(self, target: Target, author: str = "", *, atomic: bool = False,
                 properties: Optional[Mapping[str, str]] = None,
                 active_sheet: Optional[int] = None, _merge_input: Any = None) -> None:
        self._lib = library()
        lib = self._lib.lib
        self._lock = threading.Lock()
        self._context = lib.xlsNewContext()
        if not self._context:
            raise self._lib.error()
        self._writer = _native.Writer(self._context)
        self._stream: Any = None
        self._closed = False
        self._sheets = 0  # sheets started
        self._frame_styles = False  # prepare_styles() called
        self._call(lib.xlsSetEncoding, b"UTF-8")
        self._call(lib.xlsSetAtomic, 1 if atomic else 0)
        for name, value in (properties or {}).items():
            self._call(lib.xlsSetDocumentProperty, _text(name), _text(value))
        if active_sheet is not None:
            self._call(lib.xlsSetActiveSheet, active_sheet)
        if _merge_input is not None:
            self._call(lib.xlsInitMerge, os.fsencode(_merge_input), os.fsencode(target))
        elif hasattr(target, "write"):
            stream = target

            def write(_context: Any, data: Any, size: int) -> int:
                try:
                    taken = stream.write(ctypes.string_at(data, size))
                except Exception:  # noqa: BLE001 - the library reports a failed write
                    return -1
                return size if taken is None else taken

            self._stream = WRITE_FUNCTION(write)  # alive while the library may call it
            self._call(lib.xlsInitStream, self._stream, None, _text(author))
        else:
            self._call(lib.xlsInit, os.fsencode(target), _text(author))

    @classmethod
    def merge(cls, input: Union[str, "os.PathLike[str]"], output: Union[str, "os.PathLike[str]"],
              *, drop: Iterable[str] = (), replace: Iterable[str] = (),
              append: Iterable[str] = (), atomic: bool = True,
              active_sheet: Optional[int] = None) -> "Workbook":
        """A workbook at `output` that starts as a copy of the workbook at `input`, less the
        sheets named in `drop`; sheets named in `replace` are written anew where they stand,
        those in `append` continued below their last row, when this workbook's sheet() names
        them; other sheets added follow the input's. With atomic mode (the default) input and
        output may be the same file."""
        book = cls(output, atomic=atomic, active_sheet=active_sheet, _merge_input=input)
        for name in drop:
            book.drop_sheet(name)
        for name in replace:
            book.replace_sheet(name)
        for name in append:
            book.append_to_sheet(name)
        return book

    # The context selected around each call made through ctypes.
    def _call(self, function: Any, *args: Any) -> int:
        if self._closed:
            raise Error("Cartella di lavoro gia' chiusa\n")
        lib = self._lib.lib
        with self._lock:
            previous = lib.xlsGetContext()
            if previous != self._context and lib.xlsSelectContext(self._context) == 0:
                raise self._lib.error()
            try:
                if function(*args) == 0:
                    raise self._lib.error()
            finally:
                if previous != self._context:
                    lib.xlsSelectContext(previous)
        return -1

    def _alive(self) -> _native.Writer:
        if self._closed:
            raise Error("Cartella di lavoro gia' chiusa\n")
        return self._writer

    def __enter__(self) -> "Workbook":
        return self

    def __exit__(self, kind: Any, value: Any, traceback: Any) -> None:
        if self._closed:
            return
        if kind is None:
            self.close()
        else:
            self.abandon()

    def __del__(self) -> None:
        context = getattr(self, "_context", None)
        if context:
            self._context = None
            self._lib.lib.xlsFreeContext(context)

    def close(self) -> None:
        """Ends the workbook and its file (renamed over the target in atomic mode). Raises
        Error when a write failed or no sheet has a cell."""
        try:
            self._call(self._lib.lib.xlsClose)
        finally:
            self._closed = True

    def abandon(self) -> None:
        """Drops the workbook unfinished: in atomic mode the target keeps its old content."""
        if not self._closed:
            self._call(self._lib.lib.xlsAbandon)
            self._closed = True

    @property
    def closed(self) -> bool:
        """Whether close() or abandon() has ended the workbook."""
        return self._closed

    # Structure: styles, sheets, columns, names.
    def style(self, id: str, style: Optional[Style] = None, **fields: Any) -> "Workbook":
        """Defines the style `id` (at most 15 characters) before the first sheet, from a
        Style or from Style's keywords: book.style("soldi", number_format="#,##0.00")."""
        record = (style or Style(**fields)).record
        self._call(self._lib.lib.xlsAddStyle, record, _text(id))
        return self

    def sheet(self, name: str, *, header: Optional[str] = None, footer: Optional[str] = None,
              landscape: bool = True, gridlines: bool = True,
              margins: Optional[Sequence[float]] = None) -> "Workbook":
        """Starts a worksheet (names over 31 characters are cut). `header` and `footer` are
        the printed page's ("&P" the page number); `margins` (top, bottom, left, right) in
        inches."""
        setup = SheetSetup(name=b"NoName", headerMargin=b"0.5", footerMargin=b"0.5",
                           marginTop=b"1", marginBottom=b"1", marginLeft=b"1", marginRight=b"1",
                           gridlines=b"1" if gridlines else b"0", reserved1=b"0",
                           reserved2=b"\0", orientation=b"L" if landscape else b"P")
        if header is not None:
            setup.header = _text(header)[:127]
        if footer is not None:
            setup.footer = _text(footer)[:127]
        if margins is not None:
            setup.marginTop, setup.marginBottom, setup.marginLeft, setup.marginRight = (
                _text(repr(float(m)))[:7] for m in margins)
        self._call(self._lib.lib.xlsAddSheet, _text(name), setup)
        self._writer.reset()
        self._sheets += 1
        return self

    def drop_sheet(self, name: str) -> "Workbook":
        """In a merge, before the first sheet(): leaves the input's sheet `name` out."""
        self._call(self._lib.lib.xlsSheetDelete, _text(name))
        return self

    def input_sheets(self) -> List[str]:
        """In a merge, the input's worksheet names in their order."""
        function = self._lib.call("xlsGetMergeSheet")
        names: List[str] = []
        with self._lock:
            lib = self._lib.lib
            previous = lib.xlsGetContext()
            lib.xlsSelectContext(self._context)
            try:
                while (name := function(len(names))) is not None:
                    names.append(name.decode("utf-8"))
            finally:
                lib.xlsSelectContext(previous)
        return names

    def replace_sheet(self, name: str) -> "Workbook":
        """In a merge, before the first sheet(): sheet(name) writes the input's sheet `name`
        anew where it stands."""
        self._call(self._lib.call("xlsSheetReplace"), _text(name))
        return self

    def append_to_sheet(self, name: str) -> "Workbook":
        """In a merge, before the first sheet(): sheet(name) keeps the input's sheet `name`
        and writes the next rows below its last one."""
        self._call(self._lib.call("xlsSheetAppend"), _text(name))
        return self

    def column(self, column: int, width: int, style: StyleArg = None,
               hidden: bool = False) -> "Workbook":
        """Width in points of column 1 to 256, with a style; before the sheet's first cell."""
        self._call(self._lib.lib.xlsColumnEx, column, width, _text(style), 1 if hidden else 0)
        return self

    def name(self, name: str, refers_to: str) -> "Workbook":
        """A workbook-wide name before the first sheet: name("Tasso", "=Dati!R1C2")."""
        self._call(self._lib.lib.xlsAddName, _text(name), _text(refers_to))
        return self

    def sheet_name(self, name: str, refers_to: str) -> "Workbook":
        """A name of the sheet just started, before its first column or cell."""
        self._call(self._lib.lib.xlsAddSheetName, _text(name), _text(refers_to))
        return self

    def print_area(self, first_row: int, first_column: int, last_row: int,
                   last_column: int) -> "Workbook":
        """The sheet's print area (1-based, inclusive), before its first column or cell."""
        self._call(self._lib.lib.xlsSetPrintArea, first_row, first_column, last_row, last_column)
        return self

    def print_titles(self, first_row: int, last_row: int, first_column: int = 0,
                     last_column: int = 0) -> "Workbook":
        """Rows (and columns) repeated on each printed page; 0, 0 for none of a kind."""
        self._call(self._lib.lib.xlsSetPrintTitles, first_row, last_row, first_column,
                   last_column)
        return self

    # Cells and rows.
    def cell(self, value: Any, style: StyleArg = None, *, formula: Optional[str] = None,
             skip: int = 0, merge_across: int = 0, merge_down: int = 0) -> "Workbook":
        """One cell in the current row, after `skip` empty ones. None (or NaN, NaT, pd.NA)
        leaves it empty unless it has a style, a merge or a formula (an R1C1 formula, with
        `value` what readers show until they compute it)."""
        self._alive().cell(value, style, formula, skip, merge_across, merge_down)
        return self

    def row(self, values: Iterable[Any], styles: Union[None, str, Sequence[StyleArg]] = None
            ) -> "Workbook":
        """Writes `values` as the cells of one row and ends it; `styles` is one style for
        all, or one per column. A row of empty values stays an empty row."""
        self._alive().row(values, styles)
        return self

    def write_rows(self, rows: Iterable[Iterable[Any]],
                   styles: Union[None, str, Sequence[StyleArg]] = None) -> int:
        """Writes each item of `rows` (a generator, a database cursor, a list of tuples) as a
        row, as row() does, in one call; returns how many rows it wrote."""
        return self._alive().rows(rows, styles)

    def new_line(self, skip: int = 0, height: int = 0, style: StyleArg = None) -> "Workbook":
        """Ends the row; `skip` (1 to 200) leaves empty rows, `height` (1 to 199 points) and
        `style` are the next row's. Each call ends a row: two leave an empty one between."""
        self._alive().new_line(skip, height, style)
        return self

    def formula(self, formula: str, value: float = 0, style: StyleArg = None) -> "Workbook":
        """A Number cell with an R1C1 formula ("=SUM(R[-3]C:R[-1]C)") and its value."""
        return self.cell(value, style, formula=formula)

    def link(self, address: str, tip: str = "") -> "Workbook":
        """A hyperlink ("https://...", "mailto:...", "#Foglio!A1") on the next cell."""
        self._call(self._lib.lib.xlsSetCellLink, _text(address), _text(tip))
        return self

    def comment(self, text: str, author: str = "", shown: bool = False) -> "Workbook":
        """A comment (note) on the next cell; `shown` keeps it visible."""
        self._call(self._lib.lib.xlsSetCellComment, _text(text), _text(author),
                   1 if shown else 0)
        return self

    def hide_row(self) -> "Workbook":
        """Hides the row the next cell opens (after row() or new_line())."""
        self._settle()
        self._call(self._lib.lib.xlsHideRow)
        return self

    def _settle(self) -> None:
        with self._lock:
            self._alive().settle()

    def position(self) -> Optional[str]:
        """A1 name of the next cell's position (None beyond column ZZ)."""
        self._settle()
        lib = self._lib.lib
        with self._lock:
            previous = lib.xlsGetContext()
            lib.xlsSelectContext(self._context)
            text = lib.xlsGetPosition()
            lib.xlsSelectContext(previous)
        return text.decode("ascii") if text is not None else None

    def rectangle(self, row1: int, column1: int, row2: int, column2: int) -> str:
        """The R1C1 range from (row1, column1) to (row2, column2), 1-based, relative to the
        next cell: for formulas, as in formula("=SUM(%s)" % book.rectangle(2, 2, 4, 2))."""
        where = self.position()
        if where is None:
            raise Error("Posizione oltre la colonna ZZ\n")
        letters = where.rstrip("0123456789")
        row = int(where[len(letters):])
        column = 0
        for letter in letters:
            column = column * 26 + ord(letter) - ord("A") + 1

        def offset(n: int) -> str:
            return "[%d]" % n if n else ""
        return "R%sC%s:R%sC%s" % (offset(row1 - row), offset(column1 - column),
                                  offset(row2 - row), offset(column2 - column))

    # Options of the open worksheet.
    def freeze(self, rows: int, columns: int = 0) -> "Workbook":
        """Freezes the top `rows` rows and the left `columns` columns."""
        self._call(self._lib.lib.xlsFreezePanes, rows, columns)
        return self

    def autofilter(self, first_row: int, first_column: int, last_row: int,
                   last_column: int) -> "Workbook":
        """Filter buttons over a range whose first row is the header (last_row 0: down to
        the last row written)."""
        self._call(self._lib.lib.xlsAutoFilter, first_row, first_column, last_row, last_column)
        return self

    def select(self, row: int, column: int) -> "Workbook":
        """The sheet's active cell."""
        self._call(self._lib.lib.xlsSelectCell, row, column)
        return self

    def tab_color(self, rgb: int) -> "Workbook":
        """The sheet tab's colour, 0xRRGGBB (-1: none)."""
        self._call(self._lib.lib.xlsSetTabColor, rgb)
        return self

    def zoom(self, percent: int) -> "Workbook":
        """Zoom on screen, 10 to 399 percent."""
        self._call(self._lib.lib.xlsSetZoom, percent)
        return self

    def display(self, flags: int) -> "Workbook":
        """Screen display: DISPLAY_* flags or-ed together (0: the defaults)."""
        self._call(self._lib.lib.xlsSetDisplay, flags)
        return self

    def hide_sheet(self, how: int = 1) -> "Workbook":
        """Hides the sheet: 1 hidden, 2 very hidden, 0 visible."""
        self._call(self._lib.lib.xlsHideSheet, how)
        return self

    def protect(self) -> "Workbook":
        """Protects the sheet's locked cells (styles with protected=True)."""
        self._call(self._lib.lib.xlsProtectSheet)
        return self

    def print_layout(self, scale: int = 0, fit_wide: int = -1, fit_tall: int = -1,
                     paper_size: int = 0) -> "Workbook":
        """Printing: scale in percent, fitting to pages wide and tall, paper (9: A4)."""
        self._call(self._lib.lib.xlsSetPrintLayout, scale, fit_wide, fit_tall, paper_size)
        return self

    def page_break(self, after_row: int, after_column: int = 0) -> "Workbook":
        """A manual page break after a row and/or after a column (0: none)."""
        self._call(self._lib.lib.xlsAddPageBreak, after_row, after_column)
        return self

    def validation(self, first_row: int, first_column: int, last_row: int, last_column: int,
                   kind: str, value1: str = "", value2: str = "", *, qualifier: str = "",
                   list_range: bool = False, hide_drop_down: bool = False,
                   input_title: str = "", input_message: str = "", error_style: str = "",
                   error_title: str = "", error_message: str = "") -> "Workbook":
        """A data validation over a range (last_row 0: down to the last row written); `kind`
        "List" (value1 "Rosso,Verde" or a range with list_range), "Whole", "Decimal",
        "Date", "Time", "TextLength", "Custom", "AnyValue"."""
        rule = Validation(type=_text(kind), qualifier=_text(qualifier), value1=_text(value1),
                          value2=_text(value2), listRange=int(list_range),
                          hideDropDown=int(hide_drop_down), inputTitle=_text(input_title),
                          inputMessage=_text(input_message), errorStyle=_text(error_style),
                          errorTitle=_text(error_title), errorMessage=_text(error_message))
        self._call(self._lib.lib.xlsAddValidation, first_row, first_column, last_row,
                   last_column, rule)
        return self

    def condition(self, first_row: int, first_column: int, last_row: int, last_column: int,
                  qualifier: str, value1: str, value2: str = "", format: str = ""
                  ) -> "Workbook":
        """A conditional format: `qualifier` ("Greater", "Between", ...; "" with a formula in
        value1) and the look, as "color:#9C0006;background:#FFC7CE"."""
        self._call(self._lib.lib.xlsAddCondition, first_row, first_column, last_row,
                   last_column, _text(qualifier), _text(value1), _text(value2), _text(format))
        return self

    def write_dataframe(self, frame: Any, sheet: str = "Foglio1", *, index: bool = False,
                        header: bool = True, rows_per_sheet: int = MAX_ROWS) -> "Workbook":
        """Writes a pandas DataFrame on a new sheet of this workbook (see the module's
        write_dataframe). Its styles are defined before the first sheet (prepare_styles());
        after other sheets without them, its header is plain, its date-times show as dates
        and its durations as numbers."""
        from ._frame import write_frame
        write_frame(self, frame, sheet, index=index, header=header,
                    rows_per_sheet=rows_per_sheet)
        return self

    def prepare_styles(self) -> "Workbook":
        """Defines the styles write_dataframe() uses (a bold header, date-times, durations);
        call it before the first sheet."""
        from ._frame import define_styles
        define_styles(self)
        self._frame_styles = True
        return self


def write_dataframe(frame: Any, target: Target, sheet: str = "Foglio1", *, index: bool = False,
                    header: bool = True, author: str = "", atomic: bool = False,
                    rows_per_sheet: int = MAX_ROWS) -> None:
    """Writes a pandas DataFrame as a workbook of one sheet at `target` (a path or a binary
    file object), column by column without a copy of the frame.

    The header is bold, frozen and filtered, columns as wide as their data; with `index`
    the index comes first. Numbers, booleans, date-times (a date style), durations (days,
    shown as [h]:mm:ss), categories, texts and nullable dtypes become their cells; NaN,
    None, NaT and pd.NA empty cells. Rows beyond `rows_per_sheet` (the sheet's limit)
    continue on sheets "<sheet> (2)", ... with the header repeated."""
    write_dataframes({sheet: frame}, target, index=index, header=header, author=author,
                     atomic=atomic, rows_per_sheet=rows_per_sheet)


def write_dataframes(frames: Mapping[str, Any], target: Target, *, index: bool = False,
                     header: bool = True, author: str = "", atomic: bool = False,
                     rows_per_sheet: int = MAX_ROWS) -> None:
    """Writes several DataFrames, one sheet each named by its key, as one workbook:
    write_dataframes({"Vendite": vendite, "Resi": resi}, "anno.xml")."""
    with Workbook(target, author, atomic=atomic) as book:
        for name, frame in frames.items():
            book.write_dataframe(frame, name, index=index, header=header,
                                 rows_per_sheet=rows_per_sheet)
