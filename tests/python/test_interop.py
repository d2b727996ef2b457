"""What LibreOffice reads of the package's cells: each Python and pandas type, through the
interoperability helpers (tests/interop)."""
import datetime
import decimal
import os
import shutil
import subprocess
import sys

import pytest

import gridquill

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "interop"))
import check  # noqa: E402

pd = pytest.importorskip("pandas", reason="pandas is not installed (Debian: python3-pandas)")
np = pytest.importorskip("numpy")
SOFFICE = shutil.which("soffice") or shutil.which("libreoffice")
pytestmark = pytest.mark.skipif(SOFFICE is None, reason="LibreOffice (soffice) is not installed")

# Boolean cells: LibreOffice's default importer leaves them out (the README says so), its
# XSLT filter reads them as booleans.
BOOLEAN = "boolean"
# A value written in column B, with a style; what LibreOffice holds: type, value, shown text.
VALUES = [
    ("testo", None, "string", None, "testo"),
    ("città & <più>", None, "string", None, "città & <più>"),
    (42, None, "float", 42.0, "42"),
    (0.1, None, "float", 0.1, "0.1"),
    (decimal.Decimal("12.50"), None, "float", 12.5, "12.5"),
    (True, None, "boolean", None, "TRUE"),
    (False, None, "boolean", None, "FALSE"),
    (datetime.date(2024, 2, 29), "date", "date", "2024-02-29", None),
    (datetime.datetime(2024, 2, 29, 13, 5, 9), "gqDataOra", "date", "2024-02-29T13:05:09",
     "2024-02-29 13:05:09"),
    (pd.Timestamp("2023-12-31 08:00"), "gqDataOra", "date", "2023-12-31T08:00:00",
     "2023-12-31 08:00:00"),
    (np.int64(-7), None, "float", -7.0, "-7"),
    (np.bool_(True), None, "boolean", None, "TRUE"),
]
EMPTY = [None, float("nan"), pd.NA, pd.NaT]
# The frame's columns (every dtype, a missing value in row 3) and what row 2 and 3 hold.
FRAME = {
    "int": (pd.Series([5, 6]), ("float", 5.0), ("float", 6.0)),
    "float": (pd.Series([0.25, np.nan]), ("float", 0.25), None),
    "bool": (pd.Series([True, False]), None, None),  # see BOOLEAN below
    "date": (pd.Series(pd.to_datetime(["2024-01-31", None])), ("date", "2024-01-31"), None),
    "durata": (pd.Series(pd.to_timedelta(["36h", None])), ("time", None), None),
    "cat": (pd.Series(pd.Categorical(["a", None])), ("string", None), None),
    "Int64": (pd.Series([1, None], dtype="Int64"), ("float", 1.0), None),
    "boolean": (pd.Series([False, None], dtype="boolean"), None, None),
    "testo": (pd.Series(["x", None], dtype="string"), ("string", None), None),
}


def convert(tmp_path, *paths, infilter=()):
    subprocess.run([SOFFICE, "-env:UserInstallation=file://%s/profile" % tmp_path, "--headless",
                    "--norestore", *infilter, "--convert-to", "fods", "--outdir",
                    str(tmp_path / ("xslt" if infilter else "fods")), *paths],
                   check=True, timeout=300, stdin=subprocess.DEVNULL, capture_output=True)


def test_libreoffice_reads_each_type(tmp_path):
    path, styled = str(tmp_path / "tipi.xml"), str(tmp_path / "stili.xml")
    with gridquill.Workbook(path) as book:
        book.prepare_styles()
        book.sheet("Valori")
        book.write_rows([["vuoto", value] for value in EMPTY])
        book.write_dataframe(pd.DataFrame({k: v[0] for k, v in FRAME.items()}), "Frame")
    with gridquill.Workbook(styled) as book:
        book.prepare_styles()
        book.sheet("Valori")
        for value, style, *_ in VALUES:
            book.row(["", value], [None, style])
    convert(tmp_path, path, styled)
    convert(tmp_path, styled, infilter=["--infilter=MS Excel 2003 XML"])
    checker = check.Checker()
    for folder, booleans in (("fods", False), ("xslt", True)):
        cells = check.read_fods(str(tmp_path / folder / "stili.fods"))[0][0][1]
        checker.cells(folder, "Valori", cells, [
            ("B%d" % (i + 1), kind, value, text) for i, (_, _, kind, value, text)
            in enumerate(VALUES) if (kind == BOOLEAN) == booleans])
        if not booleans:
            checker.expect("Boolean cells", [n for i, (_, _, kind, *_) in enumerate(VALUES)
                                             if kind == BOOLEAN and (n := "B%d" % (i + 1))
                                             in cells], [])
    sheets, _ = check.read_fods(str(tmp_path / "fods" / "tipi.fods"))
    checker.expect("empty values", [n for n in sheets[0][1] if n.startswith("B")], [])
    frame = sheets[1][1]
    for column, (name, (_, second, third)) in enumerate(FRAME.items()):
        letter = check.column_name(column + 1)
        checker.expect("Frame %s1" % letter, frame["%s1" % letter].text, name)
        for row, expected in ((2, second), (3, third)):
            cell = frame.get("%s%d" % (letter, row))
            checker.expect("Frame %s%d" % (letter, row), cell and (
                cell.type, cell.number() if cell.type == "float" else cell.value), expected)
    assert "\n".join(checker.failures) == ""
