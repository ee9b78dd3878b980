"""The link label at the foot of the main window: the hand over it, the hover colour and back,
and its address handed to the shell as soon as the button goes down."""
import os
import subprocess
import time

from e2e_case import SnapvikCase
from drive import WORK, wait_for, x_cursor_image, xdotool

COLOR_HOTLIGHT = 26
COLOR_MENUHILIGHT = 29
BROWSER_KEY = "HKCU\\Software\\Wine\\WineBrowser"


def colours_in(picture, x, y, w, h):
    """The set of (r, g, b) in an area of a picture."""
    out = subprocess.run(["convert", picture, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    return {tuple(out[i:i + 3]) for i in range(0, len(out), 3)}


def received(log):
    # Wine's browser launcher writes a bare host's root path as "/".
    return [line.strip().removesuffix("/") for line in log if line.strip()]


class LinkLabel(SnapvikCase):
    def label_colours(self, copy, label):
        picture = os.path.join(WORK, "label-%d.png" % os.getpid())
        subprocess.run(["import", "-window", "root", picture], check=True)
        x, y, w, h = self.probe.ask("describe", label["hwnd"])["window"]
        return colours_in(picture, x, y, w, h)

    def test_the_hand_and_the_hover_colour_come_and_go_with_the_mouse_without_a_size_change(self):
        c = self.started()
        form = c.main_window()
        label = c.controls(form)["sWebLabel1"]
        normal = tuple(self.probe.ask("syscolor", COLOR_HOTLIGHT))
        hover = tuple(self.probe.ask("syscolor", COLOR_MENUHILIGHT))
        self.assertNotEqual(normal, hover)
        size = self.probe.ask("describe", label["hwnd"])["window"]

        # The cursor over the label is the hand: neither the arrow of the window nor the edit field's beam,
        # but the one the program's own hand cursor window shows.
        def cursor_over(control):
            x, y, w, h = self.probe.ask("describe", control["hwnd"])["window"]
            xdotool("mousemove", "--sync", x + w // 2, y + h // 2)
            time.sleep(0.5)
            return x_cursor_image()[:4] + (hash(x_cursor_image()[4]),)

        ctl = c.controls(form)
        arrow = cursor_over(ctl["Panel1"])
        beam = cursor_over(ctl["Edit1"])
        hand = cursor_over(label)
        self.assertNotEqual(hand, arrow)
        self.assertNotEqual(hand, beam)
        self.assertNotEqual(hand[2:4], (0, 0), "the hand's hot spot is its fingertip, not the corner")

        xdotool("mousemove", "--sync", 5, 5)
        time.sleep(0.3)
        before = self.label_colours(c, label)
        self.assertIn(normal, before)
        self.assertNotIn(hover, before)

        # Onto the label as a hand moves a mouse: a few steps, not one jump.
        x, y, w, h = size
        for step in (w // 4, w // 2, w // 2 + 3):
            xdotool("mousemove", "--sync", x + step, y + h // 2)
            time.sleep(0.1)
        wait_for(lambda: hover in self.label_colours(c, label), what="the hover colour")
        self.assertNotIn(normal, self.label_colours(c, label))
        self.assertEqual(self.probe.ask("describe", label["hwnd"])["window"], size)
        self.assertEqual(cursor_over(label), hand)

        xdotool("mousemove", "--sync", 5, 5)
        wait_for(lambda: normal in self.label_colours(c, label), what="the normal colour again")
        self.assertNotIn(hover, self.label_colours(c, label))
        self.assertEqual(self.probe.ask("describe", label["hwnd"])["window"], size)

    def test_button_down_hands_the_address_to_the_shell_before_release(self):
        log = os.path.join(WORK, "browser-%d.log" % os.getpid())
        script = os.path.join(WORK, "browser-%d.sh" % os.getpid())
        with open(script, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$@" >> "%s"\n' % log)
        os.chmod(script, 0o755)
        if os.path.exists(log):
            os.remove(log)
        subprocess.run(["wine", "reg", "add", BROWSER_KEY, "/v", "Browsers", "/d", script, "/f"], check=True,
                       capture_output=True)
        try:
            c = self.started()
            form = c.main_window()
            label = c.controls(form)["sWebLabel1"]
            address = self.probe.ask("describe", label["hwnd"])["text"]
            self.assertTrue(address.startswith("https://"), address)
            x, y, w, h = self.probe.ask("describe", label["hwnd"])["window"]
            xdotool("mousemove", "--sync", x + w // 2, y + h // 2)
            xdotool("mousedown", "1")
            try:
                wait_for(lambda: os.path.exists(log), timeout=30, what="the browser to be started")
                with open(log) as f:
                    self.assertEqual(received(f), [address])
            finally:
                xdotool("mouseup", "1")
        finally:
            subprocess.run(["wine", "reg", "delete", BROWSER_KEY, "/v", "Browsers", "/f"], capture_output=True)
