#!/usr/bin/env python3
"""The real picker, driven from outside: a folder of many subfolders on the Desktop expanded, then OK on
one of them removed from outside, timed until the box that says so shows; then the tree's children of the
folder against those of a fresh open. Prints one line of JSON per count.
    python3 bench/picker_real.py <count>...
(run inside a Wine session with SNAPVIK_EXE, WINPROBE_EXE and SNAPVIK_WORK set; bench/run.sh shows how)."""
import json
import os
import shutil
import sys
import time

from drive import Probe, SnapvikCopy, wait_for

DESKTOP = os.path.join(os.environ["HOME"], "Desktop")


def open_picker(probe, copy, ctl):
    probe.ask("click", ctl["Button1"]["hwnd"])
    dialog = wait_for(lambda: (copy.visible("TPathDialogForm") or [None])[0], what="the picker")
    parts = {}
    for child in probe.ask("children", dialog["hwnd"]):
        parts.setdefault({"SysTreeView32": "tree"}.get(child["class"], child["text"] or child["class"]), child)
    return dialog, parts


def children_of(probe, tree, name):
    nodes = probe.ask("tree", tree["hwnd"])
    at = next(i for i, n in enumerate(nodes) if n["text"] == name and n["level"] == 1)
    below = []
    for n in nodes[at + 1:]:
        if n["level"] <= 1:
            break
        if n["level"] == 2:
            below.append(n)
    return nodes[at], below


def run(probe, count):
    name = "picker-real-%d" % count
    folder = os.path.join(DESKTOP, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for i in range(count):
        os.mkdir(os.path.join(folder, "Folder %d" % i))
    copy = SnapvikCopy(probe)
    try:
        copy.start()
        form = copy.main_window()
        ctl = copy.controls(form)
        dialog, parts = open_picker(probe, copy, ctl)
        tree = parts["tree"]
        node, _ = children_of(probe, tree, name)
        # Timed as a user sees it: until the first screen of the children is drawn.
        t0 = time.perf_counter()
        probe.ask("treeexpand", tree["hwnd"], node["item"])
        returned = time.perf_counter() - t0
        probe.ask("drawn", tree["hwnd"])
        expand = time.perf_counter() - t0
        _, below = children_of(probe, tree, name)
        loaded = len(below)
        chosen = next(n for n in below if n["text"] == "Folder %d" % (count // 2))
        probe.ask("treeselect", tree["hwnd"], chosen["item"])
        # Selecting it scrolls the tree there; a user sees that drawn before pressing OK.
        probe.ask("drawn", tree["hwnd"])
        os.rmdir(os.path.join(folder, chosen["text"]))
        t1 = time.perf_counter()
        probe.ask("click", parts["OK"]["hwnd"])
        box = wait_for(lambda: (copy.visible("#32770") or [None])[0], timeout=120, interval=0.01, what="the box")
        ok = time.perf_counter() - t1
        text = copy.box_text(box)
        copy.dismiss(box)
        _, after = children_of(probe, tree, name)
        shown = [n["text"] for n in after]
        probe.ask("click", parts["Cancel"]["hwnd"])
        wait_for(lambda: not copy.visible("TPathDialogForm"), what="the picker to close")
        # A fresh open of the same folder.
        dialog, parts = open_picker(probe, copy, ctl)
        node, _ = children_of(probe, parts["tree"], name)
        probe.ask("treeexpand", parts["tree"]["hwnd"], node["item"])
        _, fresh = children_of(probe, parts["tree"], name)
        probe.ask("click", parts["Cancel"]["hwnd"])
        wait_for(lambda: not copy.visible("TPathDialogForm"), what="the picker to close")
        copy.close(form)
        copy.wait_exit(30)
        return {"count": count, "expand": expand * 1000, "expand_returned": returned * 1000, "loaded": loaded, "ok": ok * 1000,
                "ok_per_expand": ok / expand, "box": text, "after_ok": len(shown),
                "like_fresh_open": shown == [n["text"] for n in fresh]}
    finally:
        copy.remove()
        shutil.rmtree(folder, ignore_errors=True)


def main(counts):
    probe = Probe()
    try:
        for count in counts:
            print(json.dumps(run(probe, int(count))), flush=True)
    finally:
        probe.close()


if __name__ == "__main__":
    main(sys.argv[1:])
