"""Every well-formed workbook of the merge corpus merged with a sheet left out, one replaced,
one continued and one added: the sheets kept read the same in LibreOffice and in Gnumeric
(where it reads the input) before and after; a continued sheet reads its old rows first.
Usage: merge_check.py EDITOR CORPUS WORKDIR. Exits 77 without LibreOffice."""
import csv, os, shutil, subprocess, sys

# File, then the marks in the input's order: (kind, sheet).
CASES = [
    ("excel2002_orcus_basic.xml", [("a", "Data"), ("d", "2nd")]),
    ("excel2002_orcus_basic_utf16le.xml", [("d", "Data"), ("r", "2nd")]),
    ("excel2013_sheetjs_named_ranges.xml", [("a", "Named Ranges"), ("r", "Cross-Sheet")]),
    ("excel2016_phpspreadsheet_excel2003_template.xml", [("a", "Sample Data"), ("d", "Report Data")]),
    ("excelmac2011_sheetjs_autofilter.xml", [("d", "Just Filter"), ("r", "One Cond"), ("a", "Two Cond")]),
    ("dotnet_roo_s_prefix_bom.xml", [("a", "YDNA DYS Values")]),
    ("lo74_multi_sheet_styles_merges.xml", [("a", "Données"), ("r", "R&D"), ("d", "Empty")]),
]

# Inputs that bind the spreadsheet namespace to a prefix of their own before ss.
ONE_PREFIX = {"dotnet_roo_s_prefix_bom.xml"}


def rows(path):
    with open(path, newline="", encoding="utf-8", errors="replace") as f:
        out = [r for r in csv.reader(f)]
    while out and not any(out[-1]):
        out.pop()
    return [tuple(c for c in r[:max([i + 1 for i, c in enumerate(r) if c] or [0])]) for r in out]


def sheets(reader, work, book):
    """{sheet name: rows} as the reader reads `book`; None when it refuses the file."""
    folder = os.path.join(work, reader + "-" + book)
    os.makedirs(folder, exist_ok=True)
    if reader == "LibreOffice":
        subprocess.run([shutil.which("soffice"), "-env:UserInstallation=file://" + work + "/p",
                        "--headless", "--norestore", "--convert-to",
                        "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1",
                        "--outdir", folder, os.path.join(work, book)], check=True, timeout=300,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        prefix = os.path.splitext(book)[0] + "-"
        return {f[len(prefix):-4]: rows(os.path.join(folder, f)) for f in os.listdir(folder)}
    r = subprocess.run(["ssconvert", "-S", os.path.join(work, book), os.path.join(folder, "%s.csv")],
                       timeout=300, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    if r.returncode != 0 or not os.listdir(folder):
        return None
    return {f[:-4]: rows(os.path.join(folder, f)) for f in os.listdir(folder)}


def main(editor, corpus, work):
    if shutil.which("soffice") is None:
        print("LibreOffice (soffice) is not installed: merge interoperability SKIPPED")
        return 77
    work = os.path.abspath(work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    readers = ["LibreOffice"] + (["Gnumeric"] if shutil.which("ssconvert") else [])
    failures = []
    for n, (name, marks) in enumerate(CASES):
        shutil.copy(os.path.join(corpus, name), os.path.join(work, "in%d.xml" % n))
        args = [a for m in marks for a in m]
        subprocess.run([editor, "in%d.xml" % n, "out%d.xml" % n] + args, cwd=work, check=True)
        kind = dict((s, k) for k, s in marks)
        for reader in readers:
            before = sheets(reader, work, "in%d.xml" % n)
            if before is None:
                print("%s does not read %s: not compared" % (reader, name))
                continue
            after = sheets(reader, work, "out%d.xml" % n) or {}
            for sheet, old in before.items():
                k, new = kind.get(sheet), after.get(sheet)
                if k == "d" and new is not None:
                    failures.append("%s %s: %s was left out but reads" % (reader, name, sheet))
                elif k == "a" and (new is None or new[:len(old)] != old or new[-2][:1] != ("nuovo",)):
                    failures.append("%s %s: %s continued reads otherwise" % (reader, name, sheet))
                elif k is None and new != old:
                    failures.append("%s %s: %s kept reads otherwise" % (reader, name, sheet))
            if reader == "Gnumeric" and name in ONE_PREFIX:
                print("Gnumeric reads one prefix per namespace, %s's own: the new sheet, in the "
                      "library's ss prefix, NOT CHECKED" % name)
            elif "Aggiunto" not in after:
                failures.append("%s %s: the new sheet is missing" % (reader, name))
    print("\n".join(failures + ["%d differences" % len(failures)]))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
