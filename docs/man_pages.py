"""Section 3 man pages from Doxygen's XML of gridquill.h: gridquill(3), the overview, a page
for every call, typedef and default record, and one for each record type.

Doxygen's own man pages print every double quote as a single one, which garbles the quoted
messages of the header; this renders the same comments from its XML instead.

Usage: man_pages.py DOXYGEN_XML_DIR OUTPUT_DIR VERSION
"""
import pathlib
import re
import shutil
import sys
import xml.etree.ElementTree as ET

FONTS = {"computeroutput": "I", "emphasis": "I", "bold": "B", "ref": "B"}


def roff(text):
    """Text for a roff text line: backslashes escaped, blanks folded."""
    return re.sub(r"\s+", " ", text.replace("\\", "\\e"))


def inline(node):
    """The inline content of a node as roff text (fonts for code, emphasis and links)."""
    out = [roff(node.text or "")]
    for child in node:
        if child.tag in FONTS:
            font = FONTS[child.tag]
            out.append(f"\\f{font}{roff(''.join(child.itertext()))}\\fR")
        elif child.tag == "ulink":
            out.append(roff("".join(child.itertext())))
        elif child.tag in ("simplesect", "itemizedlist", "orderedlist", "programlisting",
                           "parameterlist"):
            pass  # blocks: taken out by blocks()
        elif child.tag == "linebreak":
            out.append("\n.br\n")
        else:
            out.append(inline(child))
        out.append(roff(child.tail or ""))
    return "".join(out)


def line(text):
    """One output line: a text line never starts with a dot or a quote (a request)."""
    text = text.strip()
    return "\\&" + text if text[:1] in (".", "'") else text


def blocks(node, returns):
    """Roff lines for the paragraphs, lists and code under a description node; the text
    of a @return goes into `returns`."""
    lines = []
    for child in node:
        if child.tag == "para":
            text = inline(child).strip()
            if text:
                lines += [".PP"] + [line(t) for t in text.split("\n")]
            lines += blocks(child, returns)
        elif child.tag == "simplesect" and child.get("kind") == "return":
            returns.append(" ".join(inline(p).strip() for p in child.iter("para")))
        elif child.tag in ("itemizedlist", "orderedlist"):
            for number, item in enumerate(child.findall("listitem"), 1):
                mark = f"{number}." if child.tag == "orderedlist" else "\\(bu"
                text = " ".join(inline(p).strip() for p in item.findall("para"))
                lines += [f'.IP "{mark}" 4', line(text)]
        elif child.tag == "programlisting":
            code = ["".join(c.itertext()) for c in child.iter("codeline")]
            lines += [".PP", ".nf"] + [line(roff(c)) for c in code] + [".fi"]
        elif child.tag in ("sect1", "sect2"):
            lines += [f'.SS "{"".join(child.find("title").itertext())}"']
            lines += blocks(child, returns)
    return lines


def description(member):
    """(brief as plain text, description lines, return text) of a member or compound."""
    brief = " ".join("".join(member.find("briefdescription").itertext()).split())
    returns = []
    lines = blocks(member.find("briefdescription"), returns)
    lines += blocks(member.find("detaileddescription"), returns)
    return brief.rstrip("."), lines, " ".join(returns)


def refs(member, own):
    """The other calls and records a description names, for SEE ALSO."""
    names = []
    for ref in member.iter("ref"):
        name = "".join(ref.itertext()).rstrip("()")
        if name != own and name not in names and re.fullmatch(r"\w+", name):
            names.append(name)
    return names


def page(name, version, brief, synopsis, lines, returns="", see=()):
    out = [f'.TH "{name}" 3 "" "Gridquill {version}" "Gridquill"', ".ad l", ".nh", ".SH NAME",
           f"{name} \\- {roff(brief)}", ".SH SYNOPSIS", ".nf", "\\fB#include <gridquill.h>\\fR",
           ""] + ["\\&" + s.replace("\\", "\\e") for s in synopsis] + [".fi", ".SH DESCRIPTION"]
    out += lines
    if returns:
        out += [".SH RETURN VALUE", line(returns)]
    out += ['.SH "SEE ALSO"', ",\n".join(f".BR {n} (3)" for n in (*see, "gridquill"))]
    return "\n".join(out) + "\n"


def signature(member):
    kind = member.get("kind")
    definition = member.findtext("definition")
    if kind == "function":
        return [f"{definition}{member.findtext('argsstring')};"]
    if kind == "typedef":
        return [f"{definition};"]
    static = "static " if member.get("static") == "yes" else ""
    initializer = (member.findtext("initializer") or "").splitlines()
    return [f"{static}{definition} {' '.join(initializer[:1])}"] + initializer[1:-1] + \
        [f"{initializer[-1]};"] if initializer else [f"{static}{definition};"]


def record_page(xml_dir, compound, version):
    root = ET.parse(xml_dir / f"{compound}.xml").getroot().find("compounddef")
    name = root.findtext("compoundname")
    brief, lines, _ = description(root)
    synopsis, fields = [f"typedef struct {name} {{"], [".SH FIELDS"]
    for member in root.iter("memberdef"):
        declaration = f"{member.findtext('type')} {member.findtext('name')}"
        declaration += member.findtext("argsstring") or ""
        synopsis.append(f"    {declaration};")
        field_brief, field_lines, _ = description(member)
        fields += [".TP", f"\\fI{roff(member.findtext('name'))}\\fR"]
        fields += [t for t in field_lines if t != ".PP"] or [line(roff(field_brief))]
    synopsis.append(f"}} {name};")
    return name, brief, page(name, version, brief, synopsis, lines + fields,
                             see=refs(root, name))


def main(xml_dir, output_dir, version):
    xml_dir, output = pathlib.Path(xml_dir), pathlib.Path(output_dir)
    if output.exists():
        shutil.rmtree(output)
    output.mkdir(parents=True)
    header = ET.parse(xml_dir / "gridquill_8h.xml").getroot().find("compounddef")

    calls, types, constants = [], [], []
    for section in header.findall("sectiondef"):
        if section.get("kind") == "user-defined":
            constants += [f'.SS "{roff(section.findtext("header"))}"']
            for member in section.findall("memberdef"):
                brief, _, _ = description(member)
                constants += [".TP", f"\\fB{member.findtext('name')}\\fR "
                              f"{roff(member.findtext('initializer') or '')}", line(roff(brief))]
            continue
        for member in section.findall("memberdef"):
            name = member.findtext("name")
            brief, lines, returns = description(member)
            text = page(name, version, brief, signature(member), lines, returns,
                        refs(member, name))
            (output / f"{name}.3").write_text(text)
            entry = [".TP", f".BR {name} (3)", line(roff(brief))]
            if member.get("kind") == "function":
                calls += entry
            else:
                types += entry

    records = []
    for inner in header.findall("innerclass"):
        name, brief, text = record_page(xml_dir, inner.get("refid"), version)
        (output / f"{name}.3").write_text(text)
        records += [".TP", f".BR {name} (3)", line(roff(brief))]

    # The reference's main page first, its sections after the header's own description.
    _, lines, _ = description(header)
    lines = lines[2:] if lines[:1] == [".PP"] else lines  # the brief is the NAME line
    index = ET.parse(xml_dir / "indexpage.xml").getroot().find("compounddef")
    _, index_lines, _ = description(index)
    first = next((i for i, t in enumerate(index_lines) if t.startswith(".SS")), len(index_lines))
    overview = [f'.TH "gridquill" 3 "" "Gridquill {version}" "Gridquill"', ".ad l", ".nh",
                ".SH NAME",
                "gridquill \\- stream XML Spreadsheet 2003 workbooks to a file", ".SH SYNOPSIS",
                ".nf", "\\fB#include <gridquill.h>\\fR", "",
                "cc app.c $(pkg-config \\-\\-cflags \\-\\-libs gridquill)", ".fi",
                ".SH DESCRIPTION"] + index_lines[:first] + lines + index_lines[first:]
    overview += [".SH CALLS"] + calls + ['.SH "RECORDS AND TYPES"'] + records + types
    overview += [".SH CONSTANTS"]
    overview += constants + ['.SH "SEE ALSO"', ".BR gridquill-csv (1)"]
    (output / "gridquill.3").write_text("\n".join(overview) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
