#!/usr/bin/env python3
"""Key press to finished file, and key press to the moment of the screen that the file holds: the real
Snapvik.exe with its key grabber, and the tools a Linux user binds to a key through xbindkeys, on the
same screen in the same run, press after press in turn. Prints the table (into bench/README.md with
--update-readme).

    keys_report.py SHOTS WORK PROGRAM MACHINE [--update-readme]

Each press goes through XTEST from the benchmark's own X connection; a file is finished when its
final name is closed after writing or moved in. A native full-screen program (frames.py) is in
front, or Snapvik's own window is. In the second pass that program paints frame after frame, each
with a mark that codes its number, and keeps each frame's time: the frame a file holds says when
its copy saw the screen."""
import array
import os
import statistics
import struct
import subprocess
import sys
import time

from drive import Probe, SnapvikCopy, win_path
from key_timing import Arrivals, Keyboard, children_running, wait_until
from readme_table import arguments, report
from shot_pixels import top_rows, whole
import frames
import key_trace

RUNS = int(os.environ.get("BENCH_RUNS", "20"))
WARM = 2  # presses of each before the timed ones: the programs and their files in the page cache
SNAPVIK_KEYS = "ctrl+alt+s"
SCREEN_BYTES = 1920 * 1080 * 4  # the screen's bytes as the X server sends them, and as the file holds them

# name, what the table calls it, the command bound, its file, its combination.
PEERS = [
    ("xwd", "`xwd -root`", "xwd -root -silent -out {dir}/xwd.xwd", "xwd.xwd", "ctrl+alt+x"),
    ("scrot-bmp", "`scrot`, BMP", "scrot -o {dir}/scrot.bmp", "scrot.bmp", "ctrl+alt+b"),
    ("scrot-png", "`scrot`, PNG (its default)", "scrot -o {dir}/scrot.png", "scrot.png", "ctrl+alt+p"),
    ("maim", "`maim`, PNG (its default)", "maim {dir}/maim.png", "maim.png", "ctrl+alt+m"),
    # Without -screen, import leaves out the windows above the root on a server with no window manager.
    ("import", "ImageMagick `import -screen -window root`, BMP", "import -screen -window root {dir}/import.bmp",
     "import.bmp", "ctrl+alt+i"),
]
SNAPVIK = [("snapvik-native", "Snapvik, a native program in front"),
           ("snapvik-own", "Snapvik, its own window in front")]


def xbindkeys_config(path, folder):
    with open(path, "w") as f:
        for _name, _title, command, _file, keys in PEERS:
            *mods, key = keys.split("+")
            binding = "+".join({"ctrl": "control", "alt": "alt", "shift": "shift"}[m] for m in mods) + " + " + key
            f.write('"%s"\n  %s\n' % (command.format(dir=folder), binding))


def describe(path):
    """The file's kind, depth and size, as the table shows it."""
    with open(path, "rb") as f:
        head = f.read(64)
    size = "%.1f MB" % (os.path.getsize(path) / 1e6)
    if head[:2] == b"BM":
        return "BMP, %d bpp, %s" % (struct.unpack_from("<H", head, 28)[0], size)
    if head[:4] == b"\x89PNG":
        return "PNG, %s" % size
    return "XWD, %d bpp, %s" % (struct.unpack_from(">I", head, 44)[0], size)


class Bench:
    def __init__(self, shots, work):
        self.shots, self.work = shots, work
        self.keyboard = Keyboard()
        self.arrivals = Arrivals(shots)
        self.probe = Probe()
        self.copy = None
        self.binder = None
        self.front = None
        self.files = {}

    def start_snapvik(self):
        self.copy = SnapvikCopy(self.probe).start()
        form = self.copy.main_window()
        self.copy.arm(form, win_path(self.shots), "S", ctrl=True, alt=True)
        self.snapvik_window = int(self.copy.x_window(), 0)

    def start_binder(self):
        config = os.path.join(self.work, "xbindkeysrc")
        xbindkeys_config(config, self.shots)
        self.binder = subprocess.Popen(["xbindkeys", "-n", "-f", config], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)

    def start_front(self, still):
        """The native program in front: frames.py, still or painting."""
        self.times_file = os.path.join(self.work, "frame-times.bin")
        args = [sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "frames.py"),
                self.times_file] + (["--still"] if still else [])
        self.front = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.front_window = int(self.front.stdout.readline(), 0)

    def stop_front(self):
        """The frames' times, frame 0 first."""
        self.front.stdin.close()
        self.front.wait(timeout=60)
        self.front.stdout.close()
        times = array.array("d")
        with open(self.times_file, "rb") as f:
            times.frombytes(f.read())
        self.front = None
        return times

    def one_press(self, name):
        """One press of the tool's combination: (key press to file in ms, the file's mark or None)."""
        own = name == "snapvik-own"
        self.keyboard.bring_forward(self.snapvik_window if own else self.front_window)
        if name.startswith("snapvik"):
            keys, wanted = SNAPVIK_KEYS, (lambda n: n.startswith("Screen") and n.endswith(".jpg"))
        else:
            _n, _t, _c, file, keys = next(p for p in PEERS if p[0] == name)
            wanted = file.__eq__  # noqa: E731
        self.arrivals.drain()
        pressed = self.keyboard.press(keys)
        first, file = self.arrivals.wait(wanted)
        path = os.path.join(self.shots, file)
        # Done: the file as long as its header says, and the binder's command ended. Then a pause, with
        # everything idle before the next press; a close of the file during it is the finish.
        wait_until(lambda: whole(path) and not children_running(self.binder.pid))
        time.sleep(0.15)
        arrived = self.arrivals.last(file, first)
        self.files.setdefault(name, describe(path))
        width, pixel = top_rows(path, frames.BLOCK)
        mark = frames.mark_number(pixel)
        os.remove(path)
        return 1000 * (arrived - pressed), pressed, mark

    def rounds(self, names, runs):
        """Every tool pressed once a round, in turn, so that what the machine does meanwhile weighs on each alike."""
        results = {n: [] for n in names}
        for i in range(WARM + runs):
            for name in names:
                ms, pressed, mark = self.one_press(name)
                if i >= WARM:
                    results[name].append((ms, pressed, mark))
        return results

    def close(self):
        if self.front:
            self.stop_front()
        if self.binder:
            self.binder.terminate()
            self.binder.wait()
        if self.copy:
            self.copy.remove()
        self.probe.close()
        self.keyboard.close()


def moments(results, times):
    """Per tool: key press to the moment of the frame each file holds, in ms (files with no whole mark left out)."""
    out = {}
    for name, presses in results.items():
        out[name] = [1000 * (times[mark] - pressed) for _ms, pressed, mark in presses
                     if mark is not None and mark < len(times)]
    return out


def main(shots, work, program, machine, update_readme):
    os.makedirs(work, exist_ok=True)
    names = [n for n, _ in SNAPVIK] + [p[0] for p in PEERS]
    titles = dict(SNAPVIK + [(p[0], p[1]) for p in PEERS])
    load_before = os.getloadavg()
    bench = Bench(shots, work)
    try:
        bench.start_snapvik()
        bench.start_binder()
        bench.start_front(still=True)
        still = bench.rounds(names, RUNS)
        traced = key_trace.trace(bench, RUNS, SCREEN_BYTES)
        bench.stop_front()
        bench.start_front(still=False)
        changing = bench.rounds(names, RUNS)
        times = bench.stop_front()
    finally:
        bench.close()
    load_after = os.getloadavg()
    moment = moments(changing, times)

    def median(values):
        return statistics.median(values) if values else float("nan")

    to_file = {n: median([r[0] for r in still[n]]) for n in names}
    to_moment = {n: median(moment[n]) for n in names}
    to_file_changing = {n: median([r[0] for r in changing[n]]) for n in names}
    lines = ["| tool | file | key press to file, median ms | key press to the moment the file shows, median ms "
             "| key press to file while the screen changes, median ms |", "| --- | --- | ---: | ---: | ---: |"]
    for n in names:
        read = len(moment[n])
        lines.append("| %s | %s | %.1f | %.1f%s | %.1f |" % (
            titles[n], bench.files.get(n, ""), to_file[n], to_moment[n],
            "" if read == RUNS else " (%d of %d marks read)" % (read, RUNS), to_file_changing[n]))
    peers = [p[0] for p in PEERS]
    fastest_file = min(peers, key=lambda n: to_file[n])
    fastest_moment = min(peers, key=lambda n: to_moment[n])
    lines.append("")
    lines.append("key press to file / fastest peer = %.2f (Snapvik with a native program in front, %.1f ms, "
                 "against %s, %.1f ms; goal: at most 0.80)"
                 % (to_file["snapvik-native"] / to_file[fastest_file], to_file["snapvik-native"],
                    titles[fastest_file], to_file[fastest_file]))
    lines.append("")
    lines.append("key press to the moment / fastest peer = %.2f (Snapvik with a native program in front, %.1f ms, "
                 "against %s, %.1f ms; goal: at most 0.50)"
                 % (to_moment["snapvik-native"] / to_moment[fastest_moment], to_moment["snapvik-native"],
                    titles[fastest_moment], to_moment[fastest_moment]))
    lines.append("")
    span = times[-1] - times[0] if len(times) > 1 else 0
    lines.append("%d presses of each (after %d not timed), in turn, of %s with its key grabber, %s; "
                 "a 1920x1080x24 Xvfb screen with a busy picture; %s. The painting program showed %d frames in "
                 "%.0f s (%.0f a second). Load average (1, 5, 15 min) %.1f, %.1f, %.1f before, %.1f, %.1f, %.1f "
                 "after; %d cores."
                 % (RUNS, WARM, program, time.strftime("%Y-%m-%d"), machine, len(times), span,
                    len(times) / span if span else 0, *load_before, *load_after, os.cpu_count()))
    report("keys-table", "\n".join(lines), update_readme)
    report("keys-parts", parts(to_file["snapvik-native"], to_moment["snapvik-native"], traced), update_readme)


def parts(to_file, to_moment, traced):
    """Where Snapvik's time goes from the key to the file, a native program in front."""
    medians, whole, read = traced
    lines = ["| from the key to the file (%d presses traced, %d read) | median ms |" % (RUNS, read),
             "| --- | ---: |"]
    lines += ["| %s | %.1f |" % (title, medians[key]) for title, key in key_trace.PARTS]
    lines.append("| the parts' medians added up | %.1f |" % sum(medians.values()))
    lines.append("| key press to file, the same presses traced | %.1f |" % whole)
    lines.append("| key press to file, untraced (the table above) | %.1f |" % to_file)
    lines.append("| key press to the moment, untraced (the table above) | %.1f |" % to_moment)
    return "\n".join(lines)


if __name__ == "__main__":
    args, update = arguments()
    main(*args, update_readme=update)
