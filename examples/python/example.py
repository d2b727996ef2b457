"""Writes a small sales workbook through Gridquill's C interface from Python.

Usage: python3 example.py [output.xml] [path/to/libgridquill.so]
"""
import sys
from datetime import date

from gridquill import Gridquill, GridquillError, sheet_setup_default, style_default


def main(output="vendite.xml", library=None):
    gq = Gridquill(library)
    gq.set_atomic()  # last month's report stays until this one is written whole
    gq.init(output, "Ufficio vendite")

    head = style_default()
    head.bold, head.interiorColor, head.weightBottom = b"1", b"#DDEEFF", 1
    head.numberFormat = b"General"  # some readers take a missing format from the style before
    gq.add_style(head, "head")
    money = style_default()
    money.numberFormat, money.pattern = b"#,##0.00", b""  # no fill
    gq.add_style(money, "money")

    setup = sheet_setup_default()
    setup.header = "Vendite per mese".encode("utf-8")
    gq.add_sheet("Vendite", setup)
    gq.column(1, 110)
    for title in ("Mese", "Importo", "Chiuso il"):
        gq.cell(title, style="head")
    for month, amount, closed in (("Gennaio", 1250.5, date(2024, 1, 31)),
                                  ("Febbraio", 980, date(2024, 2, 29)),
                                  ("Città & dintorni", 0.1, date(2024, 3, 28))):
        gq.new_line()
        gq.cell(month)
        gq.cell(amount, "N", "money")
        gq.cell(closed, style="date")
    gq.new_line()
    gq.cell("Totale", style="head")
    # A formula cell wants a value ("0"); the reader computes the result.
    gq.cell("0", "N", "money", formula="=SUM(%s)" % gq.rectangle(2, 2, 4, 2))
    gq.close()
    print("written %s" % output)


if __name__ == "__main__":
    try:
        main(*sys.argv[1:3])
    except GridquillError as error:
        sys.exit("gridquill: %s" % error)
