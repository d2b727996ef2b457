"""Runs one pytest file of the package's tests for CTest: exits 77 (skipped), naming why,
when pytest is missing or every test of the file skipped itself.
Usage: run.py TEST_FILE [pytest options]"""
import sys

try:
    import pytest
except ImportError:
    print("pytest is not installed (Debian: python3-pytest): SKIPPED")
    sys.exit(77)


class Outcomes:
    def __init__(self):
        self.passed, self.skipped = 0, []

    def pytest_runtest_logreport(self, report):
        if report.passed and report.when == "call":
            self.passed += 1
        elif report.skipped:
            self.skipped.append(str(report.longrepr[-1]) if isinstance(report.longrepr, tuple)
                                else str(report.longrepr))

    def pytest_collectreport(self, report):
        if report.skipped:
            self.skipped.append(str(report.longrepr[-1]))


outcomes = Outcomes()
status = pytest.main(["-q", "-p", "no:cacheprovider"] + sys.argv[1:], plugins=[outcomes])
if status == 0 and outcomes.passed == 0 and outcomes.skipped:
    print("SKIPPED: " + "; ".join(sorted(set(outcomes.skipped))))
    sys.exit(77)
sys.exit(status)
