#!/usr/bin/env python3
"""Draws Tolvex's artwork: the application icon and the two toolbar bitmaps.

    python3 tools/make_art.py           write res/tolvex.ico, res/open.bmp and
                                        res/save.bmp, then verify them
    python3 tools/make_art.py --check   only verify: the files must decode, have
                                        the expected formats, and match what
                                        this script draws now

Everything is drawn here pixel by pixel with a few small primitives, so the
output is identical on every run and needs nothing beyond the standard library.
"""

import math
import struct
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
RES = ROOT / "res"

# Toolbar button face; every pixel the bitmaps leave unpainted keeps this colour.
BUTTON_FACE = (236, 233, 216)
TOOLBAR_SIZE = 25
ICON_SIZE = 32

# The standard 16-colour VGA palette, by index.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
CLEAR = None  # icon pixel left transparent


class Canvas:
    """A grid of colours (RGB tuples or palette indices), y growing downwards."""

    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.px = [[fill] * width for _ in range(height)]

    def set(self, x, y, c):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Filled rectangle, both corners inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        """Rectangle outline, both corners inclusive."""
        self.line(x0, y0, x1, y0, c)
        self.line(x0, y1, x1, y1, c)
        self.line(x0, y0, x0, y1, c)
        self.line(x1, y0, x1, y1, c)

    def line(self, x0, y0, x1, y1, c):
        """Bresenham line, both ends inclusive."""
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x1 > x0 else -1), (1 if y1 > y0 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def polygon(self, pts, fill, outline=None):
        """Filled polygon through pixel centres; `fill` may be a function of y."""
        shade = fill if callable(fill) else (lambda y: fill)
        for x, y in polygon_pixels(pts):
            self.set(x, y, shade(y))
        if outline is not None:
            for (ax, ay), (bx, by) in zip(pts, pts[1:] + pts[:1]):
                self.line(ax, ay, bx, by, outline)

    def shape(self, pixels, fill, edge):
        """Paint a set of pixels and ring it with a one-pixel edge, corners
        included, so joined pieces share a single clean outline."""
        for x, y in pixels:
            for nx in (x - 1, x, x + 1):
                for ny in (y - 1, y, y + 1):
                    if (nx, ny) not in pixels:
                        self.set(nx, ny, edge)
        for x, y in pixels:
            self.set(x, y, fill)


def polygon_pixels(pts):
    ys = [p[1] for p in pts]
    xs = [p[0] for p in pts]
    return {(x, y)
            for y in range(min(ys), max(ys) + 1)
            for x in range(min(xs), max(xs) + 1)
            if _inside(pts, x, y)}


def arc_pixels(cx, cy, rx, ry, a0, a1, width):
    """Band of an ellipse between angles a0..a1 (degrees, counter-clockwise
    from 3 o'clock, as on paper), `width` pixels thick, inward from rx/ry."""
    band = set()
    for y in range(math.floor(cy - ry), math.ceil(cy + ry) + 1):
        for x in range(math.floor(cx - rx), math.ceil(cx + rx) + 1):
            dx, dy = x - cx, cy - y
            outer = (dx / rx) ** 2 + (dy / ry) ** 2
            inner = (dx / (rx - width)) ** 2 + (dy / (ry - width)) ** 2
            angle = math.degrees(math.atan2(dy, dx)) % 360
            if outer <= 1.0 <= inner and a0 <= angle <= a1:
                band.add((x, y))
    return band


def _inside(pts, x, y):
    """Point in polygon (even-odd), counting points on an edge as inside."""
    hit = False
    for (ax, ay), (bx, by) in zip(pts, pts[1:] + pts[:1]):
        if (ay > y) != (by > y):
            cross = ax + (y - ay) * (bx - ax) / (by - ay)
            if x < cross:
                hit = not hit
            elif x == cross:
                return True
        elif ay == by == y and min(ax, bx) <= x <= max(ax, bx):
            return True
    return hit


def blend(a, b, t):
    """Colour between a (t=0) and b (t=1)."""
    return tuple(round(p + (q - p) * t) for p, q in zip(a, b))


# ---------------------------------------------------------------- open.bmp

def draw_open():
    cv = Canvas(TOOLBAR_SIZE, TOOLBAR_SIZE, BUTTON_FACE)
    brown = (122, 82, 8)
    back = (214, 160, 40)
    back_dark = (176, 124, 20)
    front_hi = (255, 244, 160)
    front_lo = (240, 188, 56)

    # Back of the folder with its tab.
    cv.rect(1, 11, 18, 23, back)
    cv.rect(2, 9, 7, 11, back)
    cv.frame(1, 11, 18, 23, brown)
    cv.line(2, 9, 7, 9, brown)
    cv.line(1, 10, 1, 11, brown)
    cv.line(8, 10, 9, 11, brown)
    cv.line(2, 12, 17, 12, back_dark)

    # A sheet of paper standing inside.
    cv.rect(4, 13, 15, 18, (255, 255, 255))
    cv.frame(4, 13, 15, 18, (150, 150, 150))

    # Front flap, tilted open, lighter towards its upper edge.
    top, bottom = 15, 23
    cv.polygon([(6, top), (23, top), (18, bottom), (1, bottom)],
               lambda y: blend(front_hi, front_lo, (y - top) / (bottom - top)),
               brown)
    cv.line(7, top + 1, 21, top + 1, (255, 255, 220))

    # Curved arrow sweeping over the folder and down into it on the right.
    arrow = arc_pixels(11.5, 10.5, 7.5, 6.5, 0, 150, 1.6)
    arrow |= polygon_pixels([(15, 11), (21, 11), (18, 14)])
    cv.shape(arrow, (40, 120, 230), (0, 44, 130))
    for x, y in arrow:
        if (x, y - 1) not in arrow:
            cv.set(x, y, (130, 190, 255))  # lit from above
    return cv


# ---------------------------------------------------------------- save.bmp

def draw_save():
    cv = Canvas(TOOLBAR_SIZE, TOOLBAR_SIZE, BUTTON_FACE)
    black = (0, 0, 0)
    body = (48, 48, 48)
    body_hi = (112, 112, 112)
    metal = (196, 196, 196)
    metal_dark = (128, 128, 128)
    olive = (128, 128, 0)
    khaki = (214, 206, 140)

    # Body, with the bevelled top-right corner and a lit left and top edge.
    cv.polygon([(2, 2), (20, 2), (22, 4), (22, 22), (2, 22)], body, black)
    cv.line(3, 3, 3, 21, body_hi)
    cv.line(3, 3, 19, 3, body_hi)
    cv.line(20, 3, 21, 4, body_hi)

    # Metal shutter at the top, with its window.
    cv.rect(7, 3, 17, 9, metal)
    cv.frame(7, 3, 17, 9, metal_dark)
    cv.line(8, 4, 16, 4, (236, 236, 236))
    cv.rect(13, 5, 15, 8, black)

    # Khaki label across the lower half.
    cv.rect(5, 12, 19, 21, khaki)
    cv.frame(5, 12, 19, 21, olive)
    cv.line(6, 13, 18, 13, (240, 236, 196))
    for y in (15, 18):
        cv.line(7, y, 17, y, olive)

    # Write-protect notch.
    cv.rect(3, 19, 4, 20, metal_dark)
    return cv


# ---------------------------------------------------------------- tolvex.ico

def draw_icon():
    cv = Canvas(ICON_SIZE, ICON_SIZE, CLEAR)

    # Newspaper page with a dog-eared top-right corner.
    cv.polygon([(3, 2), (21, 2), (26, 7), (26, 29), (3, 29)], WHITE, BLACK)
    cv.polygon([(21, 2), (21, 7), (26, 7)], SILVER, BLACK)
    cv.line(4, 30, 27, 30, GREY)
    cv.line(27, 8, 27, 30, GREY)

    # Masthead and rule.
    cv.rect(6, 5, 18, 7, NAVY)
    cv.line(6, 9, 23, 9, BLACK)

    # Picture in the left column, text lines around it.
    cv.rect(6, 12, 13, 17, AQUA)
    cv.frame(6, 12, 13, 17, TEAL)
    cv.rect(10, 13, 11, 14, YELLOW)     # sun
    cv.line(7, 16, 12, 16, GREEN)       # hill
    cv.line(8, 15, 10, 15, GREEN)
    for y in range(12, 27, 2):
        cv.line(16, y, 23, y, GREY)
    for y in range(20, 27, 2):
        cv.line(6, y, 13, y, GREY)

    draw_pencil(cv)
    return cv


def draw_pencil(cv):
    """Pencil lying at 45 degrees, tip at the lower left, writing on the page.

    Along the pencil x+y stays constant, so bands of u = x+y run across it and
    v = y-x measures the distance along it (tip at the largest v)."""
    axis, tip, end = 44, 14, -16
    for y in range(ICON_SIZE):
        for x in range(ICON_SIZE):
            u, v = x + y - axis, y - x
            if not end <= v <= tip:
                continue
            half = 2 if v < tip - 5 else (tip - v) * 2 // 5  # sharpened cone
            if abs(u) > half:
                continue
            if v >= tip - 1:
                c = BLACK                       # graphite point
            elif v >= tip - 5:
                c = BLACK if abs(u) == half else SILVER  # bare wood
            elif v <= end + 2:
                c = BLACK if abs(u) == 2 or v == end else RED  # eraser
            elif v <= end + 4:
                c = BLACK if abs(u) == 2 else SILVER  # metal ferrule
            else:
                c = BLACK if abs(u) == 2 else (OLIVE if u > 0 else YELLOW)
            cv.set(x, y, c)


# ---------------------------------------------------------------- file formats

def bmp24(cv):
    """Uncompressed 24-bit BMP, rows bottom-up and padded to 4 bytes."""
    stride = (cv.width * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(cv.height)):
        row = bytearray()
        for r, g, b in cv.px[y]:
            row += bytes((b, g, r))
        pixels += row.ljust(stride, b"\0")
    header = struct.pack("<IiiHHIIiiII", 40, cv.width, cv.height, 1, 24, 0,
                         len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(header)
    return (b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
            + header + pixels)


def ico4(cv):
    """Icon file holding one 4-bit image; CLEAR pixels become transparent."""
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(cv.height)):
        idx = [0 if c is CLEAR else c for c in cv.px[y]]
        row = bytearray((idx[x] << 4) | idx[x + 1] for x in range(0, cv.width, 2))
        xor += row.ljust((len(row) + 3) & ~3, b"\0")
        bits = 0
        for c in cv.px[y]:
            bits = (bits << 1) | (c is CLEAR)
        row = bits.to_bytes(cv.width // 8, "big")
        mask += row.ljust((len(row) + 3) & ~3, b"\0")
    header = struct.pack("<IiiHHIIiiII", 40, cv.width, cv.height * 2, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    image = header + palette + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", cv.width, cv.height, 16, 0, 1, 4,
                        len(image), 6 + 16)
    return directory + entry + image


def render():
    return {
        "tolvex.ico": ico4(draw_icon()),
        "open.bmp": bmp24(draw_open()),
        "save.bmp": bmp24(draw_save()),
    }


# ---------------------------------------------------------------- checking

def expect(ok, what):
    if not ok:
        sys.exit(f"make_art: {what}")


def read_bmp24(data):
    """Decode what bmp24 writes; returns rows of RGB tuples, top row first."""
    expect(data[:2] == b"BM", "not a BMP")
    size, _, _, offset = struct.unpack_from("<IHHI", data, 2)
    expect(size == len(data) and offset == 54, "BMP file header")
    (hsize, w, h, planes, bpp, comp, isize,
     _, _, _, _) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    expect((hsize, planes, bpp, comp) == (40, 1, 24, 0), "BMP is not plain 24-bit")
    stride = (w * 3 + 3) & ~3
    expect(h > 0 and isize == stride * h == len(data) - offset,
           "BMP pixel data size")
    rows = []
    for y in range(h):
        at = offset + (h - 1 - y) * stride
        rows.append([tuple(data[at + 3 * x: at + 3 * x + 3][::-1]) for x in range(w)])
        expect(not any(data[at + 3 * w: at + stride]), "row padding not zero")
    return rows


def read_ico4(data):
    """Decode what ico4 writes; returns rows of palette indices (None where
    transparent), top row first."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    expect((reserved, kind, count) == (0, 1, 1), "icon directory")
    w, h, colours, res0, planes, bpp, nbytes, offset = struct.unpack_from(
        "<BBBBHHII", data, 6)
    expect((w, h, colours, res0, planes, bpp) == (32, 32, 16, 0, 1, 4),
           "icon entry is not 32 x 32, 16 colours")
    expect(offset == 22 and offset + nbytes == len(data), "icon entry offset/size")
    (hsize, bw, bh, bplanes, bbpp, comp, isize,
     _, _, used, _) = struct.unpack_from("<IiiHHIIiiII", data, offset)
    expect((hsize, bw, bh, bplanes, bbpp, comp) == (40, 32, 64, 1, 4, 0),
           "icon bitmap header")
    expect(used in (0, 16), "icon colour count")
    pal = offset + 40
    palette = [tuple(data[pal + 4 * i: pal + 4 * i + 3][::-1]) for i in range(16)]
    expect(palette == VGA, "palette is not the VGA one")
    xor_at, xor_stride, and_stride = pal + 64, 16, 4
    and_at = xor_at + xor_stride * 32
    expect(isize == and_at + and_stride * 32 - xor_at, "icon image size")
    expect(and_at + and_stride * 32 == len(data), "icon mask size")
    rows = []
    for y in range(32):
        xr = data[xor_at + (31 - y) * xor_stride:][:xor_stride]
        ar = int.from_bytes(data[and_at + (31 - y) * and_stride:][:and_stride], "big")
        row = []
        for x in range(32):
            idx = (xr[x // 2] >> (4 if x % 2 == 0 else 0)) & 15
            clear = (ar >> (31 - x)) & 1
            expect(not (clear and idx), f"transparent pixel ({x},{y}) is not black")
            row.append(None if clear else idx)
        rows.append(row)
    return rows


def check():
    fresh = render()
    files = {name: (RES / name).read_bytes() for name in fresh}
    for name, data in fresh.items():
        expect(files[name] == data, f"{name} is stale; run make_art.py")

    for name in ("open.bmp", "save.bmp"):
        rows = read_bmp24(files[name])
        expect(len(rows) == len(rows[0]) == TOOLBAR_SIZE, f"{name}: not 25 x 25")
        for x, y in ((0, 0), (24, 0), (0, 24), (24, 24)):
            expect(rows[y][x] == BUTTON_FACE, f"{name}: corner ({x},{y}) painted")
        painted = sum(p != BUTTON_FACE for row in rows for p in row)
        expect(painted > 150, f"{name}: only {painted} pixels drawn")

    rows = read_ico4(files["tolvex.ico"])
    for x, y in ((0, 0), (31, 0), (0, 31), (31, 31)):
        expect(rows[y][x] is None, f"icon corner ({x},{y}) is opaque")
    opaque = sum(p is not None for row in rows for p in row)
    expect(300 < opaque < 1000, f"icon has {opaque} opaque pixels")
    print("art ok:", ", ".join(f"res/{n} ({len(d)} bytes)" for n, d in files.items()))


def main(argv):
    if argv not in ([], ["--check"]):
        sys.exit("usage: make_art.py [--check]")
    if not argv:
        RES.mkdir(exist_ok=True)
        for name, data in render().items():
            (RES / name).write_bytes(data)
    check()


if __name__ == "__main__":
    main(sys.argv[1:])
