"""opt.dat with the real program: what each kind of file fills in, the messages, and closing."""
import os
import subprocess
import unittest

from drive import KEYGRAB_NAME, wait_for, win_path
from e2e_case import SnapvikCase, needs_root

CRLF = b"C:\\Shots\\\r\n1\r\n0\r\n1\r\nS\r\n"
RU = {"LC_ALL": "ru_RU.UTF-8"}


def utf16le(text, mark=True):
    return (b"\xff\xfe" if mark else b"") + text.encode("utf-16-le")


class Reading(SnapvikCase):
    def state(self, copy):
        form = copy.main_window()
        ctl = copy.controls(form)
        return form, (ctl["Edit1"]["text"], ctl["cbShift"]["checked"], ctl["cbAlt"]["checked"],
                      ctl["cbCtrl"]["checked"], ctl["Edit2"]["text"])

    def expect_box(self, copy, text):
        box = copy.message_box()
        self.assertEqual(box["text"], "Snapvik")
        self.assertEqual(copy.box_text(box), text)
        self.assertTrue(copy.box_has_icon(box))
        self.assertEqual(copy.box_buttons(box), ["OK"])
        # Reported before the window is first shown, so owned by the hidden application window.
        self.assertEqual(copy.visible("TForm1"), [])
        owner = copy.probe.ask("describe", box["owner"])
        self.assertEqual((owner["class"], owner["text"], owner["visible"]), ("TApplication", "Snapvik", 0))
        copy.dismiss(box)

    def test_every_line_break_and_mark_reads_alike(self):
        text = "C:\\Shots\\\r\n1\r\n0\r\n1\r\nS\r\n"
        variants = {
            "crlf": CRLF,
            "lf": CRLF.replace(b"\r\n", b"\n"),
            "cr": CRLF.replace(b"\r\n", b"\r"),
            "utf-8 mark": b"\xef\xbb\xbf" + CRLF,
            "utf-16 le mark": utf16le(text),
            "utf-16 be mark": b"\xfe\xff" + text.encode("utf-16-be"),
            "more lines": CRLF + b"0\r\nextra\r\n",
        }
        for name, data in variants.items():
            with self.subTest(name):
                c = self.started(data)
                form, state = self.state(c)
                self.assertEqual(state, ("C:\\Shots\\", 1, 0, 1, "S"))
                self.assertEqual(c.visible("#32770"), [])
                c.remove()

    def test_only_an_exact_one_checks_and_line_five_gives_its_first_character(self):
        c = self.started(b"D:\\x\r\n0\r\n1 \r\nyes\r\nQW\r\n")
        self.assertEqual(self.state(c)[1], ("D:\\x", 0, 0, 0, "Q"))

    def test_an_empty_fifth_line_leaves_the_key_field_empty_without_a_message(self):
        c = self.started(b"D:\\x\r\n0\r\n1\r\n0\r\n\r\n")
        self.assertEqual(self.state(c)[1], ("D:\\x", 0, 1, 0, ""))
        self.assertEqual(c.visible("#32770"), [])

    def test_short_files_report_the_first_missing_line_after_applying_the_rest(self):
        cases = [
            (b"C:\\a\\\r\n1\r\n1\r\n", "List index out of bounds (3)", ("C:\\a\\", 1, 1, 0, "A")),
            (b"", "List index out of bounds (0)", ("Edit1", 0, 0, 0, "A")),
            (b"\xef\xbb\xbfC:\\\r\n1\r\n\xff\r\n0\r\nA\r\n", "List index out of bounds (0)", ("Edit1", 0, 0, 0, "A")),
            (utf16le("C:\\\r\n1\r\n1\r\n1\r\nB\r\n", mark=False), "List index out of bounds (1)",
             ("C", 0, 0, 0, "A")),
        ]
        for data, message, expected in cases:
            with self.subTest(message=message, data=data[:12]):
                c = self.started(data)
                self.expect_box(c, message)
                self.assertEqual(self.state(c)[1], expected)
                c.remove()

    def test_a_short_file_is_written_whole_by_an_unchanged_close_so_its_message_does_not_come_back(self):
        c = self.started(b"C:\\a\\\r\n1\r\n1\r\n")
        self.expect_box(c, "List index out of bounds (3)")
        form, state = self.state(c)
        self.assertEqual(state, ("C:\\a\\", 1, 1, 0, "A"))
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings(), b"C:\\a\\\r\n1\r\n1\r\n0\r\nA\r\n")
        c.start()
        form, state = self.state(c)
        self.assertEqual(state, ("C:\\a\\", 1, 1, 0, "A"))
        self.assertEqual(c.visible("#32770"), [])

    def test_a_file_that_never_ends_cannot_be_opened_and_is_kept(self):
        c = self.copy()
        os.symlink("/dev/zero", c.settings)
        c.start()
        box = c.message_box()
        text = c.box_text(box)
        self.assertEqual(text, 'Cannot open file "%s". The file is too large for a settings file.' % win_path(c.settings))
        c.dismiss(box)
        form, state = self.state(c)
        self.assertEqual(state, ("Edit1", 0, 0, 0, "A"))
        self.close_and_wait(c, form)
        self.assertEqual(os.readlink(c.settings), "/dev/zero")

    def test_error_caption_is_the_program_file_name_as_a_title(self):
        c = self.started(b"", name="TOOL.EXE")
        box = c.message_box()
        self.assertEqual(box["text"], "Tool")
        c.dismiss(box)

    def test_a_file_held_open_for_writing_is_reported_nothing_applied_and_kept_at_close(self):
        c = self.copy()
        c.write_settings(CRLF)
        self.assertTrue(self.probe.ask("hold", win_path(c.settings), 0))
        try:
            c.start()
            box = c.message_box()
            text = c.box_text(box)
            self.assertTrue(text.startswith('Cannot open file "%s". ' % win_path(c.settings)), text)
            self.assertTrue(text.endswith("."))
            c.dismiss(box)
            form, state = self.state(c)
            self.assertEqual(state, ("Edit1", 0, 0, 0, "A"))
            # The defaults it shows were never the user's: closing leaves the file alone.
            self.close_and_wait(c, form)
        finally:
            self.probe.ask("release")
        self.assertEqual(c.read_settings(), CRLF)

    def test_a_file_with_a_broken_utf8_mark_survives_an_unchanged_close(self):
        data = b"\xef\xbb\xbfC:\\Shots\\\r\n1\r\n\xff\r\n0\r\nA\r\n"
        c = self.started(data)
        self.expect_box(c, "List index out of bounds (0)")
        form, state = self.state(c)
        self.assertEqual(state, ("Edit1", 0, 0, 0, "A"))
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings(), data)


class CodePages(SnapvikCase):
    def test_ansi_files_follow_the_process_code_page(self):
        data = "D:\\Снимки\\\r\n0\r\n0\r\n1\r\nЖ\r\n".encode("cp1251")
        c = self.started(data, env=RU)
        form, state = Reading.state(self, c)
        self.assertEqual(state, ("D:\\Снимки\\", 0, 0, 1, "Ж"))
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings(), data)

    def test_utf16_is_rewritten_in_the_code_page_at_every_close(self):
        c = self.started(utf16le("C:\\Shots\\\r\n1\r\n0\r\n1\r\nS\r\n"))
        form, _ = Reading.state(self, c)
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings(), CRLF)

    def test_a_folder_whose_bytes_look_like_a_mark_survives_a_restart(self):
        folder = "\u00ff\u00feab\\"  # "ÿþ" in code page 1252 are the bytes of a UTF-16 mark
        c = self.started(env={"LC_ALL": "en_US.UTF-8"})
        form = c.main_window()
        self.probe.ask("settext", c.controls(form)["Edit1"]["hwnd"], folder)
        self.close_and_wait(c, form)
        c.start(env={"LC_ALL": "en_US.UTF-8"})
        form, state = Reading.state(self, c)
        self.assertEqual(state[0], folder)
        self.assertEqual(c.visible("#32770"), [])

    def test_a_folder_the_code_page_cannot_hold_is_kept_whole_as_utf8(self):
        text = "D:\\Снимки\\\r\n1\r\n1\r\n0\r\nZ\r\n"
        c = self.started(b"\xef\xbb\xbf" + text.encode("utf-8"), env={"LC_ALL": "en_US.UTF-8"})
        form, state = Reading.state(self, c)
        self.assertEqual(state, ("D:\\Снимки\\", 1, 1, 0, "Z"))
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings(), b"\xef\xbb\xbf" + text.encode("utf-8"))


class Closing(SnapvikCase):
    def expect_create_error(self, c, form):
        c.close(form)
        box = c.message_box()
        text = c.box_text(box)
        self.assertTrue(text.startswith('Cannot create file "%s". ' % win_path(c.settings)), text)
        self.assertTrue(text.endswith(".") and len(text) > len(win_path(c.settings)) + 25, text)
        self.assertEqual(box["text"], "Snapvik")
        # Owned by the active main window, which is disabled meanwhile.
        self.assertEqual(box["owner"], form["hwnd"])
        self.assertFalse(c.probe.ask("describe", form["hwnd"])["enabled"])
        c.dismiss(box)
        self.assertTrue(c.probe.ask("describe", form["hwnd"])["enabled"])
        self.assertTrue(c.running(), "the window must stay open")
        self.assertTrue(c.visible("TForm1"))

    def test_a_close_with_nothing_to_lose_ends_where_opt_dat_cannot_be_written(self):
        """With a change, the close is abandoned; with the window as it started, the next start would
        show the same, so the close ends and leaves what is in the way as it was."""
        def read_only(c):
            c.write_settings(CRLF)
            os.chmod(c.settings, 0o444)

        def link_to_folder(c):
            os.mkdir(os.path.join(c.folder, "cfg"))
            os.symlink("cfg", c.settings)

        def link_to_nothing(c):
            os.symlink("gone/real.dat", c.settings)

        cases = {"read-only": read_only, "a folder": lambda c: os.mkdir(c.settings),
                 "a link to a folder": link_to_folder, "a link to nothing": link_to_nothing}
        for name, make in cases.items():
            with self.subTest(name):
                c = self.copy()
                make(c)
                before = (os.lstat(c.settings).st_mode, os.path.islink(c.settings) and os.readlink(c.settings))
                c.start()
                form = c.main_window()
                edit = c.controls(form)["Edit1"]
                shown = edit["text"]
                self.probe.ask("settext", edit["hwnd"], "E:\\changed\\")
                self.expect_create_error(c, form)
                self.probe.ask("settext", edit["hwnd"], shown)
                self.close_and_wait(c, form)
                self.assertEqual((os.lstat(c.settings).st_mode, os.path.islink(c.settings) and os.readlink(c.settings)),
                                 before)
                if name == "read-only":
                    self.assertEqual(c.read_settings(), CRLF)
                self.assertFalse(os.path.exists(os.path.join(c.folder, "gone")))
                self.assertEqual(sorted(set(os.listdir(c.folder)) - {KEYGRAB_NAME, "cfg"}), ["Snapvik.exe", "opt.dat"])
                c.remove()

    def test_a_folder_reached_through_a_link_is_named_as_the_program_sees_it(self):
        real = self.copy()
        via = real.folder + "-via"
        os.symlink(real.folder, via)
        self.addCleanup(os.unlink, via)
        c = self.copy(folder=via)
        c.write_settings(CRLF)
        os.chmod(c.settings, 0o444)
        c.start()
        form = c.main_window()
        self.probe.ask("settext", c.controls(form)["Edit1"]["hwnd"], "E:\\changed\\")
        self.expect_create_error(c, form)  # names via's opt.dat, the one the program was started beside
        os.chmod(c.settings, 0o644)
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings(), CRLF.replace(b"C:\\Shots\\", b"E:\\changed\\"))

    def test_a_folder_named_opt_dat_keeps_the_window_open(self):
        c = self.copy()
        os.mkdir(c.settings)
        c.start()
        form = c.main_window()
        edit = c.controls(form)["Edit1"]
        self.assertEqual(edit["text"], win_path(c.folder) + "\\")
        self.probe.ask("settext", edit["hwnd"], "E:\\changed\\")  # with nothing changed the close would end
        self.expect_create_error(c, form)
        self.assertTrue(os.path.isdir(c.settings))
        self.assertEqual(sorted(set(os.listdir(c.folder)) - {KEYGRAB_NAME}), ["Snapvik.exe", "opt.dat"])
        os.rmdir(c.settings)
        self.close_and_wait(c, form)  # closing again retries
        self.assertEqual(c.read_settings(), b"E:\\changed\\\r\n0\r\n0\r\n0\r\nA\r\n")

    def test_every_close_writes_through_a_link_and_the_copy_closed_last_decides(self):
        first = self.copy()
        os.mkdir(os.path.join(first.folder, "kept"))
        target = os.path.join(first.folder, "kept", "real.dat")
        with open(target, "wb") as f:
            f.write(CRLF)
        os.symlink("kept/real.dat", first.settings)
        first.start()
        first_form = first.main_window()
        second = self.copy(folder=first.folder, name="Second.exe").start()
        second_form = second.main_window()
        self.probe.ask("settext", second.controls(second_form)["Edit1"]["hwnd"], "E:\\second\\")
        self.close_and_wait(second, second_form)
        self.assertEqual(second.read_settings(), CRLF.replace(b"C:\\Shots\\", b"E:\\second\\"))
        # Unchanged since it started, the first copy still writes what it shows.
        self.close_and_wait(first, first_form)
        self.assertEqual(os.readlink(first.settings), "kept/real.dat")
        self.assertEqual(first.read_settings(), CRLF)
        self.assertEqual(os.listdir(os.path.dirname(target)), ["real.dat"])

    def test_a_read_only_file_is_reported_and_kept_with_its_mark(self):
        c = self.started(CRLF)
        form = c.main_window()
        self.probe.ask("settext", c.controls(form)["Edit1"]["hwnd"], "E:\\changed\\")
        os.chmod(c.settings, 0o444)  # what Wine shows as the read-only mark
        self.expect_create_error(c, form)
        self.assertEqual(c.read_settings(), CRLF)
        self.assertEqual(os.stat(c.settings).st_mode & 0o777, 0o444)
        os.chmod(c.settings, 0o644)
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings(), CRLF.replace(b"C:\\Shots\\", b"E:\\changed\\"))

    @needs_root("makes the program's folder immutable")
    def test_a_read_only_folder_keeps_the_old_file_and_the_window_with_a_change_and_ends_without(self):
        # The program's first start in a folder nobody may write (Program Files): nothing to lose.
        first = self.started()
        first_form = first.main_window()
        subprocess.run(["chattr", "+i", first.folder], check=True)
        try:
            self.close_and_wait(first, first_form)
        finally:
            subprocess.run(["chattr", "-i", first.folder], check=True)
        self.assertFalse(os.path.exists(first.settings))

        c = self.started(CRLF)
        form = c.main_window()
        edit = c.controls(form)["Edit1"]["hwnd"]
        # Immutable, so that not even root can write there.
        subprocess.run(["chattr", "+i", c.folder], check=True)
        try:
            self.probe.ask("settext", edit, "E:\\changed\\")
            self.expect_create_error(c, form)
            self.assertEqual(c.read_settings(), CRLF)
        finally:
            subprocess.run(["chattr", "-i", c.folder], check=True)
        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings(), CRLF.replace(b"C:\\Shots\\", b"E:\\changed\\"))
        self.assertEqual(sorted(set(os.listdir(c.folder)) - {KEYGRAB_NAME}), ["Snapvik.exe", "opt.dat"])


if __name__ == "__main__":
    unittest.main()
