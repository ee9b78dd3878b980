"""The screen as xwd sees it and as Snapvik wrote it (drive.read_bmp), reduced to comparable rows."""
import struct
import subprocess


def read_xwd(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack_from(">25I", data, 0)
    (header_size, _version, _format, depth, width, height, _xoffset, byte_order, _unit, _bit_order, _pad,
     bits, bytes_per_line, _visual, red_mask, green_mask, blue_mask, _bits_rgb, _entries, ncolors) = fields[:20]
    colormap = {}
    for k in range(ncolors):
        pixel, red, green, blue = struct.unpack_from(">IHHH", data, header_size + 12 * k)
        colormap[pixel] = (red >> 8, green >> 8, blue >> 8)
    start = header_size + 12 * ncolors
    rows = [data[start + bytes_per_line * y:start + bytes_per_line * (y + 1)] for y in range(height)]
    return dict(depth=depth, width=width, height=height, bits=bits, byte_order=byte_order,
                masks=(red_mask, green_mask, blue_mask), colormap=colormap, rows=rows)


def take_xwd(path):
    subprocess.run(["xwd", "-root", "-silent", "-out", path], check=True)
    return read_xwd(path)


def rgb_rows_32(bmp):
    """Blue, green, red of each pixel, the fourth byte left out."""
    w = bmp["width"]
    return [r[0:w * 4:4] + r[1:w * 4:4] + r[2:w * 4:4] for r in bmp["rows"]]


def xwd_rgb_rows_32(xwd):
    """Blue, green, red as rgb_rows_32 gives them, whichever byte order xwd wrote."""
    w = xwd["width"]
    step = xwd["bits"] // 8  # Xvfb's xwd writes 24-bit screens with 3 bytes a pixel
    assert step in (3, 4) and xwd["masks"] == (0xFF0000, 0x00FF00, 0x0000FF)
    b, g, r = (0, 1, 2) if xwd["byte_order"] == 0 else (step - 1, step - 2, step - 3)
    return [row[b:w * step:step] + row[g:w * step:step] + row[r:w * step:step] for row in xwd["rows"]]


def xwd_rgb_rows(xwd):
    """Blue, green, red planes of each row of a 24- or 32-bit xwd image."""
    if xwd["bits"] in (24, 32) and xwd["masks"] == (0xFF0000, 0x00FF00, 0x0000FF):
        return xwd_rgb_rows_32(xwd)
    raise AssertionError("xwd wrote a %d-bit image; this reader takes 24 and 32" % xwd["bits"])


def xwd_pixel_values(xwd, y):
    """The screen's own pixel values in row y. With windows of several visuals on the
    screen (as Wine makes them) xwd puts a 16-bit screen's values into 24-bit pixels."""
    step = xwd["bits"] // 8
    row = xwd["rows"][y]
    order = range(step) if xwd["byte_order"] == 0 else range(step - 1, -1, -1)
    return [sum(row[x * step + k] << (8 * n) for n, k in enumerate(order)) for x in range(xwd["width"])]


def mismatched_rows_16(bmp, xwd):
    """Rows where the 5-5-5 file differs from the 5-6-5 screen with green's lowest bit dropped."""
    import array
    w = bmp["width"]
    bad = []
    for y in range(bmp["height"]):
        saved = array.array("H", bmp["rows"][y][:2 * w])
        expected = array.array("H", [((p >> 11) << 10) | (((p >> 6) & 31) << 5) | (p & 31)
                                     for p in xwd_pixel_values(xwd, y)])
        if array.array("H", [p & 0x7FFF for p in saved]) != expected:
            bad.append(y)
    return bad


def mismatched_pixels_8(bmp, xwd, area):
    """The pixels of `area` (left, top, width, height) that show another colour in the
    file, through its table, than xwd saw on the screen: (x, y, in the file, on screen)."""
    w = bmp["width"]
    table = bmp["table"]
    rows = xwd_rgb_rows(xwd)
    left, top, width, height = area
    bad = []
    for y in range(top, top + height):
        saved, shown = bmp["rows"][y], rows[y]
        for x in range(left, left + width):
            on_screen = (shown[x], shown[w + x], shown[2 * w + x])
            if table[saved[x]] != on_screen:
                bad.append((x, y, table[saved[x]], on_screen))
    return bad
