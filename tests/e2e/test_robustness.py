"""A flood of hot-key messages into a capture that fails: one error box at a time, nothing lost."""
import os
import tempfile
import unittest

from drive import WORK, Probe, Screen, SnapvikCopy, wait_for, win_path

WM_HOTKEY = 0x0312
EM_SETLIMITTEXT = 0x00C5


class Flood(unittest.TestCase):
    def test_a_flood_of_presses_into_a_failing_capture_leaves_one_box_and_loses_nothing(self):
        work = tempfile.mkdtemp(prefix="flood-", dir=WORK)
        missing = os.path.join(work, "later")
        # A small screen, so that two hundred captures take seconds, not minutes.
        with Screen(640, 480, 24):
            probe = Probe()
            copy = SnapvikCopy(probe)
            try:
                copy.start()
                form = copy.main_window()
                edit1 = copy.controls(form)["Edit1"]["hwnd"]
                probe.ask("settext", edit1, win_path(missing))
                self.assertEqual(probe.ask("post", form["hwnd"], WM_HOTKEY, 0x1234, 200), 200)
                # A message posted after them changes the field's limit once the box's loop has served them all.
                probe.ask("post", edit1, EM_SETLIMITTEXT, 4321, 1)
                wait_for(lambda: probe.ask("describe", edit1)["limit"] == 4321, 120, what="the presses to be served")
                # One box, shown or about to be: boxes opened inside it would be there too.
                self.assertEqual(len(copy.windows_of("#32770")), 1)
                self.assertTrue(copy.running())
                copy.dismiss(copy.message_box())
                self.assertEqual(copy.visible("#32770"), [])

                os.makedirs(missing)
                probe.ask("post", form["hwnd"], WM_HOTKEY, 0x1234, 1)
                wait_for(lambda: os.listdir(missing) == ["Screen0.jpg"], what="the number that failed")
                copy.close(form)
                self.assertEqual(copy.wait_exit(), 0)
                self.assertEqual(copy.read_settings().split(b"\r\n")[0], win_path(missing).encode() + b"\\")
            finally:
                copy.remove()
                probe.close()


if __name__ == "__main__":
    unittest.main()
