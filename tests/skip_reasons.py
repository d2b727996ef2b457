"""Prints why each skipped test of the last run was skipped, from its JUnit file.

Usage: skip_reasons.py RESULTS.xml. Always exits 0: it reports, it does not test.
"""
import os
import sys
import xml.etree.ElementTree as ET


def reason(output):
    lines = [line.strip() for line in output.splitlines() if line.strip()]
    for i, line in enumerate(lines):  # GoogleTest: "file:line: Skipped", then the message
        if line.endswith(": Skipped") and i + 1 < len(lines) and not lines[i + 1].startswith("["):
            return lines[i + 1]
    said = [line for line in lines if "SKIPPED" in line.upper() and not line.startswith("[")]
    return said[-1] if said else (lines[-1] if lines else "no reason given")


def main(path):
    if not os.path.exists(path):
        print("no test results at %s: run the test preset first" % path)
        return 0
    skipped = [case for case in ET.parse(path).getroot().iter("testcase")
               if case.get("status") == "notrun"]
    for case in skipped:
        print("%s skipped: %s" % (case.get("name"), reason(case.findtext("system-out") or "")))
    print("%d tests skipped" % len(skipped))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
