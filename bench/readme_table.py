"""Puts a benchmark's table into bench/README.md between its markers."""
import os
import re

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "README.md")


def write_table(marker, table):
    with open(README, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"(<!-- %s -->\n)(?:.*?\n)?(<!-- /%s -->)" % (marker, marker),
                  lambda g: g.group(1) + table + "\n" + g.group(2), text, flags=re.S)
    with open(README, "w", encoding="utf-8") as f:
        f.write(text)


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")
