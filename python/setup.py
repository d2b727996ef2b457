"""Builds gridquill's C++ extension against the library's header and records which library
the package was built with: $GRIDQUILL_LIBRARY, else this tree's build (out/default), else
none (an installed libgridquill is found when the package is imported).

    pip install ./python --no-build-isolation    (Debian: python3-setuptools, python3-dev)

$GRIDQUILL_INCLUDE names the folder of gridquill.h when it is neither in this tree nor
installed."""
import os

from setuptools import Extension, setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
TREE = os.path.dirname(HERE)


def header_folder():
    for folder in (os.environ.get("GRIDQUILL_INCLUDE"), os.path.join(TREE, "library"),
                   "/usr/local/include", "/usr/include"):
        if folder and os.path.exists(os.path.join(folder, "gridquill.h")):
            return folder
    raise SystemExit("gridquill.h not found: set GRIDQUILL_INCLUDE to its folder")


def built_library():
    for path in (os.environ.get("GRIDQUILL_LIBRARY"),
                 os.path.join(TREE, "out", "default", "libgridquill.so")):
        if path and os.path.exists(path):
            return os.path.realpath(path)
    return None


class BuildPy(build_py):
    """Adds gridquill/_built.py, naming the library found at build time."""

    def run(self):
        super().run()
        target = os.path.join(self.build_lib, "gridquill", "_built.py")
        with open(target, "w", encoding="utf-8") as f:
            f.write('"""The library this package was built with (None: an installed one)."""\n')
            f.write("LIBRARY = %r\n" % built_library())


setup(
    cmdclass={"build_py": BuildPy},
    ext_modules=[Extension("gridquill._native", ["gridquill/_native.cpp"],
                           include_dirs=[header_folder()], language="c++",
                           extra_compile_args=["-std=c++20", "-O2", "-fvisibility=hidden"],
                           libraries=["dl"])],
)
