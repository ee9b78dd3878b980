"""A flood of hot-key messages into a capture that fails: one error box at a time, nothing lost."""
import os
import tempfile
import time
import unittest

from drive import WORK, Probe, Screen, SnapvikCopy, wait_for, win_path

WM_HOTKEY = 0x0312


class Flood(unittest.TestCase):
    def test_a_thousand_presses_into_a_failing_capture_leave_one_box_and_lose_nothing(self):
        work = tempfile.mkdtemp(prefix="flood-", dir=WORK)
        missing = os.path.join(work, "later")
        # A small screen, so that a thousand captures take a moment, not a minute.
        with Screen(640, 480, 24):
            probe = Probe()
            copy = SnapvikCopy(probe)
            try:
                copy.start()
                form = copy.main_window()
                edit1 = copy.controls(form)["Edit1"]["hwnd"]
                probe.ask("settext", edit1, win_path(missing))
                self.assertEqual(probe.ask("post", form["hwnd"], WM_HOTKEY, 0x1234, 1000), 1000)
                copy.message_box()
                most = 0
                for _ in range(30):  # three seconds, while the box's loop serves the rest
                    most = max(most, len(copy.visible("#32770")))
                    time.sleep(0.1)
                self.assertEqual(most, 1)
                self.assertTrue(copy.running())
                for _ in range(5):  # what was still queued may show one box after another
                    boxes = copy.visible("#32770")
                    if not boxes:
                        break
                    copy.dismiss(boxes[0])
                    time.sleep(0.3)
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
