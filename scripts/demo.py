#!/usr/bin/env python3
"""A short headless session with the real program: set it up as a user would, arm the
hot key, press it three times (with its own window, a Wine program and a native X program
in front), close."""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from drive import KEYGRAB, Probe, SnapvikCopy, paint_screen, read_bmp, wait_for, win_path, x_windows, xdotool  # noqa: E402


def main(out):
    folder = os.path.join(out, "Snapvik")
    shots = os.path.join(out, "shots")
    for path in (folder, shots):
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
    paint_screen(1920, 1080, os.path.join(out, "pattern.png"))
    probe = Probe()
    copy = SnapvikCopy(probe, folder=folder)
    try:
        copy.start()
        form = copy.main_window()
        ctl = copy.controls(form)
        print("Started %s under Wine on Xvfb %s." % (win_path(copy.exe), os.environ["DISPLAY"]))
        print("  window \"%s\", client area %d x %d; directory field: %s" % (
            form["text"], *form["client"][2:], ctl["Edit1"]["text"]))

        copy.arm(form, win_path(shots), "S", ctrl=True, alt=True)
        png = os.path.join(out, "snapvik-window.png")
        subprocess.run(["import", "-window", copy.x_window(), png], check=True)
        print("Typed the folder %s and the key S, checked Ctrl and Alt, pressed \"Симулировать\"." % win_path(shots))
        print("  the window is saved as %s" % png)

        copy.type_keys("ctrl+alt+s")
        wait_for(lambda: os.path.exists(os.path.join(shots, "Screen0.jpg")), what="the first screenshot")
        # A Wine program, then a native X program, with the keyboard.
        fronts = [("Notepad", ["wine", "notepad"], "Notepad"),
                  ("xev", ["xev", "-name", "snapvik-demo-xev"], "^snapvik-demo-xev$")]
        for number, (name, command, title) in enumerate(fronts, 1):
            program = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                wid = wait_for(lambda: x_windows("--onlyvisible", "--name", title), what=name)[0]
                xdotool("windowfocus", "--sync", wid)
                xdotool("key", "ctrl+alt+s")
                wait_for(lambda: os.path.exists(os.path.join(shots, "Screen%d.jpg" % number)),
                         what="the screenshot with %s in front" % name)
            finally:
                program.terminate()
                program.wait()
        grabbed = "through snapvik-keygrab, the key grabber beside it" if KEYGRAB else "without a key grabber"
        print("Pressed Ctrl+Alt+S three times (%s): with Snapvik's window, with Notepad (a Wine program)"
              " and with xev (a native X program) in front:" % grabbed)
        for name in sorted(os.listdir(shots)):
            bmp = read_bmp(os.path.join(shots, name))
            print("  %s: %s, %d x %d at %d bits per pixel, %d bytes" % (
                os.path.join(shots, name), bmp["magic"].decode(), bmp["width"], bmp["height"], bmp["bits"],
                bmp["length"]))

        copy.close(form)
        copy.wait_exit()
        with open(copy.settings, "rb") as f:
            data = f.read()
        print("Closed the window; %s now holds:" % copy.settings)
        for line in data.split(b"\r\n")[:-1]:
            print("  " + line.decode("cp1252", "replace"))
    finally:
        copy.stop()
        probe.close()


if __name__ == "__main__":
    main(sys.argv[1])
