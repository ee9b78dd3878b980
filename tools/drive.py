"""Drives the real Snapvik.exe under Wine from outside, as a user would: for the
run command's headless session, the benchmark and the end-to-end tests.

Each SnapvikCopy is the program copied into a fresh folder of its own (so
its opt.dat is its own), started with wine and stopped by its process id.
Windows are found and read through winprobe.exe, a small Windows helper that
runs in the same Wine prefix; keys are typed through xdotool into the X window.
The scripts that start a session set SNAPVIK_EXE, WINPROBE_EXE and SNAPVIK_WORK, and
SNAPVIK_KEYGRAB, the native key grabber that each copy gets beside it.
"""
import json
import os
import shutil
import struct
import subprocess
import tempfile
import time

SNAPVIK_EXE = os.environ.get("SNAPVIK_EXE", "")
WINPROBE_EXE = os.environ.get("WINPROBE_EXE", "")
WORK = os.environ.get("SNAPVIK_WORK", "")
KEYGRAB = os.environ.get("SNAPVIK_KEYGRAB", "")
KEYGRAB_NAME = "snapvik-keygrab"


def _given(name, value):
    if not value:
        raise RuntimeError(name + " is not set: start this through scripts/run.sh, scripts/test.sh or CTest")
    return value


FORM1_CONTROLS = ["Label1", "Label2", "Edit1", "Edit2", "cbShift", "cbAlt", "cbCtrl", "Button2", "Panel1",
                  "Button1", "sWebLabel1"]

WS_THICKFRAME = 0x00040000
WS_MAXIMIZEBOX = 0x00010000
WS_MINIMIZEBOX = 0x00020000
WS_SYSMENU = 0x00080000
WS_CAPTION = 0x00C00000
WS_TABSTOP = 0x00010000
WS_EX_APPWINDOW = 0x00040000
SS_ICON = 0x3


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wait_for(condition, timeout=20.0, interval=0.1, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


class Probe:
    """One running winprobe.exe; each ask() is one command and its JSON answer."""

    def __init__(self):
        self.proc = subprocess.Popen(["wine", _given("WINPROBE_EXE", WINPROBE_EXE)], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, encoding="utf-8",
                                     bufsize=1)

    def ask(self, *args):
        self.proc.stdin.write("\t".join(str(a) for a in args) + "\n")
        self.proc.stdin.flush()
        line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError("winprobe ended")
        return json.loads(line)

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()


def xdotool(*args):
    return subprocess.run(["xdotool", *[str(a) for a in args]], check=True, capture_output=True,
                          text=True).stdout.strip()


def x_windows(*criteria):
    """X windows matching xdotool search criteria; none is not an error."""
    found = subprocess.run(["xdotool", "search", *[str(c) for c in criteria]], capture_output=True, text=True)
    return found.stdout.split()


DENSITY_KEY = "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts"


def set_display_density(dpi):
    """The pixels per inch that Wine reports to programs started from now on."""
    subprocess.run(["wine", "reg", "add", DENSITY_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                   check=True, capture_output=True)


def read_bmp(path):
    """A file the program wrote: header fields and the pixel rows, top row first, as written (padding included)."""
    with open(path, "rb") as f:
        data = f.read()
    return parse_bmp(data)


def parse_bmp(data):
    (magic, file_size, _r1, _r2, offset, header_size, width, height, planes, bits, compression, image_size,
     _xppm, _yppm, colours_used, _important) = struct.unpack_from("<2sIHHIIiiHHIIiiII", data, 0)
    row = ((width * bits + 31) // 32) * 4
    rows = [data[offset + row * (height - 1 - y):offset + row * (height - y)] for y in range(height)]
    table = [tuple(data[54 + 4 * k:54 + 4 * k + 3]) for k in range(colours_used if bits <= 8 else 0)]
    return dict(table=table, magic=magic, file_size=file_size, length=len(data), offset=offset, header_size=header_size,
                width=width, height=height, planes=planes, bits=bits, compression=compression,
                image_size=image_size, colours_used=colours_used, row=row, rows=rows)


def paint_screen(width, height, path):
    """Puts a distinctive picture on the root window, so that a capture has something to show."""
    if not os.path.exists(path):
        subprocess.run(["convert", "-size", "%dx%d" % (width // 4, height // 4), "-seed", "7", "plasma:red-blue",
                        "-resize", "%dx%d!" % (width, height), "-fill", "yellow", "-draw", "circle 300,300 300,420",
                        "-fill", "black", "-draw", "rectangle %d,100 %d,%d" % (width - 400, width - 250, height - 100),
                        "-fill", "white", "-draw", "point 0,0", "-draw", "point %d,%d" % (width - 1, height - 1),
                        path], check=True)
    # display exits with 1 after setting the background; the picture is there all the same.
    subprocess.run(["display", "-window", "root", path])


class SnapvikCopy:
    def __init__(self, probe, folder=None, name="Snapvik.exe", keygrab=True):
        """keygrab: the native key grabber (SNAPVIK_KEYGRAB, where set) beside the program, as the build puts it."""
        self.probe = probe
        work = _given("SNAPVIK_WORK", WORK)
        os.makedirs(work, exist_ok=True)
        self.folder = folder or tempfile.mkdtemp(prefix="run-", dir=work)
        self.exe = os.path.join(self.folder, name)
        shutil.copy(_given("SNAPVIK_EXE", SNAPVIK_EXE), self.exe)
        if keygrab and KEYGRAB:
            shutil.copy(_given("SNAPVIK_KEYGRAB", KEYGRAB), os.path.join(self.folder, KEYGRAB_NAME))
        self.settings = os.path.join(self.folder, "opt.dat")
        self.proc = None

    # Files.
    def write_settings(self, data):
        with open(self.settings, "wb") as f:
            f.write(data)

    def read_settings(self):
        with open(self.settings, "rb") as f:
            return f.read()

    # The process.
    def start(self, *args, env=None):
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.proc = subprocess.Popen(["wine", self.exe, *args], cwd=self.folder, env=full_env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self

    def launch(self, show_command):
        """Started by winprobe with a show state, as a launching shell asks for one."""
        pid = self.probe.ask("launch", win_path(self.exe), show_command)
        if not pid:
            raise AssertionError("could not launch " + self.exe)
        return self

    def windows_of(self, cls):
        return [w for w in self.windows() if w["class"] == cls]

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=15):
        return self.proc.wait(timeout=timeout)

    def stop(self):
        # A copy started through "start" is not our child: end it by its Windows id.
        for pid in {w["pid"] for w in self.windows()}:
            self.probe.ask("terminate", pid)
        if self.running():
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def remove(self):
        self.stop()
        subprocess.run(["chattr", "-R", "-i", self.folder], capture_output=True)
        shutil.rmtree(self.folder, ignore_errors=True)

    # Windows.
    def windows(self):
        return self.probe.ask("windows", win_path(self.exe))

    def visible(self, cls):
        return [w for w in self.windows() if w["class"] == cls and w["visible"]]

    def main_window(self, timeout=20):
        return wait_for(lambda: (self.visible("TForm1") or [None])[0], timeout, what="the main window")

    def message_box(self, timeout=20):
        return wait_for(lambda: (self.visible("#32770") or [None])[0], timeout, what="a message box")

    def box_text(self, box):
        for child in self.probe.ask("children", box["hwnd"]):
            if child["class"].lower() == "static" and child["text"] and (child["style"] & 0xF) != SS_ICON:
                return child["text"]
        return None

    def box_has_icon(self, box):
        return any(c.get("icon") for c in self.probe.ask("children", box["hwnd"]) if c["visible"])

    def box_buttons(self, box):
        return [c["text"] for c in self.probe.ask("children", box["hwnd"])
                if c["class"].lower() == "button" and c["visible"]]

    def dismiss(self, box):
        for child in self.probe.ask("children", box["hwnd"]):
            if child["class"].lower() == "button" and child["visible"]:
                self.probe.ask("click", child["hwnd"])
                break
        wait_for(lambda: not any(w["hwnd"] == box["hwnd"] and w["visible"] for w in self.windows()),
                 what="the message box to close")

    def controls(self, form):
        """The main window's controls by name, in creation order."""
        children = self.probe.ask("children", form["hwnd"])
        if len(children) != len(FORM1_CONTROLS):
            raise AssertionError("expected %d controls, found %d" % (len(FORM1_CONTROLS), len(children)))
        return dict(zip(FORM1_CONTROLS, children))

    def close(self, form):
        self.probe.ask("close", form["hwnd"])

    def x_window(self, title="Snapvik"):
        """The X window of a visible top-level window of this copy."""
        ids = x_windows("--all", "--onlyvisible", "--pid", self.proc.pid, "--name", "^%s$" % title)
        for wid in ids:
            if "IsViewable" in subprocess.run(["xwininfo", "-id", wid], capture_output=True, text=True).stdout:
                return wid
        raise AssertionError("no X window for " + title)

    def click(self, control):
        """A left click in the middle of a control, through X."""
        x, y, w, h = self.probe.ask("describe", control["hwnd"])["window"]
        xdotool("mousemove", "--sync", x + w // 2, y + h // 2)
        xdotool("click", "1")

    def arm(self, form, folder, key, ctrl=False, alt=False, shift=False):
        """As a user: the folder typed into the directory field, the key into the key field,
        the boxes clicked as needed, then the arm button clicked."""
        ctl = self.controls(form)
        for name, text in (("Edit1", folder), ("Edit2", key)):
            self.click(ctl[name])
            self.type_keys("End", "shift+Home")
            xdotool("type", "--delay", "5", text)
        for name, wanted in (("cbCtrl", ctrl), ("cbAlt", alt), ("cbShift", shift)):
            if bool(self.probe.ask("describe", ctl[name]["hwnd"])["checked"]) != wanted:
                self.click(ctl[name])
        self.click(ctl["Button2"])
        wait_for(lambda: self.probe.ask("describe", ctl["Edit1"]["hwnd"])["text"] == folder, what="the folder typed")
        return ctl

    def type_keys(self, *keys):
        wid = self.x_window()
        xdotool("windowfocus", "--sync", wid)
        for key in keys:
            xdotool("key", key)


class Screen:
    """A private Xvfb of the given size and depth, made the display of everything started meanwhile."""

    def __init__(self, width, height, depth):
        self.geometry = (width, height, depth)

    def __enter__(self):
        width, height, depth = self.geometry
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                      "%dx%dx%d" % (width, height, depth), "-nolisten", "tcp"],
                                     pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        self.saved_display = os.environ["DISPLAY"]
        subprocess.run(["wineserver", "-k"], capture_output=True)  # its desktop belongs to the other display
        os.environ["DISPLAY"] = ":" + number
        return self

    def __exit__(self, *exc):
        subprocess.run(["wineserver", "-k"], capture_output=True)
        os.environ["DISPLAY"] = self.saved_display
        self.xvfb.terminate()
        self.xvfb.wait()
        # Back to what the test run set up: one lasting server with its services running.
        subprocess.run(["wineserver", "-p"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=True)
        subprocess.run(["wine", "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


def x_cursor_image():
    """The X server's current cursor as (width, height, hot x, hot y, pixels), through XFixes."""
    import ctypes
    import ctypes.util

    class CursorImage(ctypes.Structure):
        _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                    ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                    ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                    ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]

    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes") or "libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(os.environ["DISPLAY"].encode())
    if not display:
        raise RuntimeError("no X display")
    try:
        image = xfixes.XFixesGetCursorImage(display)
        if not image:
            raise RuntimeError("no cursor image")
        c = image.contents
        pixels = tuple(c.pixels[i] & 0xFFFFFFFF for i in range(c.width * c.height))
        result = (c.width, c.height, c.xhot, c.yhot, pixels)
        x11.XFree(image)
        return result
    finally:
        x11.XCloseDisplay(display)


class XKeyHolder:
    """Another X client that grabs a key combination on the root window, as a desktop's shortcut does.
    grab() says whether the X server gave it; the grab lasts until close()."""
    SHIFT, CTRL, ALT = 0x1, 0x4, 0x8  # ShiftMask, ControlMask, Mod1Mask

    def __init__(self, key, modifiers):
        import ctypes
        import ctypes.util
        self.ct = ctypes
        x11 = self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XStringToKeysym.restype = ctypes.c_ulong
        x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int,
                                 ctypes.c_int, ctypes.c_int]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.errors = []
        handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        # XErrorEvent: type, display, resourceid, serial, then error_code (an unsigned char).
        offset = ctypes.sizeof(ctypes.c_int) + 3 * ctypes.sizeof(ctypes.c_void_p)
        offset += (-offset) % ctypes.sizeof(ctypes.c_void_p)
        self.handler = handler_type(lambda _d, event: self.errors.append(
            ctypes.c_ubyte.from_address(event + offset).value) or 0)
        x11.XSetErrorHandler.argtypes = [handler_type]
        x11.XSetErrorHandler(self.handler)
        # An Xvfb that its last client just left resets, and refuses connections meanwhile.
        self.display = wait_for(lambda: x11.XOpenDisplay(os.environ["DISPLAY"].encode()), timeout=10,
                                what="a connection to the X display")
        # A key symbol's name, or a key's code as it stands.
        self.code = key if isinstance(key, int) else x11.XKeysymToKeycode(self.display,
                                                                          x11.XStringToKeysym(key.encode()))
        self.modifiers = modifiers

    def grab(self):
        self.errors.clear()
        root = self.x11.XDefaultRootWindow(self.display)
        self.x11.XGrabKey(self.display, self.code, self.modifiers, root, 0, 1, 1)
        self.x11.XSync(self.display, 0)
        return not self.errors

    def lock_group(self, group):
        """Puts the keymap's layout `group` (0 the first) in use, as a layout switcher does."""
        self.x11.XkbLockGroup.argtypes = [self.ct.c_void_p, self.ct.c_uint, self.ct.c_uint]
        self.x11.XkbLockGroup(self.display, 0x100, group)  # XkbUseCoreKbd
        self.x11.XSync(self.display, 0)

    def type_code(self, code, modifiers=("Control_L", "Alt_L")):
        """Presses and lets go the key of that code with the modifier keys held, through the X test extension:
        a key by its place, whatever layout is in use."""
        xtst = self.ct.CDLL(self.ct.util.find_library("Xtst") or "libXtst.so.6")
        xtst.XTestFakeKeyEvent.argtypes = [self.ct.c_void_p, self.ct.c_uint, self.ct.c_int, self.ct.c_ulong]
        held = [self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(m.encode())) for m in modifiers]
        for key, down in [(k, 1) for k in held] + [(code, 1), (code, 0)] + [(k, 0) for k in reversed(held)]:
            xtst.XTestFakeKeyEvent(self.display, key, down, 0)
        self.x11.XSync(self.display, 0)

    def close(self):
        if self.display:
            self.x11.XCloseDisplay(self.display)
            self.display = None


def _record_types():
    """The X record extension's structures, as ctypes sees them."""
    import ctypes

    class _Range8(ctypes.Structure):
        _fields_ = [("first", ctypes.c_ubyte), ("last", ctypes.c_ubyte)]

    class _Range16(ctypes.Structure):
        _fields_ = [("first", ctypes.c_ushort), ("last", ctypes.c_ushort)]

    class _ExtRange(ctypes.Structure):
        _fields_ = [("ext_major", _Range8), ("ext_minor", _Range16)]

    class _Range(ctypes.Structure):
        _fields_ = [("core_requests", _Range8), ("core_replies", _Range8), ("ext_requests", _ExtRange),
                    ("ext_replies", _ExtRange), ("delivered_events", _Range8), ("device_events", _Range8),
                    ("errors", _Range8), ("client_started", ctypes.c_int), ("client_died", ctypes.c_int)]

    class _Intercept(ctypes.Structure):
        _fields_ = [("id_base", ctypes.c_ulong), ("server_time", ctypes.c_ulong), ("client_seq", ctypes.c_ulong),
                    ("category", ctypes.c_int), ("client_swapped", ctypes.c_int),
                    ("data", ctypes.POINTER(ctypes.c_ubyte)), ("data_len", ctypes.c_ulong)]

    return _Range, _Intercept


class XKeyWitness:
    """Sees every key press the X server makes, the keyboard's repeats included, whoever gets it (a grabbing
    client too), through the X record extension. stop() ends it and gives the presses' key codes."""

    def __init__(self):
        import ctypes
        import ctypes.util
        import threading
        x11 = self.x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        tst = self.tst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        _Range, _Intercept = _record_types()
        tst.XRecordAllocRange.restype = ctypes.POINTER(_Range)
        tst.XRecordCreateContext.restype = ctypes.c_ulong
        tst.XRecordCreateContext.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.POINTER(ctypes.c_ulong),
                                             ctypes.c_int, ctypes.POINTER(ctypes.POINTER(_Range)), ctypes.c_int]
        self.proc_type = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(_Intercept))
        tst.XRecordEnableContext.argtypes = [ctypes.c_void_p, ctypes.c_ulong, self.proc_type, ctypes.c_void_p]
        tst.XRecordDisableContext.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        tst.XRecordFreeContext.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        tst.XRecordFreeData.argtypes = [ctypes.POINTER(_Intercept)]
        # One connection asks, the other one receives what is recorded.
        self.control = x11.XOpenDisplay(os.environ["DISPLAY"].encode())
        self.data = x11.XOpenDisplay(os.environ["DISPLAY"].encode())
        r = tst.XRecordAllocRange()
        r.contents.device_events.first = r.contents.device_events.last = 2  # KeyPress
        self.range = r
        clients = ctypes.c_ulong(3)  # XRecordAllClients
        self.context = tst.XRecordCreateContext(self.control, 0, ctypes.byref(clients), 1, ctypes.byref(r), 1)
        x11.XSync(self.control, 0)
        self.presses = []  # key codes, in order
        self.proc = self.proc_type(self._seen)
        self.thread = threading.Thread(
            target=lambda: tst.XRecordEnableContext(self.data, self.context, self.proc, None))
        self.thread.start()

    def _seen(self, _closure, data):
        d = data.contents
        if d.category == 0 and d.data_len and d.data[0] == 2:  # from the server: a KeyPress, its key code next
            self.presses.append(d.data[1])
        self.tst.XRecordFreeData(data)

    def listening(self):
        """Returns once it records: a lone Shift, until one is seen, shows it (and forgets them)."""
        wait_for(lambda: xdotool("key", "shift") or self.presses, interval=0.2, what="the witness to record")
        self.presses.clear()

    def stop(self):
        self.tst.XRecordDisableContext(self.control, self.context)
        self.x11.XSync(self.control, 0)
        self.thread.join()
        self.tst.XRecordFreeContext(self.control, self.context)
        self.x11.XCloseDisplay(self.data)
        self.x11.XCloseDisplay(self.control)
        return self.presses


def keygrab_processes(folder):
    """The process ids of native key grabbers started from a copy's folder."""
    mark = (win_path(folder) + "\\" + KEYGRAB_NAME).encode()
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                if f.read().split(b"\0")[0] == mark:
                    found.append(int(pid))
        except OSError:
            pass
    return found
