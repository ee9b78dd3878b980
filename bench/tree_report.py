#!/usr/bin/env python3
"""Runs the folder tree benchmark and writes its table into bench/README.md."""
import json
import os
import subprocess
import sys
import time

from readme_table import win_path, write_table

COUNTS = os.environ.get("TREE_COUNTS", "1250 2500 5000").split()
RUNS = os.environ.get("TREE_RUNS", "1")


def main(bench_exe, work, program):
    os.makedirs(work, exist_ok=True)
    out = subprocess.run(["wine", bench_exe, win_path(work) + "\\", RUNS, *COUNTS], check=True, capture_output=True,
                         text=True).stdout
    rows = json.loads(out.strip().splitlines()[-1])
    lines = ["| subfolders | tree: expand ms | floor: platform calls ms | tree / floor | comparisons | n log2 n |",
             "| ---: | ---: | ---: | ---: | ---: | ---: |"]
    for r in rows:
        lines.append("| %d | %.0f | %.0f | %.2f | %d | %.0f |" % (
            r["count"], r["tree"], r["floor"], r["tree"] / r["floor"], r["comparisons"], r["nlogn"]))
    lines.append("")
    lines.append("%s run(s) each of %s, %s. Goal: tree / floor at most 1.30, comparisons within n log2 n."
                 % (RUNS, program, time.strftime("%Y-%m-%d")))
    table = "\n".join(lines)
    print(table)
    write_table("tree-table", table)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3])
