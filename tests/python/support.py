"""Helpers of the package's tests: the rows of a written workbook, checked well-formed."""
import os
import re
import shutil
import subprocess
import threading
import xml.parsers.expat

import pytest


def body(path):
    """The Table of each sheet, from its first Row line to its end, after checking that the
    file is well-formed XML."""
    with open(path, "rb") as f:
        data = f.read()
    xml.parsers.expat.ParserCreate().Parse(data, True)
    return [table.decode("utf-8") for table in re.findall(rb"(?s)\n(   <Row.*?)  </Table>", data)]


def validate(path):
    """Validates with the format's schema where the validator is there, else skips."""
    validator = os.environ.get("GRIDQUILL_SCHEMA_VALIDATE", "")
    if not validator or not os.path.exists(validator):
        pytest.skip("the schema validator is missing")
    if shutil.which("xmllint") is None:
        pytest.skip("xmllint is missing")
    result = subprocess.run([validator, path], capture_output=True, text=True)
    assert result.returncode == 0, result.stdout + result.stderr


def row(*cells, attrs=""):
    cells = "".join("    <Cell %s</Cell>\n" % c for c in cells)
    return "   <Row%s>\n%s   </Row>\n" % (attrs, cells)


def same_in_threads(tmp_path, write, items):
    """Calls write(path, item) for each item alone, then for all at once in threads: each
    workbook written in a thread must hold the rows of the one written alone."""
    alone = [str(tmp_path / ("alone%d.xml" % k)) for k in range(len(items))]
    together = [str(tmp_path / ("thread%d.xml" % k)) for k in range(len(items))]
    for path, item in zip(alone, items):
        write(path, item)
    threads = [threading.Thread(target=write, args=(path, item))
               for path, item in zip(together, items)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert [body(p) for p in together] == [body(p) for p in alone]
