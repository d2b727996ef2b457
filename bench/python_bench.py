"""DataFrames to workbooks: gridquill.write_dataframe beside DataFrame.to_excel through
xlsxwriter (constant_memory) and through openpyxl, one run side by side, each writer in a
fresh process so that its peak RSS (VmHWM) is its own; the frame's own RSS is measured in a
process that builds it and writes nothing.

Usage: /usr/bin/python3 bench/python_bench.py [--rows 1000000] [--openpyxl-rows N]
       [--skip-others] [--repeat 3] [--dir DIR] [--c-bench out/default/bench/gridquill_bench]
gridquill and C run --repeat times (the best counts), the two engines once.
The C benchmark's frame workload writes the same cells from C, in the same run.
Needs the package on the path (PYTHONPATH=out/default/python, or installed) and Debian's
python3-pandas, python3-xlsxwriter, python3-openpyxl. With --openpyxl-rows, openpyxl writes
that many rows and its time is scaled to --rows (said in the output)."""
import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time


def frame(rows):
    """rows x 10: three ints, two floats, two short strings, two dates, a bool."""
    import numpy as np
    import pandas as pd
    r = np.arange(rows)
    return pd.DataFrame({
        "id": r, "quantita": r % 1000, "codice": (r * 7919) % 100003,
        "prezzo": r * 0.25 + 0.1, "sconto": (r % 17) / 16.0,
        "cliente": pd.Series(["cliente %d" % (i % 5000) for i in range(rows)], dtype=object),
        "citta": pd.Series(np.array(["Roma", "Milano", "Napoli", "Torino"], dtype=object)[r % 4]),
        "ordinato": pd.Timestamp("2020-01-01") + pd.to_timedelta(r % 1500, unit="D"),
        "spedito": pd.Timestamp("2020-01-03") + pd.to_timedelta(r % 1400, unit="D"),
        "pagato": (r % 3) == 0,
    })


def status_kib(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def child(engine, rows, path):
    """Builds the frame, then writes it: prints the seconds, the resident set before the write
    (the frame and the modules) and the peak during it (VmHWM, reset before the write)."""
    import gc
    df = frame(rows)
    if engine == "gridquill":
        import gridquill
        gridquill.write_dataframe(df.head(1), os.devnull)  # loads the library
    else:
        import pandas as pd
        import xlsxwriter, openpyxl  # noqa: F401,E401 - loaded before the clock, as gridquill
    gc.collect()
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # VmHWM from here on
    before = status_kib("VmRSS")
    cpu = resource.getrusage(resource.RUSAGE_SELF)
    start = time.perf_counter()
    if engine == "gridquill":
        gridquill.write_dataframe(df, path, sheet="Dati")
    elif engine != "frame":
        kwargs = {"options": {"constant_memory": True}} if engine == "xlsxwriter" else {}
        with pd.ExcelWriter(path, engine=engine, engine_kwargs=kwargs) as writer:
            df.to_excel(writer, sheet_name="Dati", index=False)
    seconds = time.perf_counter() - start
    end = resource.getrusage(resource.RUSAGE_SELF)
    cpu = end.ru_utime - cpu.ru_utime + end.ru_stime - cpu.ru_stime
    print("%f %f %d %d" % (seconds, cpu, before, status_kib("VmHWM")))


def run(engine, rows, path):
    if os.path.exists(path):
        os.remove(path)  # not the truncation of the last run's file
    out = subprocess.run([sys.executable, __file__, "--child", engine, str(rows), path],
                         check=True, capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1]), int(out[2]), int(out[3])


def c_bench(program, rows, work):
    """The same cells written by a C client (gridquill_bench's frame workload)."""
    if os.path.exists(os.path.join(work, "c.xml")):
        os.remove(os.path.join(work, "c.xml"))
    out = subprocess.run([program, "--child", "frame", str(rows), os.path.join(work, "c.xml"),
                          work], check=True, capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1]) + float(out[2])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=1000000)
    parser.add_argument("--openpyxl-rows", type=int, default=0)
    parser.add_argument("--skip-others", action="store_true")
    parser.add_argument("--repeat", type=int, default=3, help="runs of gridquill and C (the best)")
    parser.add_argument("--dir", default=None)
    parser.add_argument("--c-bench", default=os.path.join(os.path.dirname(__file__), "..", "out",
                                                          "default", "bench", "gridquill_bench"))
    parser.add_argument("--child", nargs=3)
    args = parser.parse_args()
    if args.child:
        child(args.child[0], int(args.child[1]), args.child[2])
        return
    work = args.dir or tempfile.mkdtemp(prefix="gridquill-bench-")
    rows = args.rows
    results = []
    t, cpu, before, peak = min(run("gridquill", rows, os.path.join(work, "gridquill.xml"))
                               for _ in range(args.repeat))
    print("%d rows x 10 columns; the frame and the modules: %.1f MB" % (rows, before / 1024))
    results.append(("gridquill.write_dataframe", t, cpu, peak - before, rows))
    if not args.skip_others:
        t, cpu, before, peak = run("xlsxwriter", rows, os.path.join(work, "xlsxwriter.xlsx"))
        results.append(("to_excel, xlsxwriter constant_memory", t, cpu, peak - before, rows))
        opx = args.openpyxl_rows or rows
        t, cpu, before, peak = run("openpyxl", opx, os.path.join(work, "openpyxl.xlsx"))
        results.append(("to_excel, openpyxl", t * rows / opx, cpu * rows / opx, peak - before,
                        opx))
    if os.path.exists(args.c_bench):
        t, cpu = min(c_bench(args.c_bench, rows, work) for _ in range(args.repeat))
        results.append(("the same cells from C (gridquill_bench)", t, cpu, None, rows))
    base, base_cpu = results[0][1], results[0][2]
    print("%-40s %8s %8s %8s %8s" % ("", "wall s", "x", "CPU s", "x"))
    for name, seconds, cpu, over, measured in results:
        note = "" if measured == rows else " (measured on %d rows, scaled)" % measured
        memory = "" if over is None else "   peak RSS %+7.1f MB over the frame" % (over / 1024)
        print("%-40s %8.2f %8.2f %8.2f %8.2f%s%s" % (name, seconds, seconds / base, cpu,
                                                    cpu / base_cpu, memory, note))
    print("cells per second by gridquill: %.1f million (%.0f ns a cell)" % (
        rows * 10 / base / 1e6, base / (rows * 10) * 1e9))


if __name__ == "__main__":
    main()
