"""A benchmark's table: printed, and put into bench/README.md between its markers only when the run
asks for it (bash bench/run.sh --update-readme), since the README is tracked."""
import os
import re
import sys

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "README.md")
UPDATE = "--update-readme"


def arguments():
    """The report's arguments, and whether it is to update the README."""
    args = sys.argv[1:]
    return [a for a in args if a != UPDATE], UPDATE in args


def report(marker, table, update_readme):
    print(table)
    if not update_readme:
        return
    with open(README, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"(<!-- %s -->\n)(?:.*?\n)?(<!-- /%s -->)" % (marker, marker),
                  lambda g: g.group(1) + table + "\n" + g.group(2), text, flags=re.S)
    with open(README, "w", encoding="utf-8") as f:
        f.write(text)
    print("(written into %s)" % README)
