"""Where Snapvik's time goes from the key to the file. A copy of the program is started under strace
(every process and thread apart, strace -ff), which stops it only at the few calls asked for
(--seccomp-bpf): the key grabber's poll and its report sent, the program's receives and its writes of
several pieces, which is how it talks to the X server (Wine's requests to its own server go as plain
writes, and are left out). The file's steps are seen through inotify, at no cost to the program:

    the X server      the press sent through XTEST until the grabber's poll returns
    the grabber       its poll returned until its report is sent on the link
    link and Wine     the report sent until the program's receive of it returns
    the program       the report received until its request for the screen's bytes (X's GetImage)
    the X server's answer   the request until the last of the screen's bytes is read
    Wine              the last byte read until the file's first write (the bytes into the image, the
                      file made)
    the write         the first write until the file is closed
    the move          the close until the file is under its final name

The traced calls cost a little, and the traced presses come at another time of the run than the untraced
ones, on a machine whose load moves; medians of the parts need not add up to the median of the whole.
The table shows both."""
import os
import re
import shutil
import statistics
import subprocess
import time

from drive import SnapvikCopy, win_path, x_windows
from key_timing import IN_CLOSE_WRITE, IN_MODIFY, IN_MOVED_TO, Arrivals

LINE = re.compile(r"^(\d+\.\d+) (\w+)\((.*)\) += (-?\d+)(?: [^<]*)? <(\d+\.\d+)>$")
READS = ("recv", "recvfrom", "recvmsg")  # a socket's: the X connection's and the link's
CALLS = ["poll", "sendto", "send", "writev", "sendmsg"] + list(READS)

PARTS = [
    ("the X server: the press through XTEST until the key grabber is woken", "x"),
    ("the key grabber: woken until its report is sent on the link", "grabber"),
    ("the link and Wine: the report sent until the program's receive of it returns", "link"),
    ("the program: the report received until its request for the screen's bytes (the message posted to "
     "the window, `WM_HOTKEY`, the image sized)", "program"),
    ("the X server's answer: the request until the screen's last byte is read (the copy's moment is in "
     "here)", "answer"),
    ("Wine: the last byte read until the file's first write (the bytes into the image, the file created)",
     "wine"),
    ("the write: the file's first write until it is closed", "write"),
    ("the move: the file closed until it is under its final name", "move"),
]


class TracedCopy(SnapvikCopy):
    """A copy of the program started under strace; `traced_calls` reads its calls once it has ended."""

    def __init__(self, probe, folder, calls):
        super().__init__(probe)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        self.trace_folder = folder
        self.calls = calls

    def start(self, *args, env=None):
        full_env = dict(os.environ)
        full_env.update(env or {})
        command = ["strace", "-f", "-ff", "--seccomp-bpf", "-ttt", "-T", "-s", "16", "-e",
                   "trace=" + ",".join(self.calls), "-o", os.path.join(self.trace_folder, "calls"),
                   "wine", self.exe, *args]
        self.proc = subprocess.Popen(command, cwd=self.folder, env=full_env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        return self

    def x_window(self, title="Snapvik"):
        """As for a copy started plainly, but the program is strace's child, not the process started."""
        with open("/proc/%d/task/%d/children" % (self.proc.pid, self.proc.pid)) as f:
            program = int(f.read().split()[0])
        ids = x_windows("--all", "--onlyvisible", "--pid", program, "--name", "^%s$" % title)
        if not ids:
            raise AssertionError("no X window for " + title)
        return ids[0]

    def traced_calls(self):
        """Per process or thread, its calls: (start, name, arguments, result, end); the file's name
        says whose (calls.PID)."""
        threads = {}
        for name in sorted(os.listdir(self.trace_folder)):
            calls = []
            with open(os.path.join(self.trace_folder, name), errors="replace") as f:
                for line in f:
                    m = LINE.match(line.strip())
                    if m:
                        start = float(m.group(1))
                        calls.append((start, m.group(2), m.group(3), int(m.group(4)), start + float(m.group(5))))
            threads[int(name.rsplit(".", 1)[1])] = calls
        return threads


def first(calls, test):
    return next((c for c in calls if test(c)), None)


def press_parts(pressed, files, grabber, program, screen_bytes):
    """One press's parts in ms (a dict by PARTS' keys), or None where a step was not found. `files`:
    the times of the file's first write, its close and its move, on the calls' clock."""
    woken = first(grabber, lambda c: c[1] == "poll" and c[4] >= pressed)
    sent = woken and first(grabber, lambda c: c[1] in ("sendto", "send", "write") and '"press ' in c[2]
                           and c[0] >= woken[4])
    if not sent:
        return None
    for calls in program:
        got = first(calls, lambda c: c[1] in READS and '"press ' in c[2] and c[4] >= sent[0])
        if got:
            break
    else:
        return None
    # X's GetImage (request 73, "I") and its answer, read in pieces on the same connection.
    for calls in program:
        request = first(calls, lambda c: c[1] in ("writev", "sendmsg") and c[0] >= got[4]
                        and re.match(r'^\d+, \[\{iov_base="I\\', c[2]))
        if not request:
            continue
        fd = request[2].split(",", 1)[0]
        total, end = 0, None
        for c in calls[calls.index(request) + 1:]:
            if c[1] in READS and c[2].split(",", 1)[0] == fd and c[3] > 0:
                total += c[3]
                if total >= screen_bytes + 32:
                    end = c
                    break
        if not end:
            return None
        written, closed, moved = files
        marks = {"x": (pressed, woken[4]), "grabber": (woken[4], sent[0]), "link": (sent[0], got[4]),
                 "program": (got[4], request[0]), "answer": (request[0], end[4]),
                 "wine": (end[4], written), "write": (written, closed), "move": (closed, moved)}
        return {k: 1000 * (b - a) for k, (a, b) in marks.items()}
    return None


def file_steps(events, offset):
    """The temporary file's first write and its close, and the move to the final name, from one press's
    inotify events, on the calls' clock; None when one is missing."""
    written = next((t for t, n, m in events if n.startswith("~") and m & IN_MODIFY), None)
    closed = next((t for t, n, m in events if n.startswith("~") and m & IN_CLOSE_WRITE), None)
    moved = next((t for t, n, m in events if n.startswith("Screen") and m & IN_MOVED_TO), None)
    if None in (written, closed, moved):
        return None
    return written + offset, closed + offset, moved + offset


def trace(bench, runs, screen_bytes):
    """Snapvik's presses with a native program in front, in a copy of the program started under strace:
    the parts' medians in ms, the traced presses' own median from key to file, and how many presses
    were read. The copy takes the place of the untraced one for these presses; a new untraced copy
    is started after them."""
    # The combination is grabbed by one program at a time: the untraced copy goes, and comes back after.
    bench.copy.remove()
    bench.copy = None
    copy = TracedCopy(bench.probe, os.path.join(bench.work, "trace"), CALLS).start()
    steps = Arrivals(bench.shots, IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO)
    offset = time.time() - time.monotonic()
    presses = []
    try:
        form = copy.main_window()
        copy.arm(form, win_path(bench.shots), "S", ctrl=True, alt=True)
        bench.copy = copy
        for i in range(2 + runs):  # the first two warm it, as in the rounds
            steps.drain()
            ms, pressed, _mark = bench.one_press("snapvik-native")
            events = []
            while not steps.events.empty():
                events.append(steps.events.get_nowait())
            if i >= 2:
                presses.append((pressed + offset, ms, file_steps(events, offset)))
    finally:
        steps.close()
        copy.remove()
        bench.start_snapvik()
    threads = copy.traced_calls()
    # The grabber: the process that sends the reports.
    grabber = next((calls for calls in threads.values()
                    if any(c[1] in ("sendto", "send") and '"press ' in c[2] for c in calls)), [])
    found = []
    for pressed, _ms, files in presses:
        parts = files and press_parts(pressed, files, grabber, list(threads.values()), screen_bytes)
        if parts:
            found.append(parts)
    medians = {k: statistics.median(p[k] for p in found) if found else float("nan") for _t, k in PARTS}
    whole = statistics.median(ms for _p, ms, _f in presses)
    return medians, whole, len(found)
