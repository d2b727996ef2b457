#!/usr/bin/env python3
"""gridquill-csv against LibreOffice's and Gnumeric's converters, side by side in one run.

Usage: csv_bench.py TOOL [--dir DIR] [--rows 200000] [--sizes 10000,1000000] [--skip-others]

1. A CSV of ROWS x 5 columns (an integer, an ISO date, a decimal, a quoted text with commas
   and doubled quotes, a code with leading zeros) converted by gridquill-csv, by
   `soffice --convert-to "xml:MS Excel 2003 XML"` (a private profile) and by `ssconvert` to
   xlsx (it has no writer for this format); an absent converter is skipped and said so.
2. gridquill-csv alone on SIZES rows x 10 columns: peak RSS and input throughput, against
   `cat FILE >/dev/null` of the same file.
Each program runs under GNU time (/usr/bin/time, Debian's `time`): wall-clock seconds and
the peak resident set of it and its descendants. Run it under `nice`.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile


TIME = "/usr/bin/time"  # GNU time: a small parent, so the peak RSS is the child's own


def run(argv, **kw):
    """(seconds, peak RSS in MiB, CPU seconds) of one child process; raises if it fails."""
    report = tempfile.NamedTemporaryFile("r", suffix=".time")
    proc = subprocess.run([TIME, "-f", "%e %M %U %S", "-o", report.name] + argv, stdin=subprocess.DEVNULL,
                          stdout=kw.get("stdout", subprocess.DEVNULL), stderr=subprocess.PIPE,
                          cwd=kw.get("cwd"))
    if proc.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (argv[0], proc.returncode, proc.stderr[-500:]))
    seconds, kib, user, system = report.read().split()[-4:]
    return float(seconds), int(kib) / 1024.0, float(user) + float(system)


def best(argv, repeat, **kw):
    """The smallest time, peak RSS and CPU time of `repeat` runs."""
    samples = [run(argv, **kw) for _ in range(repeat)]
    return tuple(min(s[i] for s in samples) for i in range(3))


def make_csv(path, rows, columns):
    rnd = random.Random(42)
    names = ["Rossi", "Bianchi", "Esposito", "Romano", "Colombo", "Ricci", "Marino", "Greco"]
    streets = ["via Roma", "corso Italia", "piazza Garibaldi", "viale Mazzini"]
    with open(path, "w", newline="") as f:
        head = ["id", "data", "importo", "cliente", "codice"]
        f.write(",".join((head * 2)[:columns]) + "\r\n")
        for r in range(1, rows + 1):
            fields = [
                str(r),
                "20%02d-%02d-%02d" % (rnd.randrange(10, 25), rnd.randrange(1, 13), rnd.randrange(1, 29)),
                "%d.%02d" % (rnd.randrange(0, 100000), rnd.randrange(100)),
                '"%s, ""%s"" %s %d"' % (rnd.choice(names), rnd.choice(names),
                                                 rnd.choice(streets), rnd.randrange(1, 200)),
                "%06d" % rnd.randrange(1000000),
            ]
            f.write(",".join((fields * 2)[:columns]) + "\r\n")
    return os.path.getsize(path) / 1e6


def main():
    p = argparse.ArgumentParser()
    p.add_argument("tool")
    p.add_argument("--dir")
    p.add_argument("--rows", type=int, default=200000)
    p.add_argument("--sizes", default="10000,1000000")
    p.add_argument("--repeat", type=int, default=3)
    p.add_argument("--skip-others", action="store_true")
    a = p.parse_args()
    work = a.dir or tempfile.mkdtemp(prefix="gridquill-csv-bench-")
    os.makedirs(work, exist_ok=True)
    tool = os.path.abspath(a.tool)
    if not os.access(TIME, os.X_OK):
        print("GNU time (%s) is needed: apt-get install time" % TIME)
        return 2
    print("load average before: %.2f %.2f %.2f" % os.getloadavg())
    print("floor: /bin/true peaks at %.1f MiB" % run(["/bin/true"])[1])

    data = os.path.join(work, "dati.csv")
    mb = make_csv(data, a.rows, 5)
    print("\n%d rows x 5 columns, %.1f MB" % (a.rows, mb))
    ours = best([tool, "-q", data, "-o", os.path.join(work, "dati.xml")], a.repeat)
    results = [("gridquill-csv", ours)]
    soffice, ssconvert = shutil.which("soffice"), shutil.which("ssconvert")
    if a.skip_others:
        print("--skip-others: LibreOffice and Gnumeric left out")
    elif soffice:
        profile = "file://" + os.path.join(work, "profile")
        outdir = os.path.join(work, "soffice")
        convert = [soffice, "-env:UserInstallation=" + profile, "--headless", "--norestore",
                   "--convert-to", "xml:MS Excel 2003 XML", "--outdir", outdir, data]
        run(convert)  # the profile is made on the first start; not measured
        results.append(("soffice --convert-to xml", run(convert)))
    else:
        print("soffice not installed: LibreOffice left out")
    if a.skip_others:
        pass
    elif ssconvert:
        results.append(("ssconvert to xlsx", run([ssconvert, data, os.path.join(work, "dati.xlsx")])))
    else:
        print("ssconvert not installed: Gnumeric left out")
    print("%-26s %9s %9s %10s %8s %9s" % ("converter", "seconds", "CPU s", "peak MiB", "x time", "x memory"))
    for name, (seconds, peak, cpu) in results:
        print("%-26s %9.2f %9.2f %10.1f %8.1f %9.1f" % (name, seconds, cpu, peak, seconds / ours[0],
                                                       peak / ours[1]))

    print("\ngridquill-csv alone, 10 columns")
    print("%10s %8s %8s %7s %9s %7s %9s %9s %7s" % ("rows", "MB", "seconds", "CPU s", "peak MiB", "MB/s",
                                                  "CPU MB/s", "cat MB/s", "x cat"))
    for rows in [int(s) for s in a.sizes.split(",")]:
        path = os.path.join(work, "dati%d.csv" % rows)
        size = make_csv(path, rows, 10)
        seconds, peak, cpu = best([tool, "-q", path, "-o", os.path.join(work, "dati%d.xml" % rows)],
                                  a.repeat)
        with open(os.devnull, "w") as null:
            cat = max(best(["cat", path], a.repeat, stdout=null)[0], 0.01)  # time's resolution
        print("%10d %8.1f %8.2f %7.2f %9.1f %7.1f %9.1f %9.1f %7.1f" % (
            rows, size, seconds, cpu, peak, size / seconds, size / max(cpu, 0.01), size / cat,
            seconds / cat))
        os.remove(path)
        os.remove(os.path.join(work, "dati%d.xml" % rows))
    print("\nload average after: %.2f %.2f %.2f" % os.getloadavg())
    if not a.dir:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
