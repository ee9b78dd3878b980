"""What the key-press benchmark times with: presses sent through XTEST from a connection of its own
(as `xdotool key` sends them), the moment a file is finished in a folder (seen through inotify), and
whether the processes a key binder started are all done."""
import ctypes
import ctypes.util
import os
import queue
import struct
import threading
import time

REVERT_TO_PARENT = 2
CURRENT_TIME = 0


class Keyboard:
    """XTEST presses, and the X focus and stacking, through one connection to the display."""

    def __init__(self):
        x = self.x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        t = self.t = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XStringToKeysym.restype = ctypes.c_ulong
        x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x.XKeysymToKeycode.restype = ctypes.c_ubyte
        x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        x.XRaiseWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        t.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.display = x.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("no X display")

    def code(self, name):
        code = self.x.XKeysymToKeycode(self.display, self.x.XStringToKeysym(name.encode()))
        if not code:
            raise RuntimeError("no key for " + name)
        return code

    def press(self, combination):
        """Types a combination such as "ctrl+alt+s"; returns the monotonic clock's time just before
        the key's own press was sent (the modifiers went down before it)."""
        names = {"ctrl": "Control_L", "alt": "Alt_L", "shift": "Shift_L"}
        *modifiers, key = combination.split("+")
        held = [self.code(names[m]) for m in modifiers]
        code = self.code(key)
        fake = self.t.XTestFakeKeyEvent
        for m in held:
            fake(self.display, m, 1, CURRENT_TIME)
        self.x.XSync(self.display, 0)
        pressed = time.monotonic()
        fake(self.display, code, 1, CURRENT_TIME)
        self.x.XFlush(self.display)
        fake(self.display, code, 0, CURRENT_TIME)
        for m in reversed(held):
            fake(self.display, m, 0, CURRENT_TIME)
        self.x.XSync(self.display, 0)
        return pressed

    def bring_forward(self, window):
        """The window on top of the others and given the keyboard, as a click on it would (Xvfb has no
        window manager)."""
        self.x.XRaiseWindow(self.display, window)
        self.x.XSetInputFocus(self.display, window, REVERT_TO_PARENT, CURRENT_TIME)
        self.x.XSync(self.display, 0)

    def close(self):
        self.x.XCloseDisplay(self.display)


IN_MODIFY = 0x002
IN_CLOSE_WRITE = 0x008
IN_MOVED_TO = 0x080


class Arrivals:
    """Files finished in one folder: closed after writing, or moved in under their name (as a file
    written beside its final name is). A thread of its own reads the events and notes the time of
    each as it comes."""

    def __init__(self, folder, mask=IN_CLOSE_WRITE | IN_MOVED_TO):
        libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = libc.inotify_init1(os.O_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        self.libc = libc
        self.watch = libc.inotify_add_watch(self.fd, os.fsencode(folder), mask)
        if self.watch < 0:
            raise OSError(ctypes.get_errno(), "inotify_add_watch " + folder)
        self.events = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            try:
                data = os.read(self.fd, 65536)
            except OSError:
                return
            when = time.monotonic()
            at = 0
            while at + 16 <= len(data):
                _wd, mask, _cookie, length = struct.unpack_from("iIII", data, at)
                name = data[at + 16:at + 16 + length].rstrip(b"\0").decode(errors="replace")
                self.events.put((when, name, mask))
                at += 16 + length

    def close(self):
        """No more events; the descriptor stays, since its thread may be inside a read of it."""
        self.libc.inotify_rm_watch(self.fd, self.watch)

    def drain(self):
        while not self.events.empty():
            self.events.get_nowait()

    def wait(self, wanted, timeout=30.0):
        """The time and name of the first arrival whose name `wanted(name)` accepts."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("no file came")
            try:
                when, name, _mask = self.events.get(timeout=left)
            except queue.Empty:
                continue
            if wanted(name):
                return when, name

    def last(self, name, since):
        """The time of the last arrival of `name` queued so far, or `since` when none came after it:
        a tool that closes its file empty first and writes it later is done at its last close."""
        latest = since
        while not self.events.empty():
            when, other, _mask = self.events.get_nowait()
            if other == name:
                latest = max(latest, when)
        return latest


def children_running(parent):
    """Whether `parent` has a child process that is not yet ended (a zombie is ended)."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == parent and fields[0] != "Z":
            return True
    return False


def wait_until(condition, timeout=30.0, interval=0.005):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise TimeoutError("gave up waiting")
        time.sleep(interval)
