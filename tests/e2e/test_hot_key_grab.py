"""The hot key under Wine with any program in front: the native key grabber beside the program
takes the combination on the X display. Keys are typed through the real keyboard path (xdotool key,
never to a window). A press the grabber takes reaches the program by its own way, in no order with
the window's other input, so each absence is proven by a hot-key message posted after the press:
once its file is written, every message before it has been served."""
import functools
import json
import os
import signal
import subprocess
import time
import unittest

from drive import (KEYGRAB_NAME, XKeyHolder, XKeyWitness, keygrab_processes, wait_for, win_path, x_windows,
                   xdotool)
from e2e_case import ShotsCase, shots_in

WM_HOTKEY = 0x0312
OTHER_USER = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "/usr/bin/python3"]
ONLY_IN_WINE = "The hot key works only while a Wine window has the keyboard: "
HERE = os.path.dirname(os.path.abspath(__file__))


@functools.cache
def _cannot_switch_user():
    try:
        tried = subprocess.run(OTHER_USER + ["-c", "import os; print(os.getuid())"], capture_output=True, text=True,
                               timeout=60)
    except (OSError, subprocess.TimeoutExpired) as e:
        return str(e)
    if tried.returncode != 0 or tried.stdout.strip() != "65534":
        return "setpriv to nobody failed: " + (tried.stderr.strip() or tried.stdout.strip())
    return ""


def needs_another_user(test):
    return unittest.skipIf(_cannot_switch_user(), "needs root that can run a process as nobody (it plays another "
                           "local user): %s" % _cannot_switch_user())(test)


def ended(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] in "ZX"
    except OSError:
        return True


class HotKeyGrab(ShotsCase):
    def setUp(self):
        super().setUp()
        self.natives = []

    def tearDown(self):
        for xev in self.natives:
            if xev.poll() is None:
                xev.terminate()
                xev.communicate()
        super().tearDown()

    def native_in_front(self):
        """xev, a native X program, given the keyboard; keys_seen() tells what reached it."""
        name = "native-%d-%d" % (os.getpid(), len(self.natives))
        xev = subprocess.Popen(["xev", "-name", name, "-event", "keyboard"], stdout=subprocess.PIPE, text=True)
        self.natives.append(xev)
        wid = wait_for(lambda: x_windows("--onlyvisible", "--name", "^%s$" % name), what="xev's window")[0]
        xdotool("windowfocus", "--sync", wid)
        return xev

    def keys_seen(self, xev):
        """The key symbols that xev got presses of, once it is stopped."""
        xev.terminate()
        out = xev.communicate()[0]
        return [e.split("keysym ")[1].split(")")[0].split(", ")[1] for e in out.split("\n\n")
                if e.startswith("KeyPress") and "keysym " in e]

    def press_native(self, keys, count_before):
        xdotool("key", keys)
        return wait_for(lambda: len(shots_in(self.shots)) > count_before and shots_in(self.shots),
                        what="a screenshot for " + keys)

    def settle(self, form, count_before):
        """Every hot-key message sent so far is served: one posted now has written its file (one more)."""
        self.assertEqual(self.probe.ask("post", form["hwnd"], WM_HOTKEY, 0, 1), 1)
        wait_for(lambda: len(shots_in(self.shots)) > count_before, what="the file of the posted hot-key message")

    def arm_timed(self, c, form, key, ctrl=False, alt=False):
        """Arms as c.arm does; returns the controls and the seconds from the click on the arm button until
        the window took the next click."""
        ctl = c.controls(form)
        self.probe.ask("settext", ctl["Edit1"]["hwnd"], win_path(self.shots))
        self.probe.ask("settext", ctl["Edit2"]["hwnd"], key)
        for name, wanted in (("cbCtrl", ctrl), ("cbAlt", alt)):
            if bool(self.probe.ask("describe", ctl[name]["hwnd"])["checked"]) != wanted:
                c.click(ctl[name])
        return ctl, self.rearm_timed(c, ctl)

    def rearm_timed(self, c, ctl):
        started = time.monotonic()
        c.click(ctl["Button2"])
        self.wait_until_handled(c, ctl["cbShift"])
        taken = time.monotonic() - started
        self.wait_until_handled(c, ctl["cbShift"])  # Shift as it was
        return taken

    def wait_grabbed(self, keys, modifiers, timeout=20.0):
        """Until another X client can no longer grab the combination."""
        def taken():
            holder = XKeyHolder(keys, modifiers)
            try:
                return not holder.grab()
            finally:
                holder.close()
        wait_for(taken, timeout=timeout, interval=0.05, what="the combination grabbed")

    def start_slowly(self, c):
        """The grabber beside the copy starts a fifth of a second late, as Wine starts a native program on a busy
        machine: another process has time to come first."""
        grabber = os.path.join(c.folder, KEYGRAB_NAME)
        os.rename(grabber, grabber + ".real")
        with open(grabber, "w") as f:
            f.write("#!/usr/bin/python3\nimport os, sys, time\ntime.sleep(0.2)\n"
                    "me = os.path.realpath(__file__)\n"
                    "os.execv(me + '.real', ['Z:' + me.replace('/', '\\\\')] + sys.argv[1:])\n")
        os.chmod(grabber, 0o755)

    def stand_in(self, c, mode):
        """The first grabber the copy starts is key_grab_stand_in.py in `mode`, the next ones the real one.
        Returns its cue (opened and closed: it misbehaves) and where it reports."""
        grabber = os.path.join(c.folder, KEYGRAB_NAME)
        os.rename(grabber, grabber + ".real")
        cue, report = os.path.join(c.folder, "cue"), os.path.join(c.folder, "report")
        os.mkfifo(cue)
        # A shell script, so that the real grabber starts in its place as quickly as it starts itself.
        with open(grabber, "w") as f:
            f.write('#!/bin/bash\nme=$(realpath "$0")\n'
                    'if [ -e "$me.used" ]; then exec -a "Z:${me//\\//\\\\}" "$me.real" "$@"; fi\n'
                    ': > "$me.used"\nexec /usr/bin/python3 %s %s %s %s "$@"\n'
                    % (os.path.join(HERE, "key_grab_stand_in.py"), mode, report, cue))
        os.chmod(grabber, 0o755)
        return cue, report

    def memory_peak(self, c):
        """The most memory the program's process has held so far, in bytes."""
        with open("/proc/%d/status" % c.proc.pid) as f:
            return int([l for l in f if l.startswith("VmHWM:")][0].split()[1]) * 1024

    def armed_with_a_misbehaving_grabber(self, mode):
        """Armed with the stand-in, which then misbehaves while the probe watches the window. Returns the copy,
        its window, its controls, how long a capture held the window (three files written), the memory peak until
        then, and the stand-in's report file."""
        c = self.copy()
        cue, report = self.stand_in(c, mode)
        c.start()
        form = c.main_window()
        ctl, _ = self.arm_timed(c, form, "S", ctrl=True, alt=True)
        self.assertEqual(c.visible("#32770"), [])
        # A capture's time varies, the more so on a busy machine: the longest of three.
        self.probe.ask("watch", form["hwnd"])
        for i in range(3):
            self.settle(form, i)
        capture = self.probe.ask("watched")["longest"]
        peak = self.memory_peak(c)
        self.probe.ask("watch", form["hwnd"])
        with open(cue, "w"):
            pass
        return c, form, ctl, capture, peak, report

    def assert_held_no_longer_than(self, capture):
        held = self.probe.ask("watched")
        self.assertGreater(held["rounds"], 0)
        self.assertLessEqual(held["longest"], capture * 1.1 + 50, "the window was held %d ms; a capture held it "
                             "%d ms" % (held["longest"], capture))

    def stand_in_report(self, report):
        wait_for(lambda: os.path.exists(report), timeout=30, what="the stand-in's report")
        with open(report) as f:
            return json.load(f)

    def test_a_garbled_line_ends_the_link_and_the_real_grabber_takes_over(self):
        c, form, _, capture, _, report = self.armed_with_a_misbehaving_grabber("garbled")
        wait_for(lambda: keygrab_processes(c.folder), what="the real key grabber in the stand-in's place")
        self.wait_grabbed("s", XKeyHolder.CTRL | XKeyHolder.ALT)
        self.assertTrue(self.stand_in_report(report)["closed"])
        self.settle(form, 3)
        self.assert_held_no_longer_than(capture)
        self.native_in_front()
        self.press_native("ctrl+alt+s", 4)
        self.settle(form, 5)
        self.assertEqual(shots_in(self.shots), ["Screen%d.jpg" % i for i in range(6)])
        self.assertEqual(c.visible("#32770"), [])

    def test_a_flood_ends_the_link_holding_neither_the_window_nor_memory(self):
        c, form, _, capture, peak, report = self.armed_with_a_misbehaving_grabber("flood")
        done = self.stand_in_report(report)
        self.assertTrue(done["closed"], done)
        self.assertGreaterEqual(done["sent"], 1 << 20)
        self.assertLess(done["sent"], 16 << 20, "the link was ended only after %d bytes" % done["sent"])
        wait_for(lambda: keygrab_processes(c.folder), what="the real key grabber in the stand-in's place")
        self.wait_grabbed("s", XKeyHolder.CTRL | XKeyHolder.ALT)
        flooded = len(shots_in(self.shots))
        self.settle(form, flooded)
        self.assert_held_no_longer_than(capture)
        self.assertLessEqual(flooded, 3 + 16, "presses of the flood captured")
        self.assertLess(self.memory_peak(c) - peak, 16 << 20)
        self.native_in_front()
        self.press_native("ctrl+alt+s", flooded + 1)
        self.settle(form, flooded + 2)
        self.assertEqual(shots_in(self.shots), sorted("Screen%d.jpg" % i for i in range(flooded + 3)))
        self.assertEqual(c.visible("#32770"), [])

    def test_a_silent_grabber_holds_nothing_and_the_next_arming_replaces_it(self):
        c, form, ctl, capture, _, report = self.armed_with_a_misbehaving_grabber("silent")
        self.settle(form, 3)  # served on, half a line waiting
        self.assert_held_no_longer_than(capture)
        self.assertEqual(keygrab_processes(c.folder), [])
        self.assertLess(self.rearm_timed(c, ctl), 2.0)
        self.assertEqual(c.visible("#32770"), [])
        self.assertTrue(self.stand_in_report(report)["closed"])
        self.native_in_front()
        self.press_native("ctrl+alt+s", 4)
        self.settle(form, 5)
        self.assertEqual(shots_in(self.shots), ["Screen%d.jpg" % i for i in range(6)])

    def test_a_key_no_keyboard_gives_is_refused_at_arming(self):
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        self.probe.ask("settext", ctl["Edit1"]["hwnd"], win_path(self.shots))
        # Code 0x40 (unassigned), Execute, the keypad's Separator and F13: Xvfb's keyboard has none of them.
        for key in ("@", "+", "l", "|"):
            self.probe.ask("settext", ctl["Edit2"]["hwnd"], key)
            c.click(ctl["Button2"])
            box = c.message_box()
            self.assertEqual(c.box_text(box),
                             'Cannot register hot key. No key of this keyboard gives "%s"; choose another.' % key)
            c.dismiss(box)
        # A key it has is armed, with no word.
        self.probe.ask("settext", ctl["Edit2"]["hwnd"], "S")
        self.rearm_timed(c, ctl)
        self.assertEqual(c.visible("#32770"), [])
        self.wait_grabbed("s", 0)

    @needs_another_user
    def test_another_local_user_cannot_take_the_grabbers_place(self):
        with open(os.path.join(HERE, "key_grab_intruder.py")) as f:
            source = f.read()
        intruder = subprocess.Popen(OTHER_USER + ["-c", source], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                    text=True)
        try:
            self.assertEqual(intruder.stdout.readline().strip(), "watching")
            c = self.copy()
            self.start_slowly(c)
            c.start()
            form = c.main_window()
            _, taken = self.arm_timed(c, form, "S", ctrl=True, alt=True)
            self.assertLess(taken, 2.0)
            self.assertEqual(c.visible("#32770"), [])
            [helper] = keygrab_processes(c.folder)
            with open("/proc/%d/environ" % helper, "rb") as f:
                token = [v.split(b"=", 1)[1].decode() for v in f.read().split(b"\0")
                         if v.startswith(b"SNAPVIK_KEYGRAB_TOKEN=")]
            self.native_in_front()
            self.press_native("ctrl+alt+s", 0)
            self.settle(form, 1)
        finally:
            intruder.stdin.close()
            report = json.loads(intruder.stdout.readline() or "{}")
            intruder.wait()
            intruder.stdout.close()
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg", "Screen1.jpg"], report)
        self.assertGreater(report["connections"], 0, "the other user got no connection: %s" % report)
        self.assertEqual(len(token), 1, "the grabber's token, in its environment")
        self.assertNotIn(token[0], report["tokens"])
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    self.assertNotIn(token[0].encode(), f.read())
            except OSError:
                pass

    def test_a_grabber_killed_while_armed_is_started_again(self):
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots), "S", ctrl=True, alt=True)
        self.wait_grabbed("s", XKeyHolder.CTRL | XKeyHolder.ALT)
        [first] = keygrab_processes(c.folder)
        os.kill(first, signal.SIGKILL)
        killed = time.monotonic()
        wait_for(lambda: [p for p in keygrab_processes(c.folder) if p != first], what="a new key grabber")
        self.wait_grabbed("s", XKeyHolder.CTRL | XKeyHolder.ALT)
        self.assertLess(time.monotonic() - killed, 2.0)
        self.native_in_front()
        self.press_native("ctrl+alt+s", 0)
        self.settle(form, 1)
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg", "Screen1.jpg"])
        self.assertEqual(c.visible("#32770"), [])

    def test_a_stopped_grabber_is_ended_and_replaced_at_the_next_arming(self):
        c = self.started()
        form = c.main_window()
        ctl, _ = self.arm_timed(c, form, "S", ctrl=True, alt=True)
        [stopped] = keygrab_processes(c.folder)
        os.kill(stopped, signal.SIGSTOP)
        try:
            self.assertLess(self.rearm_timed(c, ctl), 2.0)
            self.assertEqual(c.visible("#32770"), [])  # nothing false said: no other program holds it
            self.assertTrue(ended(stopped))
            self.native_in_front()
            self.press_native("ctrl+alt+s", 0)
            self.settle(form, 1)
        finally:
            if not ended(stopped):
                os.kill(stopped, signal.SIGCONT)
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg", "Screen1.jpg"])

    def test_each_press_writes_one_file_whatever_is_in_front(self):
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots), "S", ctrl=True, alt=True)
        xev = self.native_in_front()
        self.press_native("ctrl+alt+s", 0)
        self.press_native("ctrl+alt+s", 1)
        # A Wine program in front: Wine's own hot key and the grab must not both fire.
        notepad = subprocess.Popen(["wine", "notepad"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wid = wait_for(lambda: x_windows("--onlyvisible", "--name", "Notepad"), what="Notepad")[0]
            xdotool("windowfocus", "--sync", wid)
            self.press_native("ctrl+alt+s", 2)
            self.settle(form, 3)
        finally:
            notepad.terminate()
            notepad.wait()
        self.assertEqual(shots_in(self.shots), ["Screen%d.jpg" % i for i in range(4)])
        self.assertNotIn("s", self.keys_seen(xev))  # the grab took the key from the program in front
        self.assertEqual(c.visible("#32770"), [])

    def test_holding_the_combination_with_a_native_program_in_front_writes_one_file_per_repeat(self):
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots), "A", ctrl=True, alt=True)
        self.wait_grabbed("a", XKeyHolder.CTRL | XKeyHolder.ALT)
        self.native_in_front()
        # The presses the X server really made, the grab's included: a busy server repeats less often than
        # its rate says.
        witness = XKeyWitness()
        try:
            witness.listening()
            subprocess.run(["xset", "r", "rate", "300", "20"], check=True)
            try:
                xdotool("keydown", "ctrl+alt+a")
                time.sleep(3)  # held for the keyboard to repeat
                xdotool("keyup", "a")
                xdotool("keyup", "ctrl+alt")
            finally:
                subprocess.run(["xset", "r", "rate"], check=True)
        finally:
            seen = witness.stop()
        key = XKeyHolder("a", 0)
        key.close()
        presses = seen.count(key.code)
        self.assertGreater(presses, 10, "the key was held and repeated")
        wait_for(lambda: len(shots_in(self.shots)) >= presses, timeout=60,
                 what="%d files for %d presses" % (presses, presses))
        self.settle(form, presses)
        self.assertEqual(shots_in(self.shots), sorted("Screen%d.jpg" % i for i in range(presses + 1)))
        self.assertEqual(c.visible("#32770"), [])

    def test_re_arming_moves_the_combination_at_once(self):
        c = self.started()
        form = c.main_window()
        ctl = c.arm(form, win_path(self.shots), "A", ctrl=True, alt=True)
        self.native_in_front()
        self.press_native("ctrl+alt+a", 0)
        self.probe.ask("settext", ctl["Edit2"]["hwnd"], "B")
        self.probe.ask("click", ctl["Button2"]["hwnd"])
        self.settle(form, 1)  # re-armed: the click was posted before
        xev = self.native_in_front()
        xdotool("key", "ctrl+alt+a")
        self.press_native("ctrl+alt+b", 2)
        self.settle(form, 3)
        self.assertEqual(shots_in(self.shots), ["Screen%d.jpg" % i for i in range(4)])
        seen = self.keys_seen(xev)
        self.assertIn("a", seen)  # the old combination is the X display's again
        self.assertNotIn("b", seen)

    def test_caps_lock_and_num_lock_make_no_difference(self):
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots), "S", ctrl=True, alt=True)
        self.native_in_front()
        xdotool("key", "Caps_Lock", "Num_Lock")
        try:
            leds = subprocess.run(["xset", "q"], capture_output=True, text=True, check=True).stdout
            self.assertRegex(leds, r"Caps Lock:\s+on")
            self.assertRegex(leds, r"Num Lock:\s+on")
            self.press_native("ctrl+alt+s", 0)
            self.settle(form, 1)
        finally:
            xdotool("key", "Caps_Lock", "Num_Lock")
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg", "Screen1.jpg"])

    def test_under_a_russian_layout_the_letter_fires_on_the_key_at_its_place(self):
        # Xvfb sets its layout back when its last client leaves: this one stays until the end.
        keeper = XKeyHolder("s", 0)
        try:
            subprocess.run(["setxkbmap", "ru"], check=True)
            try:
                c = self.started()
                form = c.main_window()
                self.arm_timed(c, form, "S", ctrl=True, alt=True)
                self.assertEqual(c.visible("#32770"), [])
                self.wait_grabbed("s", XKeyHolder.CTRL | XKeyHolder.ALT)
                self.native_in_front()
                self.press_native("ctrl+alt+Cyrillic_yeru", 0)  # the key that carries S
                subprocess.run(["setxkbmap", "us"], check=True)  # while armed, both ways
                self.wait_grabbed("s", XKeyHolder.CTRL | XKeyHolder.ALT)
                self.press_native("ctrl+alt+s", 1)
                subprocess.run(["setxkbmap", "ru"], check=True)
                self.wait_grabbed("s", XKeyHolder.CTRL | XKeyHolder.ALT)
                self.press_native("ctrl+alt+Cyrillic_yeru", 2)
                self.settle(form, 3)
            finally:
                subprocess.run(["setxkbmap", "us"], check=True)
        finally:
            keeper.close()
        self.assertEqual(shots_in(self.shots), ["Screen%d.jpg" % i for i in range(4)])

    def test_a_layout_chosen_while_armed_moves_the_key_as_on_windows(self):
        # Xvfb sets its layout back when its last client leaves: this one stays until the end.
        keeper = XKeyHolder("s", 0)
        place = {k: keeper.x11.XKeysymToKeycode(keeper.display, keeper.x11.XStringToKeysym(k.encode()))
                 for k in "syz"}  # the keys' places, named by their US letters
        both = XKeyHolder.CTRL | XKeyHolder.ALT
        try:
            c = self.started()
            form = c.main_window()
            self.arm_timed(c, form, "S", ctrl=True, alt=True)
            self.wait_grabbed("s", both)
            self.native_in_front()
            subprocess.run(["setxkbmap", "ru"], check=True)
            self.wait_grabbed(place["s"], both)
            keeper.type_code(place["s"])  # Ы
            wait_for(lambda: len(shots_in(self.shots)) == 1, what="a screenshot for Ы, under ru set while armed")
            subprocess.run(["setxkbmap", "-layout", "us,ru"], check=True)
            keeper.lock_group(1)  # the layout switched to Russian, with no new keymap
            self.wait_grabbed(place["s"], both)
            keeper.type_code(place["s"])
            wait_for(lambda: len(shots_in(self.shots)) == 2, what="a screenshot for Ы, under us,ru switched to ru")
            # German moves Z to the US Y's place: Windows gives the code there while German is in use.
            subprocess.run(["setxkbmap", "-layout", "us,de"], check=True)
            keeper.lock_group(1)
            self.arm_timed(c, form, "Z", ctrl=True, alt=True)
            self.assertEqual(c.visible("#32770"), [])
            self.wait_grabbed(place["y"], both)
            xev = self.native_in_front()
            keeper.type_code(place["y"])
            wait_for(lambda: len(shots_in(self.shots)) == 3, what="a screenshot for German Z")
            keeper.type_code(place["z"])  # German Y: the program in front's
            keeper.lock_group(0)
            self.wait_grabbed(place["z"], both)
            keeper.type_code(place["z"])
            wait_for(lambda: len(shots_in(self.shots)) == 4, what="a screenshot for US Z, switched back")
            self.settle(form, 4)
        finally:
            subprocess.run(["setxkbmap", "us"], check=True)
            keeper.close()
        self.assertEqual(shots_in(self.shots), ["Screen%d.jpg" % i for i in range(5)])
        self.assertEqual([k for k in self.keys_seen(xev) if k not in ("Control_L", "Alt_L")], ["y"])

    def test_a_lock_key_made_a_modifier_while_armed_makes_no_difference(self):
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots), "S", ctrl=True, alt=True)
        self.wait_grabbed("s", XKeyHolder.CTRL | XKeyHolder.ALT)
        subprocess.run(["xmodmap", "-e", "add mod3 = Scroll_Lock"], check=True)
        try:
            self.native_in_front()
            xdotool("key", "Scroll_Lock")
            try:
                mods = subprocess.run(["xmodmap"], capture_output=True, text=True, check=True).stdout
                self.assertRegex(mods, r"mod3\s+Scroll_Lock")
                self.press_native("ctrl+alt+s", 0)
                self.settle(form, 1)
            finally:
                xdotool("key", "Scroll_Lock")
        finally:
            subprocess.run(["xmodmap", "-e", "remove mod3 = Scroll_Lock"], check=True)
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg", "Screen1.jpg"])

    def test_without_the_grabber_it_says_so_once_and_wine_serves_alone(self):
        c = self.started(keygrab=False)
        form = c.main_window()
        ctl = c.arm(form, win_path(self.shots), "S", ctrl=True, alt=True)
        box = c.message_box()
        self.assertEqual(c.box_text(box), ONLY_IN_WINE + "snapvik-keygrab, which takes it from the other programs of "
                         "the X display, is not beside Snapvik.exe.")
        c.dismiss(box)
        c.click(ctl["Button2"])
        self.press(c, "ctrl+alt+s", 0)  # armed all the same
        self.wait_until_handled(c, ctl["cbShift"])
        self.assertEqual(c.visible("#32770"), [])  # once
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg"])

    def test_a_combination_another_x_client_holds_is_reported(self):
        holder = XKeyHolder("s", XKeyHolder.CTRL | XKeyHolder.ALT)
        try:
            self.assertTrue(holder.grab())
            c = self.started()
            form = c.main_window()
            ctl = c.arm(form, win_path(self.shots), "S", ctrl=True, alt=True)
            box = c.message_box()
            self.assertEqual(c.box_text(box),
                             "Cannot register hot key. Another program on the X display holds the combination.")
            c.dismiss(box)
        finally:
            holder.close()
        # Nothing was left armed: not on the X display, not in Wine.
        again = XKeyHolder("s", XKeyHolder.CTRL | XKeyHolder.ALT)
        try:
            self.assertTrue(again.grab())
        finally:
            again.close()
        c.type_keys("ctrl+alt+s")
        self.wait_until_handled(c, ctl["cbShift"])
        self.assertEqual(shots_in(self.shots), [])

    def test_a_killed_program_leaves_nothing_running_and_the_key_free(self):
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots), "S", ctrl=True, alt=True)
        self.wait_grabbed("s", XKeyHolder.CTRL | XKeyHolder.ALT)
        self.assertEqual(len(keygrab_processes(c.folder)), 1, "the key grabber runs while armed")
        os.kill(c.proc.pid, signal.SIGKILL)
        killed = time.monotonic()
        c.proc.wait()
        wait_for(lambda: not keygrab_processes(c.folder), timeout=1.0, interval=0.02, what="the key grabber to end")
        holder = XKeyHolder("s", XKeyHolder.CTRL | XKeyHolder.ALT)
        try:
            self.assertTrue(holder.grab())
        finally:
            holder.close()
        self.assertLess(time.monotonic() - killed, 1.0)


if __name__ == "__main__":
    unittest.main()
