"""Captures on 16- and 8-bit screens: each on an Xvfb of that depth, with the Wine server restarted for it."""
import os
import tempfile
import unittest

from drive import WORK, Probe, Screen, SnapvikCopy, paint_screen, read_bmp, wait_for, win_path
from screen_images import mismatched_pixels_8, mismatched_rows_16, take_xwd


class OtherDepths(unittest.TestCase):
    def capture_at(self, width, height, depth):
        """Arms, presses twice (the second after the field got its backslash), returns the file and the screen."""
        shots = tempfile.mkdtemp(prefix="depth%d-" % depth, dir=WORK)
        with Screen(width, height, depth):
            paint_screen(width, height, os.path.join(WORK, "pattern-%dx%d.png" % (width, height)))
            probe = Probe()
            copy = SnapvikCopy(probe)
            try:
                copy.start()
                form = copy.main_window()
                self.assertEqual(probe.ask("metrics")["screen"], [width, height])
                copy.arm(form, win_path(shots), "A", ctrl=True, alt=True)
                for count in (1, 2):
                    copy.type_keys("ctrl+alt+a")
                    wait_for(lambda: len(os.listdir(shots)) == count, what="screenshot %d" % count)
                self.assertEqual(copy.visible("#32770"), [])
                xwd = take_xwd(shots + ".xwd")
                window = probe.ask("describe", form["hwnd"])["window"]
                return read_bmp(os.path.join(shots, "Screen1.jpg")), xwd, window
            finally:
                copy.remove()
                probe.close()

    def test_a_16_bit_screen_gives_5_5_5_files_with_padded_rows(self):
        bmp, xwd, _ = self.capture_at(1365, 768, 16)
        self.assertEqual((bmp["width"], bmp["height"], bmp["bits"], bmp["compression"]), (1365, 768, 16, 0))
        self.assertEqual((bmp["offset"], bmp["colours_used"], bmp["row"]), (54, 0, 2732))
        self.assertEqual(bmp["length"], 2732 * 768 + 54)
        self.assertEqual(bmp["file_size"], bmp["length"])
        self.assertEqual(bmp["image_size"], 2732 * 768)
        self.assertEqual(mismatched_rows_16(bmp, xwd), [])

    def test_an_8_bit_screen_gives_files_with_a_256_colour_table(self):
        bmp, xwd, window = self.capture_at(1024, 768, 8)
        self.assertEqual((bmp["width"], bmp["height"], bmp["bits"], bmp["compression"]), (1024, 768, 8, 0))
        self.assertEqual((bmp["offset"], bmp["colours_used"]), (1078, 256))
        self.assertEqual(bmp["length"], 1078 + 1024 * 768)
        self.assertEqual(bmp["file_size"], bmp["length"])
        # Wine reads what other X clients drew on a palette screen through its own palette, so
        # only its own windows can be held to the screen's colours: the main window, then.
        bad = mismatched_pixels_8(bmp, xwd, window)
        self.assertEqual(len(bad), 0, "window %s; first differences (x, y, file, screen): %s" % (window, bad[:5]))
        self.assertGreater(len(set(bmp["table"])), 16)


if __name__ == "__main__":
    unittest.main()
