"""DataFrames: each dtype to its cells, missing values as empty cells, the header, widths,
index, frames over several sheets, several frames in one workbook."""
import io
import re

import pytest

import gridquill
from support import body, same_in_threads, validate

pd = pytest.importorskip("pandas", reason="pandas is not installed (Debian: python3-pandas)")
np = pytest.importorskip("numpy")


def data(kind, text, style=""):
    return '%s><Data ss:Type="%s">%s</Data>' % (style and 'ss:StyleID="%s" ' % style, kind, text)


N, S, B, D = (lambda t: data("Number", t)), (lambda t: data("String", t)), \
    (lambda t: data("Boolean", t)), (lambda t, s="date": data("DateTime", t, s))
DT, DUR = "gqDataOra", "gqDurata"

# dtype, its values, the cell of each value (None: empty)
DTYPES = [
    ("int64", pd.Series([1, -2]), [N("1"), N("-2")]),
    ("int8", pd.Series([127, -128], dtype="int8"), [N("127"), N("-128")]),
    ("uint64", pd.Series([2 ** 64 - 1], dtype="uint64"), [N("18446744073709551615")]),
    ("float64", pd.Series([0.1, np.nan, 1e-7]), [N("0.1"), None, N("1e-07")]),
    ("float32", pd.Series([0.1], dtype="float32"), [N("0.1")]),
    ("bool", pd.Series([True, False]), [B("1"), B("0")]),
    ("datetime64, dates", pd.Series(pd.to_datetime(["2024-02-29", None])),
     [D("2024-02-29T00:00:00.000"), None]),
    ("datetime64, times", pd.Series(pd.to_datetime(["1999-12-31 23:59:58.5"])),
     [D("1999-12-31T23:59:58.500", DT)]),
    ("datetime64 in a zone: its wall clock",
     pd.Series(pd.to_datetime(["2024-07-01 10:30"]).tz_localize("Europe/Rome")),
     [D("2024-07-01T10:30:00.000", DT)]),
    ("timedelta64: days", pd.Series(pd.to_timedelta(["36h", None])),
     [data("Number", "1.5", DUR), None]),
    ("category", pd.Series(pd.Categorical(["b", "a", None])), [S("b"), S("a"), None]),
    ("object", pd.Series(["x", 1, None, pd.NA, pd.NaT, np.nan, True, pd.Timestamp("2024-01-02"),
                          np.int64(5), np.float32(0.5), np.bool_(False)], dtype=object),
     [S("x"), N("1"), None, None, None, None, B("1"), D("2024-01-02T00:00:00.000", ""), N("5"),
      N("0.5"), B("0")]),
    ("string", pd.Series(["x", None], dtype="string"), [S("x"), None]),
    ("Int64", pd.Series([1, None], dtype="Int64"), [N("1"), None]),
    ("boolean", pd.Series([True, None], dtype="boolean"), [B("1"), None]),
    ("Float64", pd.Series([0.5, None], dtype="Float64"), [N("0.5"), None]),
    ("period: its text", pd.Series(pd.PeriodIndex(["2024-01", None], freq="M")),
     [S("2024-01"), None]),
]


@pytest.mark.parametrize("what,values,cells", DTYPES, ids=[d[0] for d in DTYPES])
def test_each_dtype_is_its_cells(tmp_path, what, values, cells):
    path = str(tmp_path / "f.xml")
    gridquill.write_dataframe(pd.DataFrame({"v": values, "z": "z"}), path, header=False)
    expected = "".join(
        "   <Row>\n    <Cell %s</Cell>\n    <Cell %s</Cell>\n   </Row>\n"
        % (c, S("z")) if c else "   <Row>\n    <Cell ss:Index=\"2\" %s</Cell>\n   </Row>\n"
        % S("z") for c in cells)
    assert body(path) == [expected]


def test_header_widths_index_and_sheets_beyond_the_limit(tmp_path):
    frame = pd.DataFrame({"nome": ["Anna", "Bartolomeo", None, "Carla", "Dario"],
                          "importo": [1.5, 2.0, 3.25, np.nan, 5.0]},
                         index=pd.Index([10, 20, 30, 40, 50], name="n"))
    path = str(tmp_path / "h.xml")
    gridquill.write_dataframes({"Vendite": frame, "Resi": frame.head(1)}, path, index=True,
                               rows_per_sheet=3)
    text = open(path, encoding="utf-8").read()
    assert re.findall(r'<Worksheet ss:Name="([^"]*)"', text) == [
        "Vendite", "Vendite (2)", "Vendite (3)", "Resi"]
    head = "   <Row>\n" + "".join("    <Cell %s</Cell>\n" % data("String", t, "gqIntestazione")
                                   for t in ("n", "nome", "importo")) + "   </Row>\n"
    tables = body(path)
    assert [t.startswith(head) for t in tables] == [True] * 4
    assert tables[1] == head + (
        "   <Row>\n    <Cell %s</Cell>\n    <Cell ss:Index=\"3\" %s</Cell>\n   </Row>\n"
        "   <Row>\n    <Cell %s</Cell>\n    <Cell %s</Cell>\n   </Row>\n"
        % (N("30"), N("3.25"), N("40"), S("Carla")))
    widths = re.findall(r'<Column ss:Index="(\d)"  ss:AutoFitWidth="0" ss:Width="(\d+)"/>', text)
    assert widths[:3] == [("1", "40"), ("2", "72"), ("3", "84")]
    assert text.count("<FreezePanes/>") == 4 and text.count('<AutoFilter x:Range="R1C1:R') == 4
    validate(path)


def test_a_binary_stream_gets_the_bytes_of_a_file(tmp_path):
    frame = pd.DataFrame({"a": range(5000), "b": ["x%d" % i for i in range(5000)]})
    memory, path = io.BytesIO(), str(tmp_path / "s.xml")
    gridquill.write_dataframe(frame, memory)
    gridquill.write_dataframe(frame, path)
    created = re.compile(rb"<Created>[^<]*</Created>")
    assert created.sub(b"", memory.getvalue()) == created.sub(b"", open(path, "rb").read())


def test_not_a_dataframe(tmp_path):
    with pytest.raises(TypeError, match="vuole un DataFrame"):
        gridquill.write_dataframe([[1]], str(tmp_path / "x.xml"))


def test_frames_in_threads_equal_each_written_alone(tmp_path):
    frames = [pd.DataFrame({"n": np.arange(30000) * k, "t": ["r%d" % i for i in range(30000)],
                            "d": pd.Timestamp("2024-01-01") + pd.to_timedelta(
                                np.arange(30000) % 900, unit="D")}) for k in range(3)]
    same_in_threads(tmp_path, lambda path, frame: gridquill.write_dataframe(frame, path), frames)


def test_a_frame_after_the_workbooks_own_sheets_takes_the_styles_there_are(tmp_path):
    path = str(tmp_path / "o.xml")
    with gridquill.Workbook(path) as book:
        book.sheet("Note").cell("x")
        book.write_dataframe(pd.DataFrame({"t": pd.to_datetime(["2024-01-01 10:00"]),
                                           "d": pd.to_timedelta(["1h"])}), "Dati")
    assert body(path)[1] == ("   <Row>\n    <Cell %s</Cell>\n    <Cell %s</Cell>\n   </Row>\n"
                             "   <Row>\n    <Cell %s</Cell>\n    <Cell %s</Cell>\n   </Row>\n"
                             % (S("t"), S("d"), D("2024-01-01T10:00:00.000"),
                                N("0.041666666666666664")))
