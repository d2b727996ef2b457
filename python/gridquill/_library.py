"""The C library under the package: its calls through ctypes, its records, and Error."""
from __future__ import annotations

import ctypes
import ctypes.util
import decimal
import os
import sys
from typing import Any, Optional

from . import _native

c_char, c_ubyte, c_int, c_char_p = ctypes.c_char, ctypes.c_ubyte, ctypes.c_int, ctypes.c_char_p


class Error(Exception):
    """A call the library refused, or a value it cannot write.

    `message` is the library's message (xlsGetError(), Italian, ending in a line break);
    `errno` the system's reason when one caused the failure (0 otherwise) and `strerror`
    its text."""

    def __init__(self, message: str, errno: int = 0) -> None:
        self.message = message
        self.errno = errno
        self.strerror = os.strerror(errno) if errno else ""
        text = message.rstrip("\n")
        super().__init__(text + (": " + self.strerror if errno else ""))


class SheetSetup(ctypes.Structure):
    """Page setup of a worksheet (xlsSheetSetup, 340 bytes)."""
    _fields_ = [("name", c_char * 32), ("header", c_char * 128), ("footer", c_char * 128),
                ("headerMargin", c_char * 8), ("footerMargin", c_char * 8),
                ("marginTop", c_char * 8), ("marginBottom", c_char * 8),
                ("marginLeft", c_char * 8), ("marginRight", c_char * 8),
                ("gridlines", c_char), ("reserved1", c_char), ("reserved2", c_char),
                ("orientation", c_char)]


class StyleRecord(ctypes.Structure):
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


class Validation(ctypes.Structure):
    """A data validation rule (xlsValidation)."""
    _fields_ = [("type", c_char_p), ("qualifier", c_char_p), ("value1", c_char_p),
                ("value2", c_char_p), ("listRange", c_int), ("hideDropDown", c_int),
                ("inputTitle", c_char_p), ("inputMessage", c_char_p), ("errorStyle", c_char_p),
                ("errorTitle", c_char_p), ("errorMessage", c_char_p)]


assert ctypes.sizeof(SheetSetup) == 340 and ctypes.sizeof(StyleRecord) == 212

WRITE_FUNCTION = ctypes.CFUNCTYPE(c_int, ctypes.c_void_p, ctypes.POINTER(c_char), ctypes.c_size_t)

_SIGNATURES: dict[str, list[Any]] = {
    "xlsInit": [c_char_p, c_char_p],
    "xlsInitStream": [WRITE_FUNCTION, ctypes.c_void_p, c_char_p],
    "xlsInitMerge": [c_char_p, c_char_p],
    "xlsSheetDelete": [c_char_p],
    "xlsSetEncoding": [c_char_p],
    "xlsSetDocumentProperty": [c_char_p, c_char_p],
    "xlsSetActiveSheet": [c_int],
    "xlsSetAtomic": [c_int],
    "xlsAbandon": [],
    "xlsClose": [],
    "xlsAddStyle": [StyleRecord, c_char_p],
    "xlsAddSheet": [c_char_p, SheetSetup],
    "xlsAddName": [c_char_p, c_char_p],
    "xlsAddSheetName": [c_char_p, c_char_p],
    "xlsSetPrintArea": [c_int] * 4,
    "xlsSetPrintTitles": [c_int] * 4,
    "xlsColumnEx": [c_int, c_int, c_char_p, c_int],
    "xlsHideRow": [],
    "xlsSetCellLink": [c_char_p, c_char_p],
    "xlsSetCellComment": [c_char_p, c_char_p, c_int],
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
}

_LATER = ("xlsSheetReplace", "xlsSheetAppend")


def _find() -> str:
    """The library: $GRIDQUILL_LIBRARY, else the one the package was built with, else an
    installed one."""
    try:
        from ._built import LIBRARY as built
    except ImportError:
        built = None
    for path in (os.environ.get("GRIDQUILL_LIBRARY"), built):
        if path and os.path.exists(path):
            return path
    return ctypes.util.find_library("gridquill") or "libgridquill.so.1"


class Library:
    """The loaded library: each exported call with its argument types."""

    def __init__(self, path: str) -> None:
        self.path = path
        self.lib = lib = ctypes.CDLL(path)
        lib.xlsNewContext.restype = lib.xlsGetContext.restype = ctypes.c_void_p
        lib.xlsSelectContext.argtypes = lib.xlsFreeContext.argtypes = [ctypes.c_void_p]
        lib.xlsGetError.restype = c_char_p
        lib.xlsGetPosition.restype = c_char_p
        self.has_errno = hasattr(lib, "xlsGetErrno")
        for name, argtypes in _SIGNATURES.items():
            function = getattr(lib, name)
            function.argtypes, function.restype = argtypes, c_int
        for name in _LATER:  # calls of newer libraries
            if hasattr(lib, name):
                getattr(lib, name).argtypes, getattr(lib, name).restype = [c_char_p], c_int
        if hasattr(lib, "xlsGetMergeSheet"):
            lib.xlsGetMergeSheet.argtypes, lib.xlsGetMergeSheet.restype = [c_int], c_char_p
        self.markers: Optional[tuple[Any, ...]] = None
        self.version: Optional[str] = None
        if hasattr(lib, "xlsVersion"):
            lib.xlsVersion.restype = c_char_p
            self.version = lib.xlsVersion().decode("ascii")

    def call(self, name: str) -> Any:
        """The exported call `name`; Error when this library is too old to have it."""
        function = getattr(self.lib, name, None)
        if function is None:
            raise Error("La libreria %s non ha %s()\n" % (self.path, name))
        return function

    def error(self) -> Error:
        """The selected state's last failure as an Error."""
        message = (self.lib.xlsGetError() or b"").decode("utf-8", "replace")
        return Error(message, self.lib.xlsGetErrno() if self.has_errno else 0)


_loaded: Optional[Library] = None


def library() -> Library:
    """The library, loaded at the first use and bound to the C extension."""
    global _loaded
    if _loaded is None:
        loaded = Library(_find())
        _loaded = loaded
    pandas = sys.modules.get("pandas")  # its missing-value markers, once it is imported
    markers = (pandas.NA, pandas.NaT) if pandas is not None else ()
    if markers != _loaded.markers:
        _native.bind(_loaded.lib._handle, Error, markers, decimal.Decimal)
        _loaded.markers = markers
    return _loaded
