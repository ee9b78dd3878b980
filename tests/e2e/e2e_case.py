"""A test case with one winprobe and the copies of Snapvik it started, all stopped at its end."""
import unittest

from harness import Probe, SnapvikCopy


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
