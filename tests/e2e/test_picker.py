"""The folder picker with the real program: "..." opens it, OK fills the directory field,
Create makes numbered folders whose names open for editing, and the hot key still works."""
import os
import shutil
import subprocess
import time

from e2e_case import SnapvikCase, needs_root
from drive import WORK, wait_for, win_path, xdotool

EM_SETLIMITTEXT = 0x00C5
DESKTOP = os.path.join(os.environ["HOME"], "Desktop")


class Picker(SnapvikCase):
    def setUp(self):
        super().setUp()
        # A folder of this test on the shell's Desktop, which the picker shows first.
        self.name = "picker-%d-%s" % (os.getpid(), self.id().split(".")[-1][5:20])
        self.folder = os.path.join(DESKTOP, self.name)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)

    def tearDown(self):
        super().tearDown()
        shutil.rmtree(self.folder, ignore_errors=True)

    # The picker, as a user sees it.
    def open_picker(self, copy, ctl):
        copy.click(ctl["Button1"])
        dialog = wait_for(lambda: (copy.visible("TPathDialogForm") or [None])[0], what="the picker")
        parts = {}
        for child in self.probe.ask("children", dialog["hwnd"]):
            key = {"SysTreeView32": "tree", "Static": "label"}.get(child["class"], child["text"] or child["class"])
            parts.setdefault(key, child)
        return dialog, parts

    def picker_of_a_new_copy(self):
        """A copy of the program started, and its picker opened."""
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        return (c, form, ctl) + self.open_picker(c, ctl)

    def nodes(self, tree):
        return self.probe.ask("tree", tree["hwnd"])

    def node(self, tree, text, level=None):
        found = [n for n in self.nodes(tree) if n["text"] == text and (level is None or n["level"] == level)]
        self.assertTrue(found, "no node " + text)
        return found[0]

    def select(self, tree, text, level=None):
        self.probe.ask("treeselect", tree["hwnd"], self.node(tree, text, level)["item"])
        wait_for(lambda: self.node(tree, text, level)["selected"], what="the selection of " + text)

    def enabled(self, control):
        return self.probe.ask("describe", control["hwnd"])["enabled"]

    def gone(self, copy, dialog):
        wait_for(lambda: not any(w["hwnd"] == dialog["hwnd"] and w["visible"] for w in copy.windows()),
                 what="the picker to close")

    def served(self, editor):
        """Returns once the picker has served the messages posted to it so far: they are served in order,
        and a change of the name editor's limit posted after them shows."""
        limit = (self.probe.ask("describe", editor) or {}).get("limit", 0) % 9000 + 1001
        self.probe.ask("post", editor, EM_SETLIMITTEXT, limit, 1)
        wait_for(lambda: (self.probe.ask("describe", editor) or {}).get("limit") == limit,
                 what="the messages before it to be served")

    def edit1(self, ctl):
        return self.probe.ask("describe", ctl["Edit1"]["hwnd"])["text"]

    def test_cancel_keeps_the_field_and_ok_puts_the_chosen_folder_into_it(self):
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        before = self.edit1(ctl)

        dialog, parts = self.open_picker(c, ctl)
        self.assertEqual(dialog["text"], "Select directory")
        self.assertEqual((dialog["window"][2], dialog["window"][3]), (350, 420))
        self.assertEqual(parts["label"]["text"], "Выберите директорию")
        self.assertEqual(parts["label"]["pos"], [8, 3])
        self.assertEqual([n["text"] for n in self.nodes(parts["tree"]) if n["level"] == 0], ["Desktop"])
        root = self.nodes(parts["tree"])[0]
        self.assertTrue(root["selected"] and root["expanded"])
        self.assertFalse(self.probe.ask("describe", form["hwnd"])["enabled"], "the main window is disabled meanwhile")
        c.click(parts["Cancel"])
        self.gone(c, dialog)
        self.assertEqual(self.edit1(ctl), before)
        self.assertTrue(self.probe.ask("describe", form["hwnd"])["enabled"])

        # A folder: its path, without a backslash.
        dialog, parts = self.open_picker(c, ctl)
        self.select(parts["tree"], self.name, 1)
        self.assertTrue(self.enabled(parts["OK"]) and self.enabled(parts["Create"]))
        c.click(parts["OK"])
        self.gone(c, dialog)
        chosen = self.edit1(ctl)
        self.assertTrue(chosen.endswith("\\Desktop\\" + self.name), chosen)

        # The computer is no folder: OK and Create are off. A drive root keeps its backslash.
        dialog, parts = self.open_picker(c, ctl)
        tree = parts["tree"]
        self.assertEqual([n["text"] for n in self.nodes(tree) if n["selected"]], [self.name],
                         "the next run starts at the last folder")
        self.select(tree, "My Computer", 1)
        self.assertFalse(self.enabled(parts["OK"]) or self.enabled(parts["Create"]))
        self.probe.ask("treeexpand", tree["hwnd"], self.node(tree, "My Computer", 1)["item"])
        drive = [n["text"] for n in self.nodes(tree) if n["level"] == 2 and n["text"].endswith("(C:)")]
        self.select(tree, drive[0], 2)
        self.assertTrue(self.enabled(parts["OK"]))
        c.click(parts["OK"])
        self.gone(c, dialog)
        self.assertEqual(self.edit1(ctl), "C:\\")

    def test_create_makes_numbered_folders_and_ok_renames_before_it_closes(self):
        c, form, ctl, dialog, parts = self.picker_of_a_new_copy()
        tree = parts["tree"]
        self.select(tree, self.name, 1)
        c.click(parts["Create"])
        wait_for(lambda: os.path.isdir(os.path.join(self.folder, "New folder1")), what="New folder1")
        first = wait_for(lambda: self.node(tree, "New folder1", 2), what="its node")
        self.assertTrue(first["selected"])
        editor = wait_for(lambda: int(self.probe.ask("treeeditor", tree["hwnd"])), what="the name's editor")
        # Escape closes the editor only; the name stays.
        xdotool("windowfocus", "--sync", c.x_window("Select directory"))
        xdotool("key", "Escape")
        wait_for(lambda: not int(self.probe.ask("treeeditor", tree["hwnd"])), what="the editor to close")
        self.assertTrue(self.probe.ask("describe", dialog["hwnd"])["visible"])

        self.select(tree, self.name, 1)
        c.click(parts["Create"])
        wait_for(lambda: os.path.isdir(os.path.join(self.folder, "New folder2")), what="New folder2")
        self.assertTrue(wait_for(lambda: self.node(tree, "New folder2", 2), what="its node")["selected"])
        editor = wait_for(lambda: int(self.probe.ask("treeeditor", tree["hwnd"])), what="the name's editor")
        # Cancel while a name is open keeps both open.
        self.probe.ask("press", parts["Cancel"]["hwnd"])
        self.served(editor)
        self.assertEqual(int(self.probe.ask("treeeditor", tree["hwnd"])), editor)
        self.probe.ask("settext", editor, "Отпуск 2026")
        self.probe.ask("press", parts["OK"]["hwnd"])
        wait_for(lambda: os.path.isdir(os.path.join(self.folder, "Отпуск 2026")), what="the rename on disk")
        self.assertFalse(os.path.exists(os.path.join(self.folder, "New folder2")))
        self.assertTrue(self.probe.ask("describe", dialog["hwnd"])["visible"], "the first OK keeps the picker open")
        self.probe.ask("press", parts["OK"]["hwnd"])
        self.gone(c, dialog)
        self.assertTrue(self.edit1(ctl).endswith("\\" + self.name + "\\Отпуск 2026"), self.edit1(ctl))
        self.assertEqual(sorted(os.listdir(self.folder)), ["New folder1", "Отпуск 2026"])

    def test_a_right_click_selects_the_folder_and_shows_the_shell_s_menu(self):
        c, form, ctl, dialog, parts = self.picker_of_a_new_copy()
        tree = parts["tree"]
        node = self.node(tree, self.name, 1)
        self.assertFalse(node["selected"])
        x, y, w, h = self.probe.ask("treerect", tree["hwnd"], node["item"])
        xdotool("mousemove", "--sync", x + w // 2, y + h // 2)
        xdotool("click", "3")
        menu = wait_for(lambda: (c.visible("#32768") or [None])[0], what="the context menu")
        self.assertTrue(self.node(tree, self.name, 1)["selected"])
        # Escape closes the menu and nothing else.
        xdotool("key", "Escape")
        wait_for(lambda: not c.visible("#32768"), what="the menu to close")
        self.assertTrue(self.probe.ask("describe", dialog["hwnd"])["visible"])
        self.assertTrue(os.path.isdir(self.folder))
        c.click(parts["Cancel"])
        self.gone(c, dialog)

    def menu_command(self, c, tree, node, key):
        """The node's context menu through the mouse, and the command of that key chosen from it."""
        x, y, w, h = self.probe.ask("treerect", tree["hwnd"], node["item"])
        xdotool("mousemove", "--sync", x + w // 2, y + h // 2)
        xdotool("click", "3")
        wait_for(lambda: c.visible("#32768"), what="the context menu")
        xdotool("key", key)
        wait_for(lambda: not c.visible("#32768"), what="the menu to close")

    def answer(self, c, box, text):
        for child in self.probe.ask("children", box["hwnd"]):
            if child["class"].lower() == "button" and child["text"].replace("&", "") == text:
                self.probe.ask("click", child["hwnd"])
        wait_for(lambda: not any(w["hwnd"] == box["hwnd"] and w["visible"] for w in c.windows()),
                 what="the confirmation to close")

    def test_the_menu_s_delete_removes_a_node_only_with_its_folder(self):
        for name in ("keep", "drop"):
            os.makedirs(os.path.join(self.folder, name))
        c, form, ctl, dialog, parts = self.picker_of_a_new_copy()
        tree = parts["tree"]
        # Right under the Desktop, Wine's shell deletes nothing: the node stays with its folder.
        self.menu_command(c, tree, self.node(tree, self.name, 1), "d")
        # Served after the command, or inside the loop of a confirmation it shows.
        self.served(ctl["Edit1"]["hwnd"])
        for box in c.visible("#32770"):
            self.answer(c, box, "No")
            self.served(ctl["Edit1"]["hwnd"])
        self.assertTrue(os.path.isdir(self.folder))
        self.assertTrue(self.node(tree, self.name, 1))
        self.probe.ask("treeexpand", tree["hwnd"], self.node(tree, self.name, 1)["item"])
        # "No" in the confirmation keeps both; "Yes" removes both.
        for name, reply in (("keep", "No"), ("drop", "Yes")):
            self.menu_command(c, tree, self.node(tree, name, 2), "d")
            self.answer(c, c.message_box(), reply)
        wait_for(lambda: not os.path.exists(os.path.join(self.folder, "drop")), what="the folder deleted")
        wait_for(lambda: not [n for n in self.nodes(tree) if n["text"] == "drop"], what="its node gone")
        self.assertTrue(os.path.isdir(os.path.join(self.folder, "keep")))
        self.assertTrue(self.node(tree, "keep", 2))
        c.click(parts["Cancel"])
        self.gone(c, dialog)

    def test_shift_f10_shows_the_shell_s_menu_under_the_selected_folder(self):
        c, form, ctl, dialog, parts = self.picker_of_a_new_copy()
        tree = parts["tree"]
        self.select(tree, self.name, 1)
        xdotool("windowfocus", "--sync", c.x_window("Select directory"))
        wait_for(lambda: (self.probe.ask("focus", dialog["hwnd"])["focus"] or {}).get("hwnd") == tree["hwnd"],
                 what="the tree to have the keyboard")
        x, y, w, h = self.probe.ask("treerect", tree["hwnd"], self.node(tree, self.name, 1)["item"])
        for key in ("shift+F10", "Menu"):
            xdotool("key", key)
            wait_for(lambda: c.visible("#32768"), what="the context menu after " + key)
            # Wine shows the menu's window a moment before it moves it to its place.
            wait_for(lambda: [m["window"][:2] for m in c.visible("#32768")] == [[x, y + h]],
                     what="the menu below the folder's name")
            xdotool("key", "Escape")
            wait_for(lambda: not c.visible("#32768"), what="the menu to close")
        c.click(parts["Cancel"])
        self.gone(c, dialog)

    def test_a_capture_while_the_picker_is_open_goes_into_the_field_s_folder(self):
        shots = os.path.join(WORK, "picker-shots-%d" % os.getpid())
        shutil.rmtree(shots, ignore_errors=True)
        os.makedirs(shots)
        try:
            c = self.started()
            form = c.main_window()
            ctl = c.arm(form, win_path(shots), "K", ctrl=True, alt=True)
            dialog, parts = self.open_picker(c, ctl)
            self.select(parts["tree"], self.name, 1)
            xdotool("windowfocus", "--sync", c.x_window("Select directory"))
            xdotool("key", "ctrl+alt+k")
            wait_for(lambda: os.listdir(shots) == ["Screen0.jpg"], what="the capture")
            self.assertTrue(self.probe.ask("describe", dialog["hwnd"])["visible"])
            c.click(parts["Cancel"])
            self.gone(c, dialog)
            self.assertEqual(self.edit1(ctl), win_path(shots) + "\\")
        finally:
            shutil.rmtree(shots, ignore_errors=True)

    def test_opening_the_picker_at_a_folder_leaves_the_current_directory_alone(self):
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        dialog, parts = self.open_picker(c, ctl)
        self.select(parts["tree"], self.name, 1)
        c.click(parts["OK"])
        self.gone(c, dialog)
        # The next run opens at that folder; cancelled, it must not have moved where relative paths point.
        dialog, parts = self.open_picker(c, ctl)
        c.click(parts["Cancel"])
        self.gone(c, dialog)
        for holder in (c.folder, self.folder):
            os.makedirs(os.path.join(holder, "rel"))
        ctl = c.arm(form, "rel", "K", ctrl=True, alt=True)
        xdotool("key", "ctrl+alt+k")
        wait_for(lambda: os.listdir(os.path.join(c.folder, "rel")) == ["Screen0.jpg"],
                 what="the capture beside the program")
        self.assertEqual(os.listdir(os.path.join(self.folder, "rel")), [])

    def test_the_window_resizes_down_to_its_minimum_with_the_controls_anchored(self):
        c, form, ctl, dialog, parts = self.picker_of_a_new_copy()
        x, y, w, h = dialog["window"]

        def drag_corner(to_x, to_y):
            xdotool("mousemove", "--sync", x + w - 2, y + h - 2)
            xdotool("mousedown", "1")
            xdotool("mousemove", "--sync", to_x, to_y)
            time.sleep(0.3)
            xdotool("mouseup", "1")
            time.sleep(0.5)
            return self.probe.ask("describe", dialog["hwnd"])

        bigger = drag_corner(x + w + 150, y + h + 80)
        grow_x, grow_y = bigger["window"][2] - w, bigger["window"][3] - h
        self.assertGreaterEqual(min(grow_x - 150, grow_y - 80), 0)
        self.assertLessEqual(max(grow_x - 150, grow_y - 80), 4)
        children = {k: self.probe.ask("describe", v["hwnd"]) for k, v in parts.items()}
        tree = children["tree"]
        self.assertEqual(tree["pos"], [8, 20])
        self.assertEqual(tree["window"][2:], [321 + grow_x, 319 + grow_y])
        self.assertEqual(children["OK"]["pos"], [173 + grow_x, 344 + grow_y])
        self.assertEqual(children["Cancel"]["pos"], [250 + grow_x, 344 + grow_y])
        self.assertEqual(children["Create"]["pos"], [12, 344 + grow_y])
        self.assertEqual(children["label"]["pos"], [8, 3])
        # The moved buttons are painted where they landed: their captions show.
        picture = os.path.join(WORK, "picker-resized.png")
        subprocess.run(["import", "-window", c.x_window("Select directory"), picture], check=True)
        for name in ("OK", "Cancel", "Create"):
            bx, by, bw, bh = children[name]["window"]
            crop = "%dx%d+%d+%d" % (bw, bh, bx - bigger["window"][0], by - bigger["window"][1])
            darkest = subprocess.run(["convert", picture, "-crop", crop, "-colorspace", "Gray", "-format",
                                      "%[fx:minima]", "info:"], capture_output=True, text=True, check=True).stdout
            self.assertLess(float(darkest), 0.3, name + " is not drawn after the resize")

        w, h = bigger["window"][2:]
        smallest = drag_corner(x + 20, y + 20)
        subprocess.run(["import", "-window", c.x_window("Select directory"),
                        os.path.join(WORK, "picker-smallest.png")], check=True)
        self.assertEqual(smallest["window"][2:], [275, 250])
        tree = self.probe.ask("describe", parts["tree"]["hwnd"])
        self.assertEqual(tree["window"][2:], [321 - 75, 319 - 170])
        c.click(parts["Cancel"])
        self.gone(c, dialog)

    def test_ok_on_a_folder_gone_from_outside_keeps_the_field_and_offers_the_choice_again(self):
        c, form, ctl, dialog, parts = self.picker_of_a_new_copy()
        self.select(parts["tree"], self.name, 1)
        c.click(parts["OK"])
        self.gone(c, dialog)
        chosen = self.edit1(ctl)
        self.assertTrue(chosen.endswith("\\Desktop\\" + self.name), chosen)

        for how in ("removed", "renamed"):
            name = self.name + "-" + how
            path = os.path.join(DESKTOP, name)
            os.makedirs(path)
            self.addCleanup(shutil.rmtree, path, True)
            self.addCleanup(shutil.rmtree, path + "-new", True)
            dialog, parts = self.open_picker(c, ctl)
            tree = parts["tree"]
            self.select(tree, name, 1)
            self.assertTrue(self.enabled(parts["OK"]))
            if how == "removed":
                os.rmdir(path)
            else:
                os.rename(path, path + "-new")
            c.click(parts["OK"])
            box = c.message_box()
            self.assertEqual(c.box_text(box), "Directory %s no longer exists!" % (chosen + "-" + how))
            self.assertEqual(box["owner"], dialog["hwnd"], "owned by the window the user was in")
            self.assertFalse(self.enabled(dialog), "the picker is inert while the box shows")
            c.dismiss(box)
            # The user is back in the picker, not in another program.
            wait_for(lambda: self.probe.ask("focus", dialog["hwnd"])["active"] == dialog["hwnd"],
                     what="the picker active again after the box")
            self.assertTrue(self.enabled(dialog))
            # Still open, the Desktop read again and selected.
            self.assertTrue(self.probe.ask("describe", dialog["hwnd"])["visible"])
            level1 = [n["text"] for n in self.nodes(tree) if n["level"] == 1]
            self.assertNotIn(name, level1)
            if how == "renamed":
                self.assertIn(name + "-new", level1)
            self.assertEqual([n["text"] for n in self.nodes(tree) if n["selected"]], ["Desktop"])
            self.assertTrue(self.enabled(parts["OK"]))
            c.click(parts["Cancel"])
            self.gone(c, dialog)
            self.assertEqual(self.edit1(ctl), chosen)

        self.close_and_wait(c, form)
        self.assertEqual(c.read_settings().split(b"\r\n")[0], chosen.encode("cp1252"))

    def test_a_close_while_the_tree_s_menu_is_up_ends_the_program(self):
        c, form, ctl, dialog, parts = self.picker_of_a_new_copy()
        tree = parts["tree"]
        x, y, w, h = self.probe.ask("treerect", tree["hwnd"], self.node(tree, self.name, 1)["item"])
        xdotool("mousemove", "--sync", x + w // 2, y + h // 2)
        xdotool("click", "3")
        wait_for(lambda: c.visible("#32768"), what="the context menu")
        self.assertEqual(self.probe.ask("post", form["hwnd"], 0x0010, 0, 1), 1)  # WM_CLOSE
        # The close alone ends the menu, then the picker and the program: nobody presses a key.
        wait_for(lambda: not c.visible("#32768"), what="the close to end the menu")
        try:
            self.assertEqual(c.wait_exit(timeout=20), 0)
        except subprocess.TimeoutExpired:
            self.fail("the program goes on running after the close")
        self.assertTrue(os.path.exists(c.settings), "closing wrote the settings")

    def close_at_the_shell_s_question(self, holder, answers_first):
        """The menu's Delete on holder/victim, the shell's first questions answered, and the program
        closed as the taskbar closes it while the next one is up: it ends, and the folder is whole."""
        victim = os.path.join(holder, "victim")
        os.makedirs(os.path.join(victim, "inside"))
        with open(os.path.join(victim, "kept.txt"), "w") as f:
            f.write("kept")
        c, form, ctl, dialog, parts = self.picker_of_a_new_copy()
        tree = parts["tree"]
        for level, name in enumerate(os.path.relpath(holder, DESKTOP).split(os.sep), 1):
            self.probe.ask("treeexpand", tree["hwnd"], self.node(tree, name, level)["item"])
        self.menu_command(c, tree, self.node(tree, "victim", level + 1), "d")
        for reply in answers_first:
            box = c.message_box()
            self.answer(c, box, reply)
        c.message_box()
        self.assertEqual(self.probe.ask("post", form["hwnd"], 0x0010, 0, 1), 1)  # WM_CLOSE
        try:
            self.assertEqual(c.wait_exit(timeout=20), 0)
        except subprocess.TimeoutExpired:
            self.fail("the program goes on running after the close")
        self.assertEqual(sorted(os.listdir(victim)), ["inside", "kept.txt"])
        self.assertTrue(os.path.exists(c.settings), "closing wrote the settings")

    def test_a_close_at_the_shell_s_delete_confirmation_deletes_nothing(self):
        self.close_at_the_shell_s_question(self.folder, [])

    @needs_root("mounts a disk without a Trash")
    def test_a_close_at_the_shell_s_delete_for_good_question_deletes_nothing(self):
        disk = os.path.join(self.folder, "disk")
        os.makedirs(disk)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", disk], check=True)
        try:
            # Yes to the Trash, which this disk has not: the shell then asks to delete for good.
            self.close_at_the_shell_s_question(disk, ["Yes"])
        finally:
            subprocess.run(["umount", disk], check=True)

    def test_a_folder_directly_on_the_desktop_is_made_and_renamed_in_place(self):
        c = self.started()
        form = c.main_window()
        ctl = c.controls(form)
        taken = set(os.listdir(DESKTOP))
        made = next("New folder%d" % n for n in range(1, 1000) if "New folder%d" % n not in taken)
        renamed = self.name + "-named"
        self.addCleanup(shutil.rmtree, os.path.join(DESKTOP, made), True)
        self.addCleanup(shutil.rmtree, os.path.join(DESKTOP, renamed), True)
        dialog, parts = self.open_picker(c, ctl)
        tree = parts["tree"]
        self.select(tree, "Desktop", 0)
        c.click(parts["Create"])
        wait_for(lambda: os.path.isdir(os.path.join(DESKTOP, made)), what=made)
        editor = wait_for(lambda: int(self.probe.ask("treeeditor", tree["hwnd"])), what="the name's editor")
        self.probe.ask("settext", editor, renamed)
        self.probe.ask("press", parts["OK"]["hwnd"])
        wait_for(lambda: os.path.isdir(os.path.join(DESKTOP, renamed)), what="the rename on disk")
        self.assertFalse(os.path.exists(os.path.join(DESKTOP, made)))
        self.assertEqual(c.visible("#32770"), [], "no message")
        wait_for(lambda: self.node(tree, renamed, 1)["selected"], what="the renamed folder selected")
        self.assertNotIn(made, [n["text"] for n in self.nodes(tree)])

        self.assertTrue(self.probe.ask("describe", dialog["hwnd"])["visible"], "the first OK keeps the picker open")
        self.probe.ask("press", parts["OK"]["hwnd"])
        self.gone(c, dialog)
        self.assertTrue(self.edit1(ctl).endswith("\\Desktop\\" + renamed), self.edit1(ctl))
