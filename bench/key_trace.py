"""Where Snapvik's time goes from the key to the file, read off the system calls of the key grabber and
of the program (every thread of each traced apart, strace -ff), with the press's time and the file's
arrival from the benchmark's own clock:

    the X server      the press sent through XTEST until the grabber's poll returns
    the grabber       its poll returned until its report is sent on the link
    link and Wine     the report sent until the program's receive of it returns
    the program       from the report received to the request for the screen's bytes (the message
                      posted to the window, WM_HOTKEY, the image sized)
    the X server's answer   the request until the last of the screen's bytes is read
    Wine into the image     the last byte read until the file's first write
    the write         the file's first write until its last returns
    close and move    the last write until the file arrives under its final name

Tracing slows every system call a little, so the parts add up to more than a press untraced takes;
the table shows both."""
import os
import re
import signal
import statistics
import subprocess
import time

from drive import keygrab_processes

LINE = re.compile(r"^(\d+\.\d+) (\w+)\((.*)\) += (-?\d+)(?: [^<]*)? <(\d+\.\d+)>$")
READS = ("read", "readv", "recvfrom", "recvmsg")
WRITES = ("write", "writev", "sendmsg", "sendto", "pwrite64")
BIG = 65536  # the screen's bytes come, and the file goes, in pieces larger than this; nothing else does

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
    ("the write: the file's first write until its last returns", "write"),
    ("the close and the move: the last write until the file arrives under its name", "move"),
]


def processes(mark):
    """The process ids whose first command-line word is `mark`."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if f.read().split(b"\0")[0] == mark:
                    found.append(int(pid))
        except OSError:
            pass
    return found


class Tracer:
    """strace on every thread of one process, each thread's calls in a file of its own."""

    def __init__(self, pid, log, calls):
        self.log = log
        tasks = sorted(int(t) for t in os.listdir("/proc/%d/task" % pid))
        args = ["strace", "-ff", "-ttt", "-T", "-s", "16", "-e", "trace=" + ",".join(calls), "-o", log]
        for task in tasks:
            args += ["-p", str(task)]
        self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        for _ in tasks:
            self.proc.stderr.readline()  # "attached"

    def stop(self):
        """Per thread, its calls: (start, name, arguments, result, end)."""
        self.proc.send_signal(signal.SIGINT)
        self.proc.wait()
        self.proc.stderr.close()
        folder, stem = os.path.split(self.log)
        threads = []
        for name in sorted(os.listdir(folder)):
            if not name.startswith(stem + "."):
                continue
            calls = []
            with open(os.path.join(folder, name), errors="replace") as f:
                for line in f:
                    m = LINE.match(line.strip())
                    if m:
                        start = float(m.group(1))
                        calls.append((start, m.group(2), m.group(3), int(m.group(4)), start + float(m.group(5))))
            os.remove(os.path.join(folder, name))
            threads.append(calls)
        return threads


def first(calls, test):
    return next((c for c in calls if test(c)), None)


def press_parts(pressed, arrived, grabber, program, screen_bytes):
    """One press's parts in ms (a dict by PARTS' keys), or None where a call was not found."""
    woken = first(grabber, lambda c: c[1] == "poll" and c[4] >= pressed)
    sent = woken and first(grabber, lambda c: c[1] in ("sendto", "write", "send") and c[0] >= woken[4])
    if not sent:
        return None
    for calls in program:
        got = first(calls, lambda c: c[1] in READS and '"press ' in c[2] and c[4] >= sent[0])
        if got:
            break
    else:
        return None
    # The screen's bytes: the first big read after the report, on whichever thread the window has.
    for calls in program:
        start = first(calls, lambda c: c[1] in READS and c[3] >= BIG and c[0] >= got[4])
        if not start:
            continue
        at = calls.index(start)
        request = next((c for c in reversed(calls[:at]) if c[1] in WRITES), None)
        total, end = 0, None
        for c in calls[at:]:
            if c[1] in READS and c[3] > 0:
                total += c[3]
                if total >= screen_bytes:
                    end = c
                    break
        if not request or not end:
            return None
        writes = [c for c in calls[calls.index(end) + 1:] if c[1] in ("write", "pwrite64") and c[3] >= BIG]
        written, last = 0, None
        for c in writes:
            written += c[3]
            last = c
            if written >= screen_bytes:
                break
        if not writes or written < screen_bytes:
            return None
        marks = {"x": (pressed, woken[4]), "grabber": (woken[4], sent[0]), "link": (sent[0], got[4]),
                 "program": (got[4], request[0]), "answer": (request[0], end[4]),
                 "wine": (end[4], writes[0][0]), "write": (writes[0][0], last[4]), "move": (last[4], arrived)}
        return {k: 1000 * (b - a) for k, (a, b) in marks.items()}
    return None


def trace(bench, runs, screen_bytes):
    """Snapvik's presses with a native program in front, its grabber and the program traced: the parts'
    medians in ms, the traced presses' own median from key to file, and how many presses were read."""
    work = bench.work
    grabber_pid = keygrab_processes(bench.copy.folder)[0]
    program_pid = processes(bench.copy.exe.encode())[0]  # Wine gives its process the program's own path
    grabber = Tracer(grabber_pid, os.path.join(work, "grabber.strace"), ["poll", "sendto", "write"])
    program = Tracer(program_pid, os.path.join(work, "program.strace"), list(READS) + list(WRITES))
    offset = time.time() - time.monotonic()
    presses = []
    try:
        for _ in range(runs):
            ms, pressed, _mark = bench.one_press("snapvik-native")
            presses.append((pressed + offset, pressed + offset + ms / 1000))
    finally:
        grabber_calls = [c for thread in grabber.stop() for c in thread]
        grabber_calls.sort()
        program_threads = program.stop()
    found = [p for p in (press_parts(a, b, grabber_calls, program_threads, screen_bytes) for a, b in presses) if p]
    medians = {k: statistics.median(p[k] for p in found) if found else float("nan") for _t, k in PARTS}
    whole = statistics.median(1000 * (b - a) for a, b in presses)
    return medians, whole, len(found)
