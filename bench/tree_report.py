#!/usr/bin/env python3
"""Runs the folder tree benchmark and prints its table (into bench/README.md with --update-readme)."""
import json
import math
import os
import subprocess
import time

from drive import win_path
from readme_table import arguments, report

COUNTS = os.environ.get("TREE_COUNTS", "1250 2500 5000").split()
RUNS = os.environ.get("TREE_RUNS", "1")


def peak(bench_exe, work, count, expand):
    """The program with the tree, the folder expanded or not: its peak resident memory as the kernel
    counted it (bytes), and the peak working set it added by its own count."""
    child = subprocess.Popen(["wine", bench_exe, win_path(work) + "\\", "memory", str(count), "1" if expand else "0"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    out = child.stdout.read()
    child.stdout.close()
    _, _, usage = os.wait4(child.pid, 0)
    child.returncode = 0
    return 1024 * usage.ru_maxrss, json.loads(out.strip().splitlines()[-1])["peak_working_set_added"]


def main(bench_exe, work, program, update_readme):
    os.makedirs(work, exist_ok=True)
    out = subprocess.run(["wine", bench_exe, win_path(work) + "\\", RUNS, *COUNTS], check=True, capture_output=True,
                         text=True).stdout
    rows = json.loads(out.strip().splitlines()[-1])
    largest = rows[-1]["count"]
    without = [peak(bench_exe, work, largest, False) for _ in range(3)]
    expanded = [peak(bench_exe, work, largest, True) for _ in range(3)]
    added = min(p[0] for p in expanded) - min(p[0] for p in without)
    inside = min(p[1] for p in expanded)

    lines = ["| subfolders | Snapvik: expand, first screen drawn ms | icons looked up (rows on screen) "
             "| platform's folder dialog ms | Snapvik / dialog | floor ms "
             "| one page scrolled after a pause ms (icons looked up) | looked up ahead at idle ms "
             "| pages in a row ms (icons) | the page's look-ups alone ms "
             "| comparisons | n log2 n |",
             "| ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |"]
    for r in rows:
        dialog = "%.0f" % r["browse"] if r["browse"] >= 0 else "failed"
        ratio = "%.3f" % (r["tree"] / r["browse"]) if r["browse"] > 0 else ""
        lines.append("| %d | %.0f | %d (%d) | %s | %s | %.0f | %.1f (%.1f) | %.0f | %.0f (%.0f) | %.0f | %d | %.0f |" % (
            r["count"], r["tree"], r["lookups"], r["visible"], dialog, ratio, r["floor"], r["page"],
            r["page_lookups"], r["look_ahead"], r["page_in_a_row"], r["row_lookups"], r["page_floor"],
            r["comparisons"], r["nlogn"]))
    lines.append("")
    growth = []
    for a, b in zip(rows, rows[1:]):
        nlogn = (b["count"] * math.log2(b["count"])) / (a["count"] * math.log2(a["count"]))
        growth.append("%d to %d: x%.2f (n log n: x%.2f)" % (a["count"], b["count"], b["tree"] / a["tree"], nlogn))
    lines.append("Growth of the expansion, " + "; ".join(growth) + ".")
    lines.append("")
    lines.append("Peak memory added by expanding %d subfolders: %.0f bytes per node (peak resident memory as the "
                 "kernel counts it, least of three runs each with and without the expansion); by the process's "
                 "own peak working set, %.0f bytes per node."
                 % (largest, added / largest, inside / largest))
    lines.append("")
    lines.append("%s run(s) each of %s, %s. Goals: at most 1000 ms for 5000 subfolders, growing no faster than "
                 "n log n; Snapvik / dialog at most 0.1 (or 1.2 where the dialog is fast); a page at most 50 ms; "
                 "comparisons within n log2 n." % (RUNS, program, time.strftime("%Y-%m-%d")))
    report("tree-table", "\n".join(lines), update_readme)


if __name__ == "__main__":
    args, update = arguments()
    main(*args, update_readme=update)
