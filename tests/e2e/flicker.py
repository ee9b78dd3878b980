"""A native X client that covers the whole screen with one colour after another, as fast as the
X server takes them, each change a single fill of the whole window. Prints "ready" once the first
fill is on the screen and goes on until it is ended.

    python3 flicker.py RRGGBB [RRGGBB ...]
"""
import ctypes
import ctypes.util
import sys


def main(colours):
    x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XRootWindow.restype = ctypes.c_ulong
    x.XRootWindow.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XDefaultScreen.argtypes = [ctypes.c_void_p]
    x.XDisplayWidth.argtypes = x.XDisplayHeight.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XCreateSimpleWindow.restype = ctypes.c_ulong
    x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                      ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
    x.XMapRaised.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x.XCreateGC.restype = ctypes.c_void_p
    x.XCreateGC.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_void_p]
    x.XSetForeground.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_ulong]
    x.XFillRectangle.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                 ctypes.c_uint, ctypes.c_uint]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]

    display = x.XOpenDisplay(None)
    if not display:
        sys.exit("flicker: cannot open the display")
    screen = x.XDefaultScreen(display)
    width, height = x.XDisplayWidth(display, screen), x.XDisplayHeight(display, screen)
    window = x.XCreateSimpleWindow(display, x.XRootWindow(display, screen), 0, 0, width, height, 0, 0, colours[0])
    x.XMapRaised(display, window)
    gc = x.XCreateGC(display, window, 0, None)
    fill, choose, flush = x.XFillRectangle, x.XSetForeground, x.XFlush

    # Mapped and filled before anyone is told: the first colour is on the screen.
    x.XSync(display, 0)
    choose(display, gc, colours[0])
    fill(display, window, gc, 0, 0, width, height)
    x.XSync(display, 0)
    print("ready", flush=True)
    while True:
        for colour in colours:
            choose(display, gc, colour)
            fill(display, window, gc, 0, 0, width, height)
            flush(display)


if __name__ == "__main__":
    main([int(c, 16) for c in sys.argv[1:]] or [0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00])
