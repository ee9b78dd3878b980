"""A test case with one winprobe and the copies of Snapvik it started, all stopped at its end;
one with a fresh folder for screenshots; the mark of a test that needs root."""
import functools
import os
import subprocess
import unittest

from drive import Probe, SnapvikCopy, WORK, wait_for


@functools.cache
def _root_cannot():
    """Why root here cannot do what the root-only tests do (empty: it can). scripts/test.sh tries it once
    for the whole run; a test run started otherwise tries it itself."""
    if "SNAPVIK_ROOT_CANNOT" in os.environ:
        return os.environ["SNAPVIK_ROOT_CANNOT"]
    probe = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "root-can.sh")
    tried = subprocess.run(["bash", probe, WORK], capture_output=True, text=True)
    if tried.returncode != 0 and not tried.stdout.strip():
        return "%s failed: %s" % (probe, tried.stderr.strip())
    return tried.stdout.strip()


def needs_root(why):
    """Skips a test, saying why, where it cannot mount a tmpfs or make a folder immutable (CI can)."""
    cannot = _root_cannot()
    return unittest.skipIf(cannot, "needs root that can mount a tmpfs and make a folder immutable (it %s): %s"
                           % (why, cannot))


class SnapvikCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.probe = Probe()

    @classmethod
    def tearDownClass(cls):
        cls.probe.close()

    def setUp(self):
        self.copies = []

    def tearDown(self):
        for copy in self.copies:
            copy.remove()

    def copy(self, **kwargs):
        c = SnapvikCopy(self.probe, **kwargs)
        self.copies.append(c)
        return c

    def started(self, settings=None, args=(), env=None, **kwargs):
        """A fresh copy with the given opt.dat bytes (None: no file), started."""
        c = self.copy(**kwargs)
        if settings is not None:
            c.write_settings(settings)
        return c.start(*args, env=env)

    def close_and_wait(self, copy, form):
        copy.close(form)
        self.assertEqual(copy.wait_exit(), 0)


def shots_in(folder):
    return sorted(n for n in os.listdir(folder) if n.startswith("Screen") and n.endswith(".jpg"))


class ShotsCase(SnapvikCase):
    """With a fresh folder for the screenshots of each test, and the waits that captures need."""

    def setUp(self):
        super().setUp()
        self.shots = os.path.join(WORK, "shots-%d-%s" % (os.getpid(), self.id().split(".")[-1]))
        subprocess.run(["rm", "-rf", self.shots])
        os.makedirs(self.shots)

    def press(self, copy, keys, count_before):
        copy.type_keys(keys)
        return wait_for(lambda: len(shots_in(self.shots)) > count_before and shots_in(self.shots),
                        what="a screenshot for " + keys)

    def wait_until_handled(self, copy, box, timeout=20):
        """Returns once the window has handled the input given so far: a click given after it toggles
        `box`. The window takes input in order, and a hot key's message before any input that came
        after its press; a capture runs inside that message, so its file is on disk by then. (A press
        the native key grabber takes comes by another way, with no such order: see test_hot_key_grab.)"""
        before = self.probe.ask("describe", box["hwnd"])["checked"]
        copy.click(box)
        wait_for(lambda: self.probe.ask("describe", box["hwnd"])["checked"] != before, timeout,
                 what="the click after the input to be handled")
