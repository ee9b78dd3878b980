#!/usr/bin/env python3
"""A short headless session with the real program: start, set it up as a user would, close."""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from harness import Probe, SnapvikCopy, win_path, wait_for  # noqa: E402


def main(out):
    folder = os.path.join(out, "Snapvik")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    probe = Probe()
    copy = SnapvikCopy(probe, folder=folder)
    try:
        copy.start()
        form = copy.main_window()
        ctl = copy.controls(form)
        print("Started %s under Wine on Xvfb %s." % (win_path(copy.exe), os.environ["DISPLAY"]))
        print("  window \"%s\", client area %d x %d" % (form["text"], *form["client"][2:]))
        print("  directory field: %s" % ctl["Edit1"]["text"])
        print("  key field: %s, Shift/Alt/Ctrl: %s" % (
            ctl["Edit2"]["text"], "/".join(str(ctl[n]["checked"]) for n in ("cbShift", "cbAlt", "cbCtrl"))))

        shots = win_path(os.path.join(out, "shots"))
        probe.ask("settext", ctl["Edit1"]["hwnd"], shots)
        probe.ask("click", ctl["cbCtrl"]["hwnd"])
        probe.ask("click", ctl["cbAlt"]["hwnd"])
        wait_for(lambda: probe.ask("describe", ctl["cbAlt"]["hwnd"])["checked"], what="Alt checked")
        png = os.path.join(out, "snapvik-window.png")
        subprocess.run(["import", "-window", copy.x_window(), png], check=True)
        print("Entered the folder %s, checked Ctrl and Alt; the window is saved as %s." % (shots, png))

        copy.close(form)
        copy.wait_exit()
        with open(copy.settings, "rb") as f:
            data = f.read()
        print("Closed the window; %s now holds %d bytes:" % (copy.settings, len(data)))
        for line in data.split(b"\r\n")[:-1]:
            print("  " + line.decode("cp1252", "replace"))
    finally:
        copy.stop()
        probe.close()


if __name__ == "__main__":
    main(sys.argv[1])
