#!/usr/bin/env python3
"""Runs the capture benchmark and the tools people would otherwise use on the same
screen in one run, and prints the table (into bench/README.md with --update-readme)."""
import json
import os
import statistics
import subprocess
import time

from drive import win_path
from readme_table import arguments, report

RUNS = int(os.environ.get("BENCH_RUNS", "25"))


def median_ms(command, runs):
    times = []
    for _ in range(runs):
        t0 = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        times.append(1000 * (time.perf_counter() - t0))
    return statistics.median(times)


def peaks(command):
    """One run of a program: its peak resident memory as the kernel counted it (bytes), and what it
    printed of its own counters (peak private bytes as the platform reports them)."""
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    out = child.stdout.read()
    child.stdout.close()
    _, _, usage = os.wait4(child.pid, 0)
    child.returncode = 0
    inside = json.loads(out.strip().splitlines()[-1])
    return 1024 * usage.ru_maxrss, inside["peak_private"]


def main(bench_exe, work, program, machine, update_readme):
    os.makedirs(work, exist_ok=True)
    # The program reads its own minor page faults from /proc/<its Unix id>/stat; the shell's id is the
    # program's, as exec keeps it.
    out = subprocess.run(["sh", "-c", 'SNAPVIK_UNIX_PID=$$ exec wine "$@"', "sh", bench_exe, win_path(work) + "\\",
                          str(RUNS)], check=True, capture_output=True, text=True).stdout
    m = json.loads(out.strip().splitlines()[-1])
    # The program with its window, then with one capture more: the difference is what a capture holds at once.
    before = [peaks(["wine", bench_exe, win_path(work) + "\\", "0"]) for _ in range(3)]
    after = [peaks(["wine", bench_exe, win_path(work) + "\\", "-1"]) for _ in range(3)]
    m["peak_before"] = min(p[0] for p in before)
    m["peak_after"] = min(p[0] for p in after)
    m["private_before"] = min(p[1] for p in before)
    m["private_after"] = min(p[1] for p in after)
    xwd = median_ms(["xwd", "-root", "-silent", "-out", os.path.join(work, "root.xwd")], RUNS)
    imp = median_ms(["import", "-window", "root", os.path.join(work, "root.bmp")], RUNS)
    unavoidable = m["blit"] + m["floor_write"]
    rows = [
        ("Snapvik: hot-key message to closed file", m["closed"], m["closed"] / unavoidable, None),
        ("&nbsp;&nbsp;screen copy (sizing and `BitBlt`, into the image kept from the capture before)", m["copy"], None,
         m["copy_faults"]),
        ("&nbsp;&nbsp;&nbsp;&nbsp;then the same copy into a new image (made for each capture, as it was)", m["again"],
         None, m["again_faults"]),
        ("&nbsp;&nbsp;conversion (device-independent copy)", m["convert"], None, None),
        ("&nbsp;&nbsp;write, first pass over the pixels (temporary file, four writes, move)", m["write"], None,
         m["write_faults"]),
        ("&nbsp;&nbsp;&nbsp;&nbsp;of which: creating the temporary file", m["write_open"], None, None),
        ("&nbsp;&nbsp;&nbsp;&nbsp;of which: the four writes", m["write_data"], None, m["data_faults"]),
        ("&nbsp;&nbsp;&nbsp;&nbsp;of which: closing and the move", m["write_move"], None, None),
        ("&nbsp;&nbsp;&nbsp;&nbsp;then the image's pixels written to a plain file in one call", m["from_image"], None,
         m["from_image_faults"]),
        ("&nbsp;&nbsp;then freeing the image (after the file is closed)", m["release"], None, None),
        ("Snapvik: the whole `WM_HOTKEY` handler, sent to the real window", m["message"], m["message"] / unavoidable,
         None),
        ("floor: the screen copied into a new bitmap", m["blit"], None, None),
        ("floor: writing the same %d bytes from memory" % m["bytes"], m["floor_write"], None, m["floor_faults"]),
        ("`xwd -root` of the same screen", xwd, xwd / unavoidable, None),
        ("`import -window root` (ImageMagick, BMP)", imp, imp / unavoidable, None),
    ]
    lines = ["| what | median ms | ratio to the floors | minor page faults |", "| --- | ---: | ---: | ---: |"]
    for name, ms, ratio, faults in rows:
        lines.append("| %s | %.1f | %s | %s |" % (name, ms, "%.2f" % ratio if ratio else "",
                                                 "%d" % faults if faults is not None and faults >= 0 else ""))
    lines.append("")
    lines.append("%d runs each of %s on a %dx%d screen (Xvfb, 24-bit, Wine's 32-bit pixels), %s. "
                 "Capture / floors = %.2f (goal: at most 1.00); capture / `xwd -root` = %.2f (goal: below 1)."
                 % (RUNS, program, m["width"], m["height"], time.strftime("%Y-%m-%d"), m["closed"] / unavoidable,
                    m["closed"] / xwd))
    store = m["width"] * m["height"] * 4
    lines.append("")
    lines.append("The machine: %s. Peak resident memory of the process (as the kernel counts it): %.1f MB "
                 "before the first capture, %.1f MB after it: the capture added %.1f MB, %.2f full-screen stores "
                 "of %.1f MB (goal: two, the image and one transfer buffer of the platform's, which a copy in one request "
                 "needs). Peak private bytes as Wine reports them: "
                 "%.1f MB before, %.1f MB after (%+.1f MB)."
                 % (machine, m["peak_before"] / 1e6, m["peak_after"] / 1e6,
                    (m["peak_after"] - m["peak_before"]) / 1e6, (m["peak_after"] - m["peak_before"]) / store,
                    store / 1e6, m["private_before"] / 1e6, m["private_after"] / 1e6,
                    (m["private_after"] - m["private_before"]) / 1e6))
    report("capture-table", "\n".join(lines), update_readme)


if __name__ == "__main__":
    args, update = arguments()
    main(*args, update_readme=update)
