"""The main window as a user sees it: start-up, layout, keyboard, closing."""
import subprocess
import unittest

from e2e_case import SnapvikCase
from drive import (WS_CAPTION, WS_EX_APPWINDOW, WS_MAXIMIZEBOX, WS_MINIMIZEBOX, WS_SYSMENU, WS_TABSTOP,
                     WS_THICKFRAME, set_display_density, win_path, wait_for)

# Positions and sizes in client pixels at 96 pixels per inch.
LAYOUT = {
    "Edit1": (142, 8, 147, 21), "Button1": (295, 8, 35, 25), "cbShift": (142, 35, 43, 17),
    "cbAlt": (191, 35, 33, 17), "cbCtrl": (230, 35, 41, 17), "Edit2": (277, 35, 52, 21),
    "Button2": (142, 58, 187, 25), "Panel1": (8, 95, 321, 1),
}
TEXTS = {
    "Label1": "Директория сохранения:", "Label2": "Скриншот на:", "Button1": "...", "cbShift": "Shift",
    "cbAlt": "Alt", "cbCtrl": "Ctrl", "Button2": "Симулировать", "Panel1": "",
}


class FirstStart(SnapvikCase):
    def test_no_settings_file_shows_the_program_folder_and_closing_writes_the_defaults(self):
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        folder = win_path(c.folder) + "\\"
        self.assertEqual(ctl["Edit1"]["text"], folder)
        self.assertEqual([ctl[n]["checked"] for n in ("cbShift", "cbAlt", "cbCtrl")], [0, 0, 0])
        self.assertEqual(ctl["Edit2"]["text"], "A")
        self.assertEqual(c.visible("#32770"), [])
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings(), folder.encode("cp1252") + b"\r\n0\r\n0\r\n0\r\nA\r\n")

    def test_the_window_is_fixed_centred_and_laid_out_as_designed(self):
        c = self.started()
        form = c.main_window()
        self.assertEqual(form["text"], "Snapvik")
        self.assertEqual(form["client"][2:], [337, 122])
        style = form["style"]
        self.assertTrue(style & WS_CAPTION == WS_CAPTION and style & WS_SYSMENU and style & WS_MINIMIZEBOX)
        self.assertFalse(style & WS_THICKFRAME, "resizable border")
        self.assertFalse(style & WS_MAXIMIZEBOX, "maximise box")
        self.assertTrue(form["exstyle"] & WS_EX_APPWINDOW)
        self.assertEqual(form["owner"], 0, "the main window must own the taskbar button")

        vx, vy, vw, vh = c.probe.ask("metrics")["virtual"]
        x, y, w, h = form["window"]
        self.assertEqual((x, y), (max(vx, vw // 2 + vx - w // 2), max(vy, vh // 2 + vy - h // 2)), form)

        ctl = c.controls(form)
        for name, bounds in LAYOUT.items():
            self.assertEqual(tuple(ctl[name]["pos"] + ctl[name]["window"][2:]), bounds, name)
        for name, text in TEXTS.items():
            self.assertEqual(ctl[name]["text"], text, name)
        for name in ("Label1", "Label2", "sWebLabel1"):
            self.assertEqual(ctl[name]["window"][3], 13, name + " height")
        self.assertEqual(tuple(ctl["Label1"]["pos"]), (8, 10))
        self.assertEqual(tuple(ctl["Label2"]["pos"]), (8, 35))
        self.assertEqual(tuple(ctl["sWebLabel1"]["pos"]), (123, 102))
        self.assertTrue(ctl["sWebLabel1"]["text"].startswith("https://example."))
        self.assertEqual(ctl["Edit2"]["limit"], 1)
        # The labels' width follows their text in Tahoma 8 pt: about 128 pixels, never into the field.
        label1 = ctl["Label1"]["window"][2]
        self.assertTrue(120 <= label1 <= 142 - 8, label1)
        self.assertFalse(ctl["Panel1"]["style"] & WS_TABSTOP)

    def test_tab_walks_the_controls_in_order_starting_at_the_directory_field(self):
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        names = {v["hwnd"]: k for k, v in ctl.items()}

        def focused():
            info = c.probe.ask("focus", form["hwnd"])
            return names.get(info["focus"]["hwnd"]) if info and info["focus"] else None

        wait_for(lambda: focused() == "Edit1", what="Edit1 to have the focus")
        seen = []
        for _ in range(7):
            c.type_keys("Tab")
            previous = seen[-1] if seen else "Edit1"
            wait_for(lambda: focused() != previous, what="the focus to move")
            seen.append(focused())
        self.assertEqual(seen, ["Edit2", "cbShift", "cbAlt", "cbCtrl", "Button2", "Button1", "Edit1"])
        c.type_keys("shift+Tab")
        wait_for(lambda: focused() == "Button1", what="shift+Tab to go back")

    def test_keys_typed_into_the_fields_reach_the_settings_file(self):
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        c.type_keys("Tab", "z", "q", "Tab", "space", "Tab", "Tab", "space")
        wait_for(lambda: c.probe.ask("describe", ctl["cbCtrl"]["hwnd"])["checked"], what="Ctrl checked")
        self.assertEqual(c.probe.ask("describe", ctl["Edit2"]["hwnd"])["text"], "z")  # one character at most
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings().split(b"\r\n")[1:], [b"1", b"0", b"1", b"z", b""])

    def test_icon_in_every_size_and_depth(self):
        c = self.started()
        c.main_window()
        # What the taskbar shows: the icon Wine hands to X for the window, as 32-bit images.
        sizes = subprocess.run(["xprop", "-id", c.x_window(), "_NET_WM_ICON"], capture_output=True,
                               text=True).stdout
        self.assertIn("Icon (16 x 16)", sizes)
        self.assertIn("Icon (32 x 32)", sizes)
        images = sorted(tuple(i) for i in c.probe.ask("icons", win_path(c.exe), "MAINICON"))
        self.assertEqual(images, sorted((s, b) for s in (16, 32, 48, 64, 128) for b in (4, 24, 32)))

    def test_minimise_and_restore(self):
        c = self.started()
        form = c.main_window()
        c.probe.ask("syscommand", form["hwnd"], 0xF020)  # SC_MINIMIZE
        wait_for(lambda: c.probe.ask("describe", form["hwnd"])["iconic"], what="minimised")
        c.probe.ask("syscommand", form["hwnd"], 0xF120)  # SC_RESTORE
        wait_for(lambda: not c.probe.ask("describe", form["hwnd"])["iconic"], what="restored")
        self.assertEqual(c.probe.ask("describe", form["hwnd"])["client"][2:], [337, 122])


class Scaling(SnapvikCase):
    def test_a_denser_display_scales_font_and_layout_by_the_measured_text_height(self):
        set_display_density(144)
        try:
            c = self.started()
            form = c.main_window()
            ctl = c.controls(form)
        finally:
            set_display_density(96)
        text_height = ctl["Label2"]["window"][3]  # labels take the height of a line of text
        self.assertGreaterEqual(text_height, 19)

        def scaled(v):
            return (v * text_height + 6) // 13

        self.assertEqual(form["client"][2:], [scaled(337), scaled(122)])
        for name, (x, y, w, h) in LAYOUT.items():
            self.assertEqual(tuple(ctl[name]["pos"] + ctl[name]["window"][2:]),
                             (scaled(x), scaled(y), scaled(w), scaled(h)), name)


class StartUp(SnapvikCase):
    def test_version_switch_in_any_case_shows_the_banner_before_the_window(self):
        c = self.started(args=("other", "/AcVeR"))
        box = c.message_box()
        self.assertEqual(box["text"], "Snapvik")
        self.assertEqual(c.visible("TForm1"), [])
        self.assertFalse(c.box_has_icon(box))
        self.assertEqual(len(c.box_buttons(box)), 1)
        self.assertTrue(c.box_text(box))
        c.dismiss(box)
        c.main_window()

    def test_without_the_switch_no_banner(self):
        c = self.started(args=("/acverx", "acver"))
        c.main_window()
        self.assertEqual(c.visible("#32770"), [])

    def test_show_state_asked_for_by_the_launcher(self):
        for show, iconic, zoomed in ((3, 0, 1), (7, 1, 0), (2, 0, 0), (1, 0, 0)):  # SW_SHOW...
            with self.subTest(show=show):
                c = self.copy().launch(show)
                form = wait_for(lambda: ([w for w in c.windows_of("TForm1") if w["visible"] or w["iconic"]]
                                         or [None])[0], what="the main window")
                state = c.probe.ask("describe", form["hwnd"])
                self.assertEqual((state["iconic"], state["zoomed"]), (iconic, zoomed))
                c.remove()


if __name__ == "__main__":
    unittest.main()
