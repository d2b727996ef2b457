"""Opens the workbook of workbook_extras.cpp in LibreOffice (default importer: names; XSLT
filter: document properties) and in Gnumeric where installed (properties, names), and checks
that the copy written through a stream has the same bytes.

Usage: workbook_check.py MAKER WORKDIR. Exits 77 (skipped) when LibreOffice is not installed.
"""
import gzip
import os
import re
import shutil
import subprocess
import sys
import xml.parsers.expat

SKIPPED = 77
CREATED = re.compile(rb"<Created>[^<]*</Created>")


def convert(soffice, work, source, outdir, infilter=None):
    profile = "file://" + os.path.join(os.path.abspath(work), "profile")
    command = [soffice, "-env:UserInstallation=" + profile, "--headless", "--norestore"]
    if infilter:
        command.append("--infilter=" + infilter)
    subprocess.run(command + ["--convert-to", "fods", "--outdir", outdir, source], cwd=work,
                   check=True, timeout=300, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    with open(os.path.join(work, outdir, "extras.fods"), encoding="utf-8") as f:
        return f.read()


def main(maker, work):
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if soffice is None:
        print("LibreOffice (soffice) is not installed: interoperability test SKIPPED")
        return SKIPPED
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run([maker], cwd=work, check=True, timeout=60)
    failures = []
    books = {}
    for name in ("extras.xml", "extras-stream.xml"):
        with open(os.path.join(work, name), "rb") as f:
            books[name] = f.read()
        xml.parsers.expat.ParserCreate().Parse(books[name], True)
    if CREATED.sub(b"", books["extras.xml"]) != CREATED.sub(b"", books["extras-stream.xml"]):
        failures.append("the workbook written through a stream differs from the file")

    default = convert(soffice, work, "extras.xml", "fods")
    expected = [  # (what, text in the flat ODS file)
        ("workbook name Tasso", 'table:name="Tasso" table:base-cell-address="$Dati.$A$1" '
                                'table:cell-range-address="$Dati.$B$1"'),
        ("workbook name Meta", 'table:name="Meta" table:base-cell-address="$Dati.$A$1" '
                               'table:expression="0.5"'),
        ("sheet name Locale", 'table:name="Locale" table:base-cell-address="$Dati.$A$1" '
                              'table:cell-range-address="$Dati.$A$3"'),
        ("Dati print area", 'table:name="Print_Area" table:base-cell-address="$Dati.$A$1" '
                            'table:cell-range-address="$Dati.$A$1:.$B$4"'),
        ("Dati print titles", 'table:name="Print_Titles" table:base-cell-address="$Dati.$A$1" '
                              'table:cell-range-address="$Dati.$1:$Dati.$1"'),
        ("quoted sheet's print titles",
         'table:expression="[$&apos;Il mio foglio&apos;.$A:.$B];[$&apos;Il mio foglio&apos;.$1:.$2]"'),
        ("=Tasso*10 computed", 'table:formula="of:=Tasso*10" office:value-type="float" office:value="2.5"'),
        ("=Meta+Locale computed", 'table:formula="of:=Meta+Locale" office:value-type="float" '
                                  'office:value="3.5"'),
    ]
    for what, text in expected:
        if text not in default:
            failures.append("LibreOffice (default importer): %s not found: %s" % (what, text))
    print("not checked: LibreOffice imports Print_Area and Print_Titles as names only, not as "
          "the sheet's print ranges, and its default importer reads no document properties")

    xslt = convert(soffice, work, "extras.xml", "xslt", "MS Excel 2003 XML")
    for text in ("<dc:title>Vendite &amp; costi</dc:title>", "<dc:subject>Trimestre</dc:subject>",
                 "<dc:description>Prova</dc:description>",
                 '<meta:user-defined meta:name="Category">Finanza</meta:user-defined>',
                 '<meta:user-defined meta:name="Manager">Capo</meta:user-defined>',
                 '<meta:user-defined meta:name="Company">Ditta</meta:user-defined>'):
        if text not in xslt:
            failures.append("LibreOffice (XSLT filter): property not found: " + text)
    print("not checked in LibreOffice: Keywords (its XSLT filter drops them)")

    ssconvert = shutil.which("ssconvert")
    if ssconvert is None:
        print("Gnumeric (ssconvert) is not installed: its checks SKIPPED")
    else:
        subprocess.run([ssconvert, "--export-type=Gnumeric_XmlIO:sax", "extras.xml",
                        "extras.gnumeric"], cwd=work, check=True, timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with gzip.open(os.path.join(work, "extras.gnumeric"), "rt", encoding="utf-8") as f:
            gnumeric = f.read()
        for text in ("<dc:title>Vendite &amp; costi</dc:title>", "<dc:subject>Trimestre</dc:subject>",
                     "<dc:description>Prova</dc:description>", "<meta:keyword>costi</meta:keyword>",
                     'meta:name="dc:publisher" meta:value-type="string">Ditta<',
                     'meta:name="gsf:category" meta:value-type="string">Finanza<',
                     'meta:name="gsf:manager" meta:value-type="string">Capo<',
                     "<gnm:name>Meta</gnm:name>\n      <gnm:value>0.5</gnm:value>"):
            if text not in gnumeric:
                failures.append("Gnumeric: not found: " + text)
        print("not checked in Gnumeric: names that refer to sheets (it reads workbook names "
              "before the sheets exist, and no worksheet names)")
    for failure in failures:
        print(failure)
    print("names, print ranges and properties: %d differences" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
