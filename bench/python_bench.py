"""DataFrames to workbooks: gridquill.write_dataframe beside DataFrame.to_excel through
xlsxwriter (constant_memory) and through openpyxl, one run side by side, each writer in a
fresh process so that its peak RSS (VmHWM) is its own; the frame's own RSS is measured in a
process that builds it and writes nothing.

Usage: /usr/bin/python3 bench/python_bench.py [--rows 1000000] [--openpyxl-rows N]
       [--skip-others] [--dir DIR] [--c-bench out/default/bench/gridquill_bench]
Needs the package on the path (PYTHONPATH=out/default/python, or installed) and Debian's
python3-pandas, python3-xlsxwriter, python3-openpyxl. With --openpyxl-rows, openpyxl writes
that many rows and its time is scaled to --rows (said in the output)."""
import argparse
import os
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


def peak_rss_kib():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def child(engine, rows, path):
    df = frame(rows)
    before = peak_rss_kib()
    start = time.perf_counter()
    if engine == "gridquill":
        import gridquill
        gridquill.write_dataframe(df, path, sheet="Dati")
    elif engine == "frame":
        pass
    else:
        import pandas as pd
        kwargs = {"options": {"constant_memory": True}} if engine == "xlsxwriter" else {}
        with pd.ExcelWriter(path, engine=engine, engine_kwargs=kwargs) as writer:
            df.to_excel(writer, sheet_name="Dati", index=False)
    seconds = time.perf_counter() - start
    print("%f %d %d" % (seconds, before, peak_rss_kib()))


def run(engine, rows, path):
    out = subprocess.run([sys.executable, __file__, "--child", engine, str(rows), path],
                         check=True, capture_output=True, text=True).stdout.split()
    return float(out[0]), int(out[1]), int(out[2])


def c_bench(program, rows, work):
    """The C benchmark's plain workload of the same cell count (rows x 10), in seconds."""
    out = subprocess.run([program, "--child", "plain", str(rows), os.path.join(work, "c.xml"),
                          work], check=True, capture_output=True, text=True).stdout
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=1000000)
    parser.add_argument("--openpyxl-rows", type=int, default=0)
    parser.add_argument("--skip-others", action="store_true")
    parser.add_argument("--dir", default=None)
    parser.add_argument("--child", nargs=3)
    args = parser.parse_args()
    if args.child:
        child(args.child[0], int(args.child[1]), args.child[2])
        return
    work = args.dir or tempfile.mkdtemp(prefix="gridquill-bench-")
    rows = args.rows
    _, _, frame_peak = run("frame", rows, os.devnull)
    print("%d rows x 10 columns; the frame alone: peak RSS %.1f MB" % (rows, frame_peak / 1024))
    results = []
    t, _, peak = run("gridquill", rows, os.path.join(work, "gridquill.xml"))
    results.append(("gridquill.write_dataframe", t, peak, rows))
    if not args.skip_others:
        t, _, peak = run("xlsxwriter", rows, os.path.join(work, "xlsxwriter.xlsx"))
        results.append(("to_excel, xlsxwriter constant_memory", t, peak, rows))
        opx = args.openpyxl_rows or rows
        t, _, peak = run("openpyxl", opx, os.path.join(work, "openpyxl.xlsx"))
        results.append(("to_excel, openpyxl", t * rows / opx, peak, opx))
    base = results[0][1]
    for name, seconds, peak, measured in results:
        note = "" if measured == rows else " (measured on %d rows, scaled)" % measured
        print("%-40s %8.2f s %7.2f x   peak RSS %7.1f MB, %+7.1f MB over the frame%s" % (
            name, seconds, seconds / base, peak / 1024, (peak - frame_peak) / 1024, note))
    print("cells per second by gridquill: %.1f million (%.0f ns a cell)" % (
        rows * 10 / base / 1e6, base / (rows * 10) * 1e9))


if __name__ == "__main__":
    main()
