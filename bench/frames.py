"""A native X program in front of everything: a full-screen window that shows the root window's
picture, with a mark in its top-left corner that codes a frame number.

    python3 frames.py TIMES_FILE [--still]

It prints its X window's id once its first frame is on the screen. With --still it then only
waits; otherwise it paints frame after frame, each one request (so a screenshot never holds half of
one), each sent as soon as the server has taken the one before. When its standard input closes it
writes, as native doubles, the monotonic clock's time at which each frame's request was sent
(frame 0 first) into TIMES_FILE, and ends.

The mark: BITS blocks, bit i of the number black (0) or white (1) in block i, then the same bits
inverted, so that a mark that is not whole never reads as a number (mark_number)."""
import array
import ctypes
import ctypes.util
import sys
import threading
import time

BITS = 24
BLOCK = 8  # pixels, each side
MARK_WIDTH = 2 * BITS * BLOCK
WHITE, BLACK = 0xFFFFFF, 0x000000
PARENT_RELATIVE = 1
Z_PIXMAP = 2


def mark_number(pixel):
    """The frame number of a mark, read through pixel(x, y) -> (r, g, b); None when the mark is not whole."""
    bits = []
    for i in range(2 * BITS):
        r, g, b = pixel(i * BLOCK + BLOCK // 2, BLOCK // 2)
        if max(r, g, b) > 200 and min(r, g, b) > 200:
            bits.append(1)
        elif max(r, g, b) < 55:
            bits.append(0)
        else:
            return None
    if any(bits[i] == bits[BITS + i] for i in range(BITS)):
        return None
    return sum(bit << i for i, bit in enumerate(bits[:BITS]))


def mark_rows(number):
    """The mark of `number` as 32-bit pixels (BGRX), BLOCK rows of MARK_WIDTH."""
    white, black = b"\xff\xff\xff\x00" * BLOCK, b"\x00\x00\x00\x00" * BLOCK
    bits = [(number >> i) & 1 for i in range(BITS)]
    row = b"".join(white if bit else black for bit in bits + [1 - bit for bit in bits])
    return row * BLOCK


def x11():
    x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultScreen.argtypes = [ctypes.c_void_p]
    x.XRootWindow.restype = ctypes.c_ulong
    x.XRootWindow.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XDisplayWidth.argtypes = x.XDisplayHeight.argtypes = x.XDefaultDepth.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XDefaultVisual.restype = ctypes.c_void_p
    x.XDefaultVisual.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XCreateSimpleWindow.restype = ctypes.c_ulong
    x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                      ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
    x.XSetWindowBackgroundPixmap.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
    x.XStoreName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_char_p]
    x.XMapRaised.argtypes = x.XClearWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x.XCreateGC.restype = ctypes.c_void_p
    x.XCreateGC.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_void_p]
    x.XCreateImage.restype = ctypes.c_void_p
    x.XCreateImage.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_int,
                               ctypes.c_void_p, ctypes.c_uint, ctypes.c_uint, ctypes.c_int, ctypes.c_int]
    x.XPutImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int,
                            ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    return x


def main(times_file, still):
    x = x11()
    display = x.XOpenDisplay(None)
    if not display:
        sys.exit("frames: cannot open the display")
    screen = x.XDefaultScreen(display)
    if x.XDefaultDepth(display, screen) not in (24, 32):
        sys.exit("frames: needs a 24- or 32-bit screen")
    width, height = x.XDisplayWidth(display, screen), x.XDisplayHeight(display, screen)
    window = x.XCreateSimpleWindow(display, x.XRootWindow(display, screen), 0, 0, width, height, 0, 0, 0)
    x.XSetWindowBackgroundPixmap(display, window, PARENT_RELATIVE)  # the root's picture shows through
    x.XStoreName(display, window, b"snapvik-bench-frames")
    x.XMapRaised(display, window)
    x.XClearWindow(display, window)
    gc = x.XCreateGC(display, window, 0, None)
    visual = x.XDefaultVisual(display, screen)
    depth = x.XDefaultDepth(display, screen)

    # One image whose pixels are rewritten for each frame; both live until the program ends.
    pixels = ctypes.create_string_buffer(MARK_WIDTH * BLOCK * 4)
    image = x.XCreateImage(display, visual, depth, Z_PIXMAP, 0, ctypes.addressof(pixels), MARK_WIDTH,
                           BLOCK, 32, 0)
    memmove, putimage = ctypes.memmove, x.XPutImage

    def put(number):
        memmove(pixels, mark_rows(number), MARK_WIDTH * BLOCK * 4)
        putimage(display, window, gc, image, 0, 0, 0, 0, MARK_WIDTH, BLOCK)

    times = array.array("d")
    done = threading.Event()

    def until_closed():
        sys.stdin.read()
        done.set()

    threading.Thread(target=until_closed, daemon=True).start()
    times.append(time.monotonic())
    put(0)
    x.XSync(display, 0)
    print("0x%x" % window, flush=True)
    if still:
        done.wait()
    else:
        number, last = 1, (1 << BITS) - 1
        clock, sync = time.monotonic, x.XSync
        while not done.is_set() and number < last:
            times.append(clock())
            put(number)
            sync(display, 0)
            number += 1
    with open(times_file, "wb") as f:
        times.tofile(f)


if __name__ == "__main__":
    main(sys.argv[1], "--still" in sys.argv[2:])
