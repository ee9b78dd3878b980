"""The screen as xwd sees it and as Snapvik wrote it, reduced to comparable rows."""
import struct
import subprocess


def read_bmp(path):
    """Header fields and the pixel rows, top row first, as written (padding included)."""
    with open(path, "rb") as f:
        data = f.read()
    (magic, file_size, _r1, _r2, offset, header_size, width, height, planes, bits, compression, image_size,
     _xppm, _yppm, colours_used, _important) = struct.unpack_from("<2sIHHIIiiHHIIiiII", data, 0)
    row = ((width * bits + 31) // 32) * 4
    rows = [data[offset + row * (height - 1 - y):offset + row * (height - y)] for y in range(height)]
    return dict(magic=magic, file_size=file_size, length=len(data), offset=offset, header_size=header_size,
                width=width, height=height, planes=planes, bits=bits, compression=compression,
                image_size=image_size, colours_used=colours_used, row=row, rows=rows)


def read_xwd(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack_from(">25I", data, 0)
    (header_size, _version, _format, depth, width, height, _xoffset, byte_order, _unit, _bit_order, _pad,
     bits, bytes_per_line, _visual, red_mask, green_mask, blue_mask, _bits_rgb, _entries, ncolors) = fields[:20]
    start = header_size + 12 * ncolors
    rows = [data[start + bytes_per_line * y:start + bytes_per_line * (y + 1)] for y in range(height)]
    return dict(depth=depth, width=width, height=height, bits=bits, byte_order=byte_order,
                masks=(red_mask, green_mask, blue_mask), rows=rows)


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


def mismatched_rows_16(bmp, xwd):
    """Rows where the 5-5-5 file and the 5-6-5 screen disagree once green loses its lowest bit."""
    import array
    w = bmp["width"]
    bad = []
    for y in range(bmp["height"]):
        saved = array.array("H", bmp["rows"][y][:2 * w])
        shown = array.array("H", xwd["rows"][y][:2 * w])
        if xwd["byte_order"] == 1:
            shown.byteswap()
        expected = array.array("H", [((p >> 11) << 10) | (((p >> 6) & 31) << 5) | (p & 31) for p in shown])
        if array.array("H", [p & 0x7FFF for p in saved]) != expected:
            bad.append(y)
    return bad
