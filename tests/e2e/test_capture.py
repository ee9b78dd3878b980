"""The main job with the real program: arm the hot key, press it, get the screen in a file."""
import os
import select
import subprocess
import sys
import time
import unittest

from drive import WORK, paint_screen, read_bmp, set_display_density, wait_for, win_path, x_windows, xdotool
from e2e_case import ShotsCase, needs_root, shots_in
from screen_images import rgb_rows_32, take_xwd, xwd_rgb_rows_32


def content(path):
    with open(path, "rb") as f:
        return f.read()


class Capture(ShotsCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        paint_screen(1920, 1080, os.path.join(WORK, "pattern-1920x1080.png"))

    def assert_same_as_screen(self, path):
        xwd = take_xwd(self.shots + ".xwd")
        bmp = read_bmp(path)
        self.assertEqual((bmp["width"], bmp["height"]), (xwd["width"], xwd["height"]))
        self.assertTrue(rgb_rows_32(bmp) == xwd_rgb_rows_32(xwd), "the file differs from the screen")

    def test_presses_write_the_screen_into_numbered_files(self):
        c = self.started()
        form = c.main_window()
        ctl = c.arm(form, win_path(self.shots), "A", ctrl=True, alt=True)
        self.press(c, "ctrl+alt+a", 0)
        # The field got its backslash, visibly (after the screen was copied).
        self.assertEqual(self.probe.ask("describe", ctl["Edit1"]["hwnd"])["text"], win_path(self.shots) + "\\")
        self.press(c, "ctrl+alt+a", 1)
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg", "Screen1.jpg"])
        path = os.path.join(self.shots, "Screen1.jpg")
        bmp = read_bmp(path)
        self.assertEqual(bmp["magic"], b"BM")
        self.assertEqual((bmp["width"], bmp["height"], bmp["bits"], bmp["planes"]), (1920, 1080, 32, 1))
        self.assertEqual((bmp["offset"], bmp["header_size"], bmp["compression"], bmp["colours_used"]), (54, 40, 0, 0))
        self.assertEqual(bmp["image_size"], 1920 * 1080 * 4)
        self.assertEqual(bmp["file_size"], bmp["length"])
        self.assertEqual(bmp["length"], 54 + 1920 * 1080 * 4)
        self.assert_same_as_screen(path)
        # Wine draws the window's icon blended; in the file the fourth byte is zero throughout,
        # so that viewers do not take it for transparency.
        self.assertEqual([y for y, row in enumerate(bmp["rows"]) if any(row[3::4])], [])
        opaque = subprocess.run(["identify", "-format", "%[opaque]", "bmp:" + path], capture_output=True, text=True)
        self.assertEqual(opaque.stdout.lower(), "true", opaque.stderr)  # "True" in some versions

        # Another program in front still gets the press to us.
        notepad = subprocess.Popen(["wine", "notepad"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wid = wait_for(lambda: x_windows("--onlyvisible", "--name", "Notepad"), what="Notepad")[0]
            xdotool("windowfocus", "--sync", wid)
            xdotool("key", "ctrl+alt+a")
            wait_for(lambda: len(shots_in(self.shots)) == 3, what="a screenshot with Notepad in front")
        finally:
            notepad.terminate()
            notepad.wait()
        self.assertEqual(read_bmp(os.path.join(self.shots, "Screen2.jpg"))["length"], 54 + 1920 * 1080 * 4)
        self.assertEqual(c.visible("#32770"), [])

    def test_a_screen_that_changes_during_the_copy_is_shot_at_one_moment(self):
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots) + "\\", "A", ctrl=True, alt=True)
        colours = ["FF0000", "00FF00", "0000FF", "FFFF00"]
        # Our window keeps the keyboard; the native window covers the screen and changes all the time.
        flicker = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "flicker.py")] + colours,
                                   stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(flicker.stdout.readline().strip(), "ready")
            for count in range(6):
                self.press(c, "ctrl+alt+a", count)
        finally:
            flicker.terminate()
            flicker.wait()
        # Each file holds one moment, so one of the colours everywhere; a copy in parts shows stripes.
        pixels = {bytes.fromhex(colour)[::-1] for colour in colours}  # blue, green, red
        for name in shots_in(self.shots):
            bmp = read_bmp(os.path.join(self.shots, name))
            first = bmp["rows"][0][:4]
            self.assertIn(first[:3], pixels, name)
            whole = first * 1920
            torn = [y for y, row in enumerate(bmp["rows"]) if row != whole]
            self.assertEqual(torn[:1], [], "%s: rows from %s on differ from the top row" % (name, torn[:1]))

    def test_re_arming_releases_the_previous_key(self):
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots) + "\\", "A", ctrl=True, alt=True)
        self.press(c, "ctrl+alt+a", 0)
        ctl = c.controls(form)
        c.click(ctl["Edit2"])
        c.type_keys("End", "shift+Home", "B")
        c.click(ctl["Button2"])
        self.wait_until_handled(c, ctl["cbShift"])  # re-armed before the old combination is pressed
        c.type_keys("ctrl+alt+a")
        self.wait_until_handled(c, ctl["cbShift"])
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg"])
        self.press(c, "ctrl+alt+b", 1)
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg", "Screen1.jpg"])

    def test_a_restart_skips_the_names_already_taken(self):
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots), "A", ctrl=True, alt=True)
        self.press(c, "ctrl+alt+a", 0)
        self.press(c, "ctrl+alt+a", 1)
        first = content(os.path.join(self.shots, "Screen0.jpg"))
        self.close_and_wait(c, form)
        c.start()
        form = c.main_window()
        c.click(c.controls(form)["Button2"])  # the settings came back; only the arming is new
        self.press(c, "ctrl+alt+a", 2)
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg", "Screen1.jpg", "Screen2.jpg"])
        self.assertEqual(content(os.path.join(self.shots, "Screen0.jpg")), first)

    def test_a_missing_folder_is_reported_and_its_number_kept(self):
        missing = os.path.join(self.shots, "later")
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(missing), "A", ctrl=True, alt=True)
        for _ in range(2):
            c.type_keys("ctrl+alt+a")
            box = c.message_box()
            text = c.box_text(box)
            self.assertEqual(text, 'Cannot create file "%s". %s' % (
                win_path(missing) + "\\Screen0.jpg", text.split('". ', 1)[1]))
            self.assertTrue(text.endswith(".") and len(text.split('". ', 1)[1]) > 1)
            self.assertEqual(box["text"], "Snapvik")
            c.dismiss(box)
        os.makedirs(missing)
        c.type_keys("ctrl+alt+a")
        wait_for(lambda: shots_in(missing) == ["Screen0.jpg"], what="Screen0.jpg once the folder exists")
        self.assertEqual(os.listdir(missing), ["Screen0.jpg"])

    def test_an_empty_folder_field_is_reported_and_writes_nothing(self):
        c = self.started()
        form = c.main_window()
        ctl = c.arm(form, win_path(self.shots), "A", ctrl=True, alt=True)
        self.probe.ask("settext", ctl["Edit1"]["hwnd"], "")
        c.type_keys("ctrl+alt+a")
        box = c.message_box()
        self.assertEqual(c.box_text(box), "The save directory is empty.")
        c.dismiss(box)
        self.probe.ask("settext", ctl["Edit1"]["hwnd"], win_path(self.shots))
        self.press(c, "ctrl+alt+a", 0)
        self.assertEqual(shots_in(self.shots), ["Screen0.jpg"])

    def test_a_key_no_keyboard_makes_is_reported_when_arming(self):
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        self.probe.ask("settext", ctl["Edit2"]["hwnd"], "\u0424")  # what the A key types in a Russian layout
        c.click(ctl["Button2"])
        box = c.message_box()
        text = c.box_text(box)
        self.assertTrue(text.startswith('Cannot register hot key. "\u0424" is not a key of the keyboard'), text)
        c.dismiss(box)

    def test_a_hot_key_message_with_an_identifier_never_registered_captures(self):
        c = self.started()
        form = c.main_window()
        self.probe.ask("settext", c.controls(form)["Edit1"]["hwnd"], win_path(self.shots))
        self.assertEqual(self.probe.ask("post", form["hwnd"], 0x0312, 0x1234, 1), 1)
        wait_for(lambda: shots_in(self.shots) == ["Screen0.jpg"], what="a screenshot")

    def test_enter_and_escape_press_no_button(self):
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        self.probe.ask("settext", ctl["Edit1"]["hwnd"], win_path(self.shots))
        # Pressing "Симулировать" would arm the bare key A, as the fields stand.
        for control in ("Edit1", "cbShift"):
            c.click(ctl[control])
            c.type_keys("Return", "Escape")
        self.wait_until_handled(c, ctl["cbAlt"])  # the keys' effects, if any, in place before the press
        c.type_keys("a")
        self.wait_until_handled(c, ctl["cbAlt"])
        self.assertEqual(shots_in(self.shots), [])
        self.assertTrue(c.running())
        self.assertEqual([w["class"] for w in c.windows() if w["visible"]], ["TForm1"])

    def test_a_failed_close_arms_the_same_combination_again(self):
        c = self.started(settings=win_path(self.shots).encode() + b"\r\n0\r\n1\r\n1\r\nA\r\n")
        form = c.main_window()
        ctl = c.controls(form)
        c.click(ctl["Button2"])
        self.press(c, "ctrl+alt+a", 0)
        os.chmod(c.settings, 0o444)
        self.probe.ask("settext", ctl["Edit2"]["hwnd"], "B")  # a change, so that the close writes
        c.close(form)
        box = c.message_box()
        self.assertTrue(c.box_text(box).startswith("Cannot create file"))
        c.dismiss(box)
        # The window stays, and so does the combination it had armed (not the key typed since).
        self.press(c, "ctrl+alt+a", 1)
        self.assertTrue(c.running())
        os.chmod(c.settings, 0o644)

    def test_a_read_only_screenshot_a_folder_and_a_link_to_nothing_of_the_name_are_skipped(self):
        with open(os.path.join(self.shots, "Screen0.jpg"), "wb") as f:
            f.write(b"kept")
        os.chmod(os.path.join(self.shots, "Screen0.jpg"), 0o444)
        os.mkdir(os.path.join(self.shots, "Screen1.jpg"))
        # Under Wine a link to nothing looks like no file at all; it is taken all the same.
        os.symlink("gone.jpg", os.path.join(self.shots, "Screen2.jpg"))
        c = self.started()
        form = c.main_window()
        c.arm(form, win_path(self.shots), "A", ctrl=True, alt=True)
        c.type_keys("ctrl+alt+a")
        wait_for(lambda: "Screen3.jpg" in shots_in(self.shots), what="Screen3.jpg")
        self.assertEqual(content(os.path.join(self.shots, "Screen0.jpg")), b"kept")
        self.assertTrue(os.path.isdir(os.path.join(self.shots, "Screen1.jpg")))
        self.assertEqual(os.readlink(os.path.join(self.shots, "Screen2.jpg")), "gone.jpg")
        self.assertFalse(os.path.exists(os.path.join(self.shots, "gone.jpg")))
        self.assertEqual(c.visible("#32770"), [])

    def test_a_second_copy_cannot_take_the_same_combination(self):
        first = self.started()
        first_form = first.main_window()
        first.arm(first_form, win_path(self.shots), "A", ctrl=True, alt=True)
        self.probe.ask("move", first_form["hwnd"], 100, 100)  # both open centred, one over the other
        second = self.started()
        form = second.main_window()
        second.arm(form, win_path(self.shots), "A", ctrl=True, alt=True)
        box = second.message_box()
        text = second.box_text(box)
        self.assertTrue(text.startswith("Cannot register hot key. ") and len(text) > 27 and text.endswith("."), text)
        second.dismiss(box)
        self.press(first, "ctrl+alt+a", 0)

    def test_holding_the_combination_writes_one_file_per_repeat(self):
        # The platform's own hot key, with no key grabber beside the program: the window gets the keys and
        # counts them (a grab would take them all).
        c = self.started(keygrab=False)
        form = c.main_window()
        ctl = c.arm(form, win_path(self.shots), "A", ctrl=True, alt=True)
        c.dismiss(c.message_box())  # armed with Wine alone, as it says once
        delay_ms, rate = 300, 20  # the keyboard's repeat
        subprocess.run(["xset", "r", "rate", str(delay_ms), str(rate)], check=True)
        # The presses the X server really made, as the window received them: a
        # busy server repeats less often than its rate says.
        listener = subprocess.Popen(["xev", "-id", c.x_window(), "-event", "keyboard"], stdout=subprocess.PIPE,
                                    text=True)
        try:
            # xev prints nothing before its first event: a lone Shift, until one is reported, shows it listens.
            for _ in range(100):
                xdotool("key", "shift")
                if select.select([listener.stdout], [], [], 0.2)[0]:
                    break
            else:
                self.fail("xev reported no key")
            xdotool("keydown", "ctrl+alt+a")
            time.sleep(3)
            xdotool("keyup", "a")
            xdotool("keyup", "ctrl+alt")
            time.sleep(0.5)
        finally:
            subprocess.run(["xset", "r", "rate"], check=True)
            listener.terminate()
        events = listener.communicate()[0].split("\n\n")
        presses = len([e for e in events if e.startswith("KeyPress") and "(keysym 0x61, a)" in e])
        self.assertGreater(presses, 10, "the key was held and repeated")
        try:
            self.wait_until_handled(c, ctl["cbShift"], timeout=60)
        except AssertionError:
            boxes = [c.box_text(b) for b in c.visible("#32770")]
            raise AssertionError("%d presses, %d files, message boxes: %s" % (
                presses, len(shots_in(self.shots)), boxes)) from None
        names = shots_in(self.shots)
        # One file per press the keyboard made.
        self.assertEqual(len(names), presses)
        self.assertEqual(names, sorted("Screen%d.jpg" % i for i in range(len(names))))
        for name in names:
            self.assertEqual(os.path.getsize(os.path.join(self.shots, name)), 54 + 1920 * 1080 * 4)
        self.assertEqual(c.visible("#32770"), [])

    @needs_root("mounts a 2 MB disk")
    def test_a_full_disk_shows_the_write_error_and_leaves_no_partial_file(self):
        small = os.path.join(self.shots, "small")
        os.makedirs(small)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", small], check=True)
        try:
            c = self.started()
            form = c.main_window()
            ctl = c.arm(form, win_path(small) + "\\", "A", ctrl=True, alt=True)
            c.type_keys("ctrl+alt+a")
            box = c.message_box()
            self.assertEqual(c.box_text(box), "Stream write error.")
            c.dismiss(box)
            self.assertEqual(os.listdir(small), [])
            # The number was kept for the next capture.
            self.probe.ask("settext", ctl["Edit1"]["hwnd"], win_path(self.shots) + "\\")
            self.press(c, "ctrl+alt+a", 0)
            self.assertEqual(shots_in(self.shots), ["Screen0.jpg"])
        finally:
            subprocess.run(["umount", small], check=True)

    def test_a_denser_display_is_still_captured_at_its_full_size(self):
        set_display_density(144)
        try:
            c = self.started()
            form = c.main_window()
        finally:
            set_display_density(96)
        c.arm(form, win_path(self.shots), "A", ctrl=True, alt=True)
        self.press(c, "ctrl+alt+a", 0)
        bmp = read_bmp(os.path.join(self.shots, "Screen0.jpg"))
        self.assertEqual((bmp["width"], bmp["height"]), (1920, 1080))


if __name__ == "__main__":
    unittest.main()
