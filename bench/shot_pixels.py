"""The top rows of a screenshot file, whatever wrote it: BMP (bottom-up or top-down, 24 or 32 bits),
PNG (8-bit RGB or RGBA, not interlaced) and XWD (24 or 32 bits a pixel, ZPixmap). Only the rows asked
for are decoded, so reading the mark of a full-screen shot takes a moment.

    top_rows(path, count) -> (width, pixel)   with pixel(x, y) -> (r, g, b) for y < count
    whole(path) -> whether the file holds as many bytes as its own header says (PNG: its end chunk)
"""
import os
import struct
import zlib


class UnknownImage(Exception):
    pass


def _bmp(data, count):
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits not in (24, 32) or compression not in (0, 3):
        raise UnknownImage("BMP of %d bits, compression %d" % (bits, compression))
    step = bits // 8
    stride = (width * bits + 31) // 32 * 4
    rows = abs(height)

    def pixel(x, y):
        at = offset + stride * (rows - 1 - y if height > 0 else y) + step * x
        b, g, r = data[at:at + 3]
        return r, g, b

    return width, pixel


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def _png(data, count):
    at = 8
    idat = zlib.decompressobj()
    width = channels = None
    rows, raw = [], b""
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            width, _height, depth, colour, _c, _f, interlace = struct.unpack(">IIBBBBB", body)
            channels = {2: 3, 6: 4}.get(colour)
            if depth != 8 or not channels or interlace:
                raise UnknownImage("PNG of depth %d, colour type %d, interlace %d" % (depth, colour, interlace))
        elif kind == b"IDAT":
            raw += idat.decompress(body)
            stride = 1 + width * channels
            while len(raw) >= stride and len(rows) < count:
                line, raw = raw[:stride], raw[stride:]
                kind_of_filter, line = line[0], bytearray(line[1:])
                prior = rows[-1] if rows else bytearray(len(line))
                for i in range(len(line)):
                    left = line[i - channels] if i >= channels else 0
                    up = prior[i]
                    corner = prior[i - channels] if i >= channels else 0
                    line[i] = (line[i] + (0, left, up, (left + up) // 2, _paeth(left, up, corner))[kind_of_filter]) & 255
                rows.append(line)
            if len(rows) >= count:
                break
    if len(rows) < count:
        raise UnknownImage("PNG with fewer than %d rows" % count)

    def pixel(x, y):
        r, g, b = rows[y][channels * x:channels * x + 3]
        return r, g, b

    return width, pixel


def _xwd(data, count):
    fields = struct.unpack_from(">25I", data, 0)
    header_size, version, pixmap_format, _depth, width, _height, _xoffset, byte_order = fields[:8]
    bits, stride, ncolours = fields[11], fields[12], fields[19]
    if version != 7 or pixmap_format != 2 or bits not in (24, 32):
        raise UnknownImage("XWD version %d, format %d, %d bits" % (version, pixmap_format, bits))
    red, green, blue = fields[14:17]
    start = header_size + 12 * ncolours
    step = bits // 8

    def channel(value, mask):
        shift = (mask & -mask).bit_length() - 1
        return (value & mask) >> shift

    def pixel(x, y):
        at = start + stride * y + step * x
        value = int.from_bytes(data[at:at + step], "little" if byte_order == 0 else "big")
        return channel(value, red), channel(value, green), channel(value, blue)

    return width, pixel


def top_rows(path, count):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"BM":
        return _bmp(data, count)
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return _png(data, count)
    if len(data) > 8 and struct.unpack_from(">I", data, 4)[0] == 7:
        return _xwd(data, count)
    raise UnknownImage("not BMP, PNG or XWD: " + path)


def whole(path):
    """Whether the file is complete by its own header: a tool may open its file, close it empty and
    write it later, or write it in many pieces, so a close alone does not say the file is done.
    Reads the header and the last bytes only, so that it can be asked often."""
    try:
        with open(path, "rb") as f:
            head = f.read(100)
            size = os.fstat(f.fileno()).st_size
            f.seek(max(0, size - 12))
            tail = f.read(12)
    except OSError:
        return False
    if head[:2] == b"BM" and len(head) >= 30:
        offset, = struct.unpack_from("<I", head, 10)
        width, height, _planes, bits = struct.unpack_from("<iiHH", head, 18)
        return size >= offset + (width * bits + 31) // 32 * 4 * abs(height)
    if head[:8] == b"\x89PNG\r\n\x1a\n":
        return tail == b"\0\0\0\0IEND\xaeB`\x82"
    if len(head) == 100 and struct.unpack_from(">I", head, 4)[0] == 7:
        fields = struct.unpack_from(">25I", head, 0)
        header_size, height, stride, ncolours = fields[0], fields[5], fields[12], fields[19]
        return size >= header_size + 12 * ncolours + stride * height
    return False
