"""Writes a small sales workbook with the gridquill package.

Usage: python3 example.py [output.xml] [path/to/libgridquill.so]
(the package finds the library it was built with, or $GRIDQUILL_LIBRARY, or an installed one)
"""
import os
import sys
from datetime import date


def main(output="vendite.xml", library=None):
    if library:
        os.environ["GRIDQUILL_LIBRARY"] = library
    import gridquill

    # Atomic: last month's report stays until this one is written whole.
    with gridquill.Workbook(output, author="Ufficio vendite", atomic=True) as book:
        # Some readers take a missing number format from the style before: Style() says General.
        book.style("head", bold=True, fill="#DDEEFF", border_bottom=1)
        book.style("money", number_format="#,##0.00")
        book.sheet("Vendite", header="Vendite per mese")
        book.column(1, 110)
        book.row(["Mese", "Importo", "Chiuso il"], "head")
        book.write_rows([("Gennaio", 1250.5, date(2024, 1, 31)),
                         ("Febbraio", 980, date(2024, 2, 29)),
                         ("Città & dintorni", 0.1, date(2024, 3, 28))],
                        styles=[None, "money", "date"])
        book.cell("Totale", "head")
        # A formula cell shows its value (0) until the reader computes it.
        book.formula("=SUM(%s)" % book.rectangle(2, 2, 4, 2), 0, "money")
    print("written %s" % output)


if __name__ == "__main__":
    try:
        main(*sys.argv[1:3])
    except Exception as error:  # gridquill.Error, or a file the package cannot reach
        sys.exit("gridquill: %s" % error)
