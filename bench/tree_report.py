#!/usr/bin/env python3
"""Runs the folder tree benchmark and prints its table (into bench/README.md with --update-readme)."""
import json
import math
import os
import subprocess
import time

from drive import win_path
from readme_table import arguments, report

COUNTS = os.environ.get("TREE_COUNTS", "1250 2500 5000 20000").split()
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
    result = json.loads(out.strip().splitlines()[-1])
    rows = result["rows"]
    largest = rows[-1]["count"]
    without = [peak(bench_exe, work, largest, False) for _ in range(3)]
    expanded = [peak(bench_exe, work, largest, True) for _ in range(3)]
    added = min(p[0] for p in expanded) - min(p[0] for p in without)
    inside_ws = min(p[1] for p in expanded)

    lines = ["| subfolders | Snapvik: expand, first screen drawn ms | icons looked up (rows on screen) "
             "| platform's folder dialog ms | Snapvik / dialog | floor ms "
             "| one page scrolled after a pause ms (icons looked up) | looked up ahead at idle ms "
             "| pages in a row, within the look-ahead's reach ms (icons) "
             "| the next pages in a row, beyond its reach ms (icons) | the page's look-ups alone ms "
             "| comparisons | n log2 n |",
             "| ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |"]
    for r in rows:
        dialog = "%.0f" % r["browse"] if r["browse"] >= 0 else ("not run" if r["browse"] == -2 else "failed")
        ratio = "%.3f" % (r["tree"] / r["browse"]) if r["browse"] > 0 else ""
        lines.append("| %d | %.0f | %d (%d) | %s | %s | %.0f | %.1f (%.1f) | %.0f | %.0f (%.0f) | %.0f (%.0f) | %.0f | %d | %.0f |" % (
            r["count"], r["tree"], r["lookups"], r["visible"], dialog, ratio, r["floor"], r["page"],
            r["page_lookups"], r["look_ahead"], r["page_in_a_row"], r["row_lookups"], r["page_beyond"],
            r["beyond_lookups"], r["page_floor"],
            r["comparisons"], r["nlogn"]))
    lines.append("")
    lines.append("| subfolders | read again after a change on disk ms (icons looked up) | read again / expand | subfolders after it "
                 "| hot key during it: late ms (x expand) | hiding the window ms (Wine waiting for a window manager "
                 "Xvfb lacks; an empty window alike) | Cancel: the window destroyed ms | destroyed / expand "
                 "| the program's items left | hot key during it: late ms (x expand) |")
    lines.append("| ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |")
    for r in rows:
        def late(ms, after):
            if ms < 0:
                return "not handled"
            return "%.0f (%.2f%s)" % (ms, ms / r["tree"], "; posted after the step ended" if after else "")
        after = "%d of %d%s" % (r["refreshed"], r["count"] + 1, "" if not r["not_refreshed"] else ", NOT READ AGAIN")
        lines.append("| %d | %.0f (%d) | %.2f | %s | %s | %.0f | %.1f | %.3f | %s | %s |" % (
            r["count"], r["refresh"], r["refresh_lookups"], r["refresh"] / r["tree"], after, late(r["refresh_late"], r["refresh_key_after_step"]), r["hide"],
            r["teardown"], r["teardown"] / r["tree"], "none" if not r["not_freed"] else "SOME",
            late(r["teardown_late"], r["teardown_key_after_step"])))
    lines.append("")
    lines.append("| subfolders, in a folder on the Desktop | the picker's window, the tree at the Desktop: expand, first "
                 "screen drawn ms | read again after a change on disk ms | read again / expand | subfolders after it "
                 "| OK on a subfolder removed from outside, until the box shows ms | OK / expand | subfolders after it "
                 "| the tree then lists what a fresh open lists |")
    lines.append("| ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |")
    for r in rows:
        d = r["desktop"]
        lines.append("| %d | %.0f | %.0f | %.2f | %d of %d | %s | %s | %d of %d | %s |" % (
            r["count"], d["expand"], d["read_again"], d["read_again"] / d["expand"], d["after_read_again"],
            r["count"] + 1, "%.0f" % d["ok"] if d["box_shown"] else "NO BOX (%.0f)" % d["ok"],
            "%.2f" % (d["ok"] / d["expand"]), d["after_ok"], r["count"], "yes" if d["like_fresh_open"] else "NO"))
    inside = sum(r["refresh_key_in_step"] + r["teardown_key_in_step"] for r in rows)
    lines.append("")
    lines.append("The same hide for an empty window, shown: %.0f ms. The hot key's stand-in is posted %s; "
                 "%s." % (result["blank_hide"], "20 ms after the step starts",
                          "it was handled by the thread's loop after the step every time" if not inside
                          else "%d time(s) it was handled inside the step" % inside))
    lines.append("")
    lines.append("| %d opens and closes of a folder %d levels below the base | ms a cycle | private bytes after cycle %d "
                 "| after cycle %d | growth bytes a cycle | cycles that reached the folder | icons looked up a cycle "
                 "| cycles leaving items of the program alive |" % (result["cycles"], result["depth"] + 1, result["warm_cycles"], result["cycles"]))
    lines.append("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |")
    for what, key, leaks in (("the tree rooted at the Desktop, the folder selected by its path, drawn, the window "
                              "destroyed", "tree_cycles", True),
                             ("the same path with plain platform calls, no tree", "platform_cycles", False)):
        c = result[key]
        lines.append("| %s | %.0f | %d | %d | %+.0f | %d | %s | %s |" % (
            what, c["ms"], c["warm"], c["last"], c["growth"], c["reached"],
            "%.0f" % (c["lookups"] / result["cycles"]) if leaks else "", c["leaked"] if leaks else ""))
    pagefile = result["tree_cycles"]["pagefile"]
    growth = []
    for a, b in zip(rows, rows[1:]):
        nlogn = (b["count"] * math.log2(b["count"])) / (a["count"] * math.log2(a["count"]))
        growth.append("%d to %d: x%.2f (n log n: x%.2f)" % (a["count"], b["count"], b["tree"] / a["tree"], nlogn))
    if growth:
        lines.append("")
        lines.append("Growth of the expansion, " + "; ".join(growth) + ".")
    lines.append("")
    lines.append("Peak memory added by expanding %d subfolders: %.0f bytes per node (peak resident memory as the "
                 "kernel counts it, least of three runs each with and without the expansion); by the process's "
                 "own peak working set, %.0f bytes per node. Private bytes of the cycles: %s."
                 % (largest, added / largest, inside_ws / largest,
                    "Wine's PagefileUsage (its PrivateUsage is 0)" if pagefile else "PrivateUsage"))
    lines.append("")
    lines.append("%s run(s) each of %s, %s. Goals: at most 1000 ms for 5000 subfolders, growing no faster than "
                 "n log n; Snapvik / dialog at most 0.1 (or 1.2 where the dialog is fast; not run above %d, where "
                 "it takes minutes); a page at most 50 ms, after a pause and in a row; comparisons within n log2 n; "
                 "read again / expand at most 1.0 (in the picker's window at the Desktop too, and OK / expand) and Cancel's destruction / expand at most 0.5, and the hot key "
                 "late by no more than each step's goal (1.0 and 0.5 x expand); memory flat over the cycles, no item "
                 "left." % (RUNS, program, time.strftime("%Y-%m-%d"), 5000))
    report("tree-table", "\n".join(lines), update_readme)


if __name__ == "__main__":
    args, update = arguments()
    main(*args, update_readme=update)
