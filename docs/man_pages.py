"""Section 3 man pages from Doxygen's: gridquill(3), the overview, and one page per call.

Doxygen writes one page for the header and one per record. This keeps the records' pages,
renames the header's page gridquill(3), and cuts a page of its own out of it for every
function, typedef and default record, with the header's synopsis and a pointer back.

Usage: man_pages.py DOXYGEN_MAN3_DIR OUTPUT_DIR
"""
import pathlib
import re
import shutil
import sys


def printable(line):
    # Doxygen writes quoted texts with ' in place of ", and a line that begins with ' (or
    # with a dot that is not a request) would be read as a request by man.
    return "\\&" + line if line.startswith("'") else line


def sections(lines):
    """(title, body lines) of each .SH section, in order."""
    found, title, body = [], None, []
    for line in lines:
        if line.startswith(".SH "):
            if title is not None:
                found.append((title, body))
            title, body = line[4:].strip().strip('"'), []
        elif title is not None:
            body.append(line)
    if title is not None:
        found.append((title, body))
    return found


def entries(body):
    """(heading, body lines) of each .SS entry of a documentation section."""
    found, heading, text = [], None, []
    for line in body:
        if line.startswith(".SS "):
            if heading is not None:
                found.append((heading, text))
            heading, text = line[4:].strip()[1:-1], []
        elif heading is not None:
            text.append(line)
    if heading is not None:
        found.append((heading, text))
    return found


def plain(roff):
    return re.sub(r"\\f[BCIPR]", "", roff).replace("\\&", "")


def entry_name(heading):
    # "int xlsInit (const char * path, ...)", "typedef int(* xlsWriteFunction) (...)",
    # "typedef struct xlsContext xlsContext", "const xlsStyle xlsStyleDefault = ..."
    text = plain(heading).split("=")[0]
    function = re.search(r"(\w+)\)? \(", text)
    return function.group(1) if function else re.findall(r"\w+", text)[-1]


def brief_of(text):
    """The first sentence of an entry's description, as plain text."""
    literal = False
    for line in text:
        literal = {".nf": True, ".fi": False}.get(line, literal)
        if line and not literal and not line.startswith(".") and "Initial value" not in line:
            return plain(line).split(". ")[0].rstrip(". ")
    return ""


def main(source_dir, output_dir):
    source, output = pathlib.Path(source_dir), pathlib.Path(output_dir)
    if output.exists():
        shutil.rmtree(output)
    output.mkdir(parents=True)
    header = (source / "gridquill.h.3").read_text().splitlines()
    title = header[0]
    parts = sections(header)

    overview = [title.replace('.TH "gridquill.h"', '.TH "gridquill"', 1)]
    for line in header[1:]:
        line = line.replace("gridquill.h \\- Gridquill: ", "gridquill \\- ")
        line = line.replace("#include <stddef\\&.h>", "#include <gridquill\\&.h>")
        overview.append(printable(line))
    (output / "gridquill.3").write_text("\n".join(overview) + "\n")

    names = []
    for heading, body in parts:
        if heading not in ("Typedef Documentation", "Function Documentation",
                           "Variable Documentation"):
            continue
        for signature, text in entries(body):
            if "[static]" in signature:
                signature = "static " + signature.replace("\\fC [static]\\fP", "")
            name = entry_name(signature)
            brief = brief_of(text)
            page = [title.replace('"gridquill.h"', f'"{name}"', 1), ".ad l", ".nh",
                    ".SH NAME", f"{name} \\- {brief}", ".SH SYNOPSIS", ".nf",
                    "\\fB#include <gridquill\\&.h>\\fP", "", f"{signature};", ".fi",
                    ".SH DESCRIPTION"]
            page += [printable(t) for t in text]
            page += ['.SH "SEE ALSO"', "\\fBgridquill\\fP(3)"]
            (output / f"{name}.3").write_text("\n".join(page) + "\n")
            names.append(name)

    for record in source.glob("*.3"):
        if record.name != "gridquill.h.3":
            lines = record.read_text().splitlines()
            (output / record.name).write_text("\n".join(map(printable, lines)) + "\n")
    return names


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
