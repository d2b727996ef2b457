"""Gridquill from Python through ctypes (standard library only).

The C interface of libgridquill: the two records with their defaults, every exported
function with its argument types, and GridquillError carrying xlsGetError()'s message.
Texts are str, sent as UTF-8 (each workbook selects the library's UTF-8 mode), or bytes,
sent as they are; paths are encoded as the file system does.
"""
import ctypes
import ctypes.util
import datetime
import decimal
import math
import os

c_char, c_ubyte, c_int, c_char_p = ctypes.c_char, ctypes.c_ubyte, ctypes.c_int, ctypes.c_char_p


class SheetSetup(ctypes.Structure):
    """Page setup of a worksheet (xlsSheetSetup, 340 bytes)."""
    _fields_ = [("name", c_char * 32), ("header", c_char * 128), ("footer", c_char * 128),
                ("headerMargin", c_char * 8), ("footerMargin", c_char * 8),
                ("marginTop", c_char * 8), ("marginBottom", c_char * 8),
                ("marginLeft", c_char * 8), ("marginRight", c_char * 8),
                ("gridlines", c_char), ("reserved1", c_char), ("reserved2", c_char),
                ("orientation", c_char)]


class Style(ctypes.Structure):
    """A named cell style (xlsStyle, 212 bytes)."""
    _fields_ = [("id", c_char * 16), ("horizontal", c_char * 16), ("vertical", c_char * 16),
                ("indent", c_ubyte), ("lineStyle", c_char * 16), ("borderColor", c_char * 8),
                ("weightTop", c_ubyte), ("weightBottom", c_ubyte), ("weightLeft", c_ubyte),
                ("weightRight", c_ubyte), ("fontName", c_char * 32), ("bold", c_char),
                ("italic", c_char), ("fontSize", c_ubyte), ("fontColor", c_char * 8),
                ("interiorColor", c_char * 8), ("pattern", c_char * 32),
                ("patternColor", c_char * 8), ("numberFormat", c_char * 32),
                ("wrapText", c_char), ("verticalText", c_char), ("reserved1", c_char * 2),
                ("rotate", c_int), ("isProtected", c_char), ("reserved2", c_char * 3)]


assert ctypes.sizeof(SheetSetup) == 340 and ctypes.sizeof(Style) == 212


class Validation(ctypes.Structure):
    """A data validation rule (xlsValidation); texts are bytes, None counts as empty."""
    _fields_ = [("type", c_char_p), ("qualifier", c_char_p), ("value1", c_char_p),
                ("value2", c_char_p), ("listRange", c_int), ("hideDropDown", c_int),
                ("inputTitle", c_char_p), ("inputMessage", c_char_p), ("errorStyle", c_char_p),
                ("errorTitle", c_char_p), ("errorMessage", c_char_p)]


# Flags of display(), or-ed together.
DISPLAY_NO_GRIDLINES, DISPLAY_NO_ZEROS, DISPLAY_NO_HEADINGS, DISPLAY_RIGHT_TO_LEFT = 1, 2, 4, 8


def sheet_setup_default():
    """A copy of xlsSheetSetupDefault (the header defines it; the library exports none)."""
    return SheetSetup(name=b"NoName", headerMargin=b"0.5", footerMargin=b"0.5",
                      marginTop=b"1", marginBottom=b"1", marginLeft=b"1", marginRight=b"1",
                      gridlines=b"1", reserved1=b"0", reserved2=b"\0", orientation=b"L")


def style_default():
    """A copy of xlsStyleDefault."""
    return Style(horizontal=b"Left", vertical=b"Bottom", lineStyle=b"Continuous", bold=b"0",
                 italic=b"0", pattern=b"Solid", wrapText=b"0", verticalText=b"0",
                 isProtected=b"0")


# xlsWriteFunction: takes (context, data, size), returns the bytes taken.
WRITE_FUNCTION = ctypes.CFUNCTYPE(c_int, ctypes.c_void_p, ctypes.POINTER(c_char), ctypes.c_size_t)


class GridquillError(Exception):
    """A call refused by the library; the message is xlsGetError()'s."""


def _text(text):
    """A text for the library: str as UTF-8, bytes as they are."""
    return text.encode("utf-8") if isinstance(text, str) else text


def _path(path):
    return os.fsencode(path) if isinstance(path, (str, os.PathLike)) else path


def _number_text(value, kind):
    """The Number text of a Python number, or of a text given as a number; refuses what is
    not a finite number."""
    if isinstance(value, bool):
        raise GridquillError("Un valore booleano non e' un numero: %r\n" % value)
    if isinstance(value, (int, decimal.Decimal, float)):
        if not math.isfinite(value):
            raise GridquillError("Numero non finito per una cella Number\n")
        return str(value) if not isinstance(value, float) else repr(value)
    try:
        number = float(value.decode("ascii") if isinstance(value, bytes) else value)
    except (TypeError, ValueError, UnicodeDecodeError):
        raise GridquillError("Valore non numerico per una cella Number: %r\n" % (value,)) from None
    if not math.isfinite(number):
        raise GridquillError("Numero non finito per una cella Number\n")
    return value


class Gridquill:
    """One workbook in progress, in a library context of its own: any number of these may be
    used at once, in any threads, each by one thread at a time. `path` names the library,
    defaulting to $GRIDQUILL_LIBRARY, then the system's search."""

    def __init__(self, path=None):
        path = path or os.environ.get("GRIDQUILL_LIBRARY") or ctypes.util.find_library("gridquill")
        self._lib = lib = ctypes.CDLL(path or "libgridquill.so.1")
        lib.xlsNewContext.restype = lib.xlsGetContext.restype = ctypes.c_void_p
        lib.xlsSelectContext.argtypes = lib.xlsFreeContext.argtypes = [ctypes.c_void_p]
        lib.xlsGetError.restype = c_char_p
        lib.xlsGetPosition.restype = c_char_p
        lib.xlsGetRectangle.restype = c_char_p
        lib.xlsGetRectangle.argtypes = [c_int] * 4
        signatures = {
            "xlsInit": [c_char_p, c_char_p],
            "xlsAddStyle": [Style, c_char_p],
            "xlsAddSheet": [c_char_p, SheetSetup],
            "xlsColumn": [c_int, c_int, c_char_p],
            "xlsWriteCellEx": [c_char_p, c_char, c_char_p, c_char_p, c_int, c_int, c_int],
            "xlsNewLineEx": [c_int, c_int, c_char_p],
            "xlsClose": [],
            "xlsInitMerge": [c_char_p, c_char_p],
            "xlsSheetDelete": [c_char_p],
            "xlsInitStream": [WRITE_FUNCTION, ctypes.c_void_p, c_char_p],
            "xlsSetDocumentProperty": [c_char_p, c_char_p],
            "xlsAddName": [c_char_p, c_char_p],
            "xlsAddSheetName": [c_char_p, c_char_p],
            "xlsSetPrintArea": [c_int] * 4,
            "xlsSetPrintTitles": [c_int] * 4,
            "xlsWriteNumber": [ctypes.c_double, c_char_p],
            "xlsWriteDateTime": [c_int] * 6 + [c_char_p],
            "xlsWriteFormula": [c_char_p, ctypes.c_double, c_char_p],
            "xlsSetCellLink": [c_char_p, c_char_p],
            "xlsSetCellComment": [c_char_p, c_char_p, c_int],
            "xlsColumnEx": [c_int, c_int, c_char_p, c_int],
            "xlsHideRow": [],
            "xlsFreezePanes": [c_int, c_int],
            "xlsAutoFilter": [c_int] * 4,
            "xlsSelectCell": [c_int, c_int],
            "xlsSetTabColor": [c_int],
            "xlsSetZoom": [c_int],
            "xlsSetDisplay": [c_int],
            "xlsHideSheet": [c_int],
            "xlsProtectSheet": [],
            "xlsSetPrintLayout": [c_int] * 4,
            "xlsAddPageBreak": [c_int, c_int],
            "xlsAddValidation": [c_int] * 4 + [Validation],
            "xlsAddCondition": [c_int] * 4 + [c_char_p] * 4,
            "xlsSetActiveSheet": [c_int],
            "xlsSetAtomic": [c_int],
            "xlsAbandon": [],
            "xlsSetEncoding": [c_char_p],
        }
        for name, argtypes in signatures.items():
            function = getattr(lib, name)
            function.argtypes, function.restype = argtypes, c_int
            function.errcheck = self._check
        self._context = lib.xlsNewContext()
        if not self._context:
            raise GridquillError(lib.xlsGetError().decode("utf-8", "replace"))
        self._call(lib.xlsSetEncoding, b"UTF-8")

    def __del__(self):
        """Frees the context; a workbook still open in it stays as far as it was written."""
        if getattr(self, "_context", None):
            self._lib.xlsFreeContext(self._context)
            self._context = None

    def _call(self, function, *args):
        """Calls `function` with this object's context selected in the calling thread."""
        previous = self._lib.xlsGetContext()
        if previous != self._context and self._lib.xlsSelectContext(self._context) == 0:
            raise GridquillError(self._lib.xlsGetError().decode("utf-8", "replace"))
        try:
            return function(*args)
        finally:
            if previous != self._context:
                self._lib.xlsSelectContext(previous)

    def _check(self, result, function, args):
        if result == 0:
            raise GridquillError(self._lib.xlsGetError().decode("utf-8", "replace"))
        return result

    def error(self):
        return self._call(self._lib.xlsGetError).decode("utf-8", "replace")

    def init(self, path, author=""):
        self._call(self._lib.xlsInit, _path(path), _text(author))

    def init_stream(self, stream, author=""):
        """Opens a workbook written to `stream`, any object with a binary write() (a file
        opened "wb", io.BytesIO, a socket's makefile("wb")). An exception in write() is a
        failed write: close() raises."""
        def write(_context, data, size):
            try:
                taken = stream.write(ctypes.string_at(data, size))
            except Exception:  # noqa: BLE001 - reported by the library as a failed write
                return -1
            return size if taken is None else taken
        self._writer = WRITE_FUNCTION(write)  # kept alive while the library may call it
        self._call(self._lib.xlsInitStream, self._writer, None, _text(author))

    def set_property(self, name, value):
        """A document property (Title, Subject, Keywords, Description, Category, Manager,
        Company) of the next workbook this object opens."""
        self._call(self._lib.xlsSetDocumentProperty, _text(name), _text(value))

    def add_name(self, name, refers_to):
        """A workbook-wide name, before the first sheet: add_name("Tasso", "=Dati!R1C2")."""
        self._call(self._lib.xlsAddName, _text(name), _text(refers_to))

    def add_sheet_name(self, name, refers_to):
        """A name of the sheet just started, before its first column or cell."""
        self._call(self._lib.xlsAddSheetName, _text(name), _text(refers_to))

    def print_area(self, first_row, first_column, last_row, last_column):
        self._call(self._lib.xlsSetPrintArea, first_row, first_column, last_row, last_column)

    def print_titles(self, first_row, last_row, first_column=0, last_column=0):
        self._call(self._lib.xlsSetPrintTitles, first_row, last_row, first_column, last_column)

    def init_merge(self, input_path, output_path):
        self._call(self._lib.xlsInitMerge, _path(input_path), _path(output_path))

    def sheet_delete(self, name):
        self._call(self._lib.xlsSheetDelete, _text(name))

    def add_style(self, style, style_id=""):
        self._call(self._lib.xlsAddStyle, style, _text(style_id))

    def add_sheet(self, name, setup=None):
        self._call(self._lib.xlsAddSheet, _text(name),
                   setup if setup is not None else sheet_setup_default())

    def column(self, column, width, style=""):
        self._call(self._lib.xlsColumn, column, width, _text(style))

    def cell(self, value, kind=None, style="", formula="", skip=0, merge_across=0, merge_down=0):
        """One cell. A number (int, float, Decimal) is a Number cell in its shortest
        round-trip text, a date or datetime a DateTime cell, a text a String cell unless
        `kind` says "N" (a number's text) or "D" (a DateTime text). NaN, infinities, bools and
        a text given as a number that is none are refused."""
        if isinstance(value, datetime.date):
            if not isinstance(value, datetime.datetime):
                value = datetime.datetime.combine(value, datetime.time())
            value, kind = value.strftime("%Y-%m-%dT%H:%M:%S.000"), "D"
        elif isinstance(value, (bool, int, float, decimal.Decimal)):
            value, kind = _number_text(value, kind), "N"
        elif not isinstance(value, (str, bytes)):
            raise GridquillError("Valore non ammesso per una cella: %r\n" % (value,))
        elif kind in ("N", "n"):
            _number_text(value, kind)
        self._call(self._lib.xlsWriteCellEx, _text(value), _text(kind or "S"), _text(style),
                   _text(formula), skip, merge_across, merge_down)

    def new_line(self, skip=0, height=0, style=""):
        self._call(self._lib.xlsNewLineEx, skip, height, _text(style))

    def position(self):
        text = self._call(self._lib.xlsGetPosition)
        return text.decode("ascii") if text is not None else None

    def rectangle(self, row1, col1, row2, col2):
        return self._call(self._lib.xlsGetRectangle, row1, col1, row2, col2).decode("ascii")

    def close(self):
        self._call(self._lib.xlsClose)

    def number(self, value, style=""):
        self._call(self._lib.xlsWriteNumber, value, _text(style))

    def date_time(self, when, style="date"):
        """A DateTime cell from a datetime.date or datetime.datetime."""
        parts = [when.year, when.month, when.day, 0, 0, 0]
        if isinstance(when, datetime.datetime):
            parts[3:] = [when.hour, when.minute, when.second]
        self._call(self._lib.xlsWriteDateTime, *parts, _text(style))

    def formula(self, formula, value, style=""):
        self._call(self._lib.xlsWriteFormula, _text(formula), value, _text(style))

    def link(self, address, screen_tip=""):
        """A hyperlink on the next cell written."""
        self._call(self._lib.xlsSetCellLink, _text(address), _text(screen_tip))

    def comment(self, text, author="", shown=False):
        """A comment on the next cell written."""
        self._call(self._lib.xlsSetCellComment, _text(text), _text(author), 1 if shown else 0)

    def hidden_column(self, column, width=0, style=""):
        self._call(self._lib.xlsColumnEx, column, width, _text(style), 1)

    def hide_row(self):
        """Hides the row the next cell opens (after new_line)."""
        self._call(self._lib.xlsHideRow)

    def freeze(self, rows, columns=0):
        self._call(self._lib.xlsFreezePanes, rows, columns)

    def autofilter(self, first_row, first_column, last_row, last_column):
        """last_row 0: down to the last row written."""
        self._call(self._lib.xlsAutoFilter, first_row, first_column, last_row, last_column)

    def select(self, row, column):
        self._call(self._lib.xlsSelectCell, row, column)

    def tab_color(self, rgb):
        self._call(self._lib.xlsSetTabColor, rgb)

    def zoom(self, percent):
        self._call(self._lib.xlsSetZoom, percent)

    def display(self, flags):
        self._call(self._lib.xlsSetDisplay, flags)

    def hide_sheet(self, how=1):
        self._call(self._lib.xlsHideSheet, how)

    def protect(self):
        self._call(self._lib.xlsProtectSheet)

    def print_layout(self, scale=0, fit_wide=-1, fit_tall=-1, paper_size=0):
        self._call(self._lib.xlsSetPrintLayout, scale, fit_wide, fit_tall, paper_size)

    def page_break(self, after_row, after_column=0):
        self._call(self._lib.xlsAddPageBreak, after_row, after_column)

    def validation(self, first_row, first_column, last_row, last_column, kind, value1="",
                   value2="", qualifier="", list_range=False, **messages):
        """messages: input_title, input_message, error_style, error_title, error_message."""
        rule = Validation(type=_text(kind), qualifier=_text(qualifier),
                          value1=_text(value1), value2=_text(value2),
                          listRange=1 if list_range else 0)
        for key, field in (("input_title", "inputTitle"), ("input_message", "inputMessage"),
                           ("error_style", "errorStyle"), ("error_title", "errorTitle"),
                           ("error_message", "errorMessage")):
            setattr(rule, field, _text(messages.get(key, "")))
        self._call(self._lib.xlsAddValidation, first_row, first_column, last_row, last_column, rule)

    def condition(self, first_row, first_column, last_row, last_column, qualifier, value1,
                  value2="", format=""):
        self._call(self._lib.xlsAddCondition, first_row, first_column, last_row, last_column,
                                  _text(qualifier), _text(value1), _text(value2),
                                  _text(format))

    def active_sheet(self, sheet):
        """The worksheet (0-based) the next workbook opens on; call before init."""
        self._call(self._lib.xlsSetActiveSheet, sheet)
    def set_atomic(self, enabled=True):
        """Later workbooks replace their file only when closed whole (xlsSetAtomic)."""
        self._call(self._lib.xlsSetAtomic, 1 if enabled else 0)

    def abandon(self):
        """Ends the workbook without completing it; in atomic mode the old file stays."""
        self._call(self._lib.xlsAbandon)
