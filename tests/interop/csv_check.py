"""Opens a workbook written by gridquill-csv (from examples/data/vendite.csv) in LibreOffice
Calc and checks what a user sees: cell types and values, the bold header with its border,
column widths, the frozen header row (through LibreOffice's XSLT filter and its API, the one
way LibreOffice shows a frozen pane of this format) and the filter over the table (which
LibreOffice does not import: checked with Gnumeric's ssconvert where it is installed).

Usage: csv_check.py TOOL SAMPLE WORKDIR. Exits 77 (skipped) when LibreOffice is missing."""
import gzip
import os
import re
import shutil
import subprocess
import sys
import xml.parsers.expat

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check import SKIPPED, Checker, column_widths, read_fods  # noqa: E402


def main(tool, sample, work):
    soffice = shutil.which("soffice")
    if soffice is None:
        print("LibreOffice (soffice) is not installed: interoperability test SKIPPED")
        return SKIPPED
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    book = os.path.join(work, "vendite.xml")
    subprocess.run([tool, sample, "-o", book], check=True, timeout=60)
    with open(book, "rb") as f:
        xml.parsers.expat.ParserCreate().Parse(f.read(), True)
    profile = os.path.join(work, "profile")
    subprocess.run([soffice, "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
                    "--convert-to", "fods", "--outdir", work, book],
                   check=True, timeout=300, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    sheets, root = read_fods(os.path.join(work, "vendite.fods"))
    check = Checker()
    check.expect("sheets", [s[0] for s in sheets], ["vendite"])
    cells = sheets[0][1]
    check.cells("vendite", "vendite", cells, [
        ("A1", "string", None, "data"),
        ("A2", "date", "2024-01-08", "2024-01-08"),
        ("A9", "date", "2024-03-29T17:45:00", "2024-03-29 17:45:00"),
        ("B2", "string", None, "000417"),          # leading zeros kept
        ("D2", "string", None, "Caff\u00e8 in grani, 1 kg"),
        ("E2", "float", 12.0, "12"),
        ("F2", "float", 214.8, "214.8"),
        ("G3", "string", None, 'consegna "urgente"'),
        ("G7", "string", None, "pagamento a 30 giorni,\nfattura unica"),
    ])
    head = cells["A1"].style if "A1" in cells else {}
    check.expect("header bold", head.get("font-weight"), "bold")
    check.expect("header bottom border", head.get("border-bottom"), "0.74pt solid #000000")
    widths = column_widths(root, sheets[0][3])
    check.expect("column D wider than column E", widths[3] > widths[4] if len(widths) > 4 else None, True)

    # The frozen header row: LibreOffice's XSLT filter and its API (Debian's python3-uno).
    python = sys.executable
    if subprocess.run([python, "-c", "import uno"], capture_output=True).returncode != 0:
        python = "/usr/bin/python3"
    view = subprocess.run([python, os.path.join(os.path.dirname(__file__), "uno_view.py"), book,
                           os.path.join(work, "profile-uno"), "MS Excel 2003 XML"],
                          capture_output=True, text=True, timeout=300)
    if view.returncode == SKIPPED:
        print("frozen pane NOT CHECKED: %s" % view.stdout.strip())
    else:
        check.expect("frozen panes (sheet, rows, columns)", view.stdout.split(), ["vendite", "1", "0"])

    # The filter: Gnumeric reads its range.
    ssconvert = shutil.which("ssconvert")
    if ssconvert is None:
        print("filter NOT CHECKED: Gnumeric's ssconvert is not installed")
    else:
        gnumeric = os.path.join(work, "vendite.gnumeric")
        subprocess.run([ssconvert, book, gnumeric], check=True, timeout=120,
                       stdin=subprocess.DEVNULL, capture_output=True)
        with gzip.open(gnumeric, "rt", encoding="utf-8") as f:
            check.expect("filter range (Gnumeric)", re.findall(r'<gnm:Filter Area="([^"]*)"', f.read()),
                         ["A1:G9"])

    for failure in check.failures:
        print(failure)
    print("gridquill-csv's workbook opened in %s: %d differences" % (soffice, len(check.failures)))
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
