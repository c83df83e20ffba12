#!/usr/bin/env python3
"""Draws the program's pictures: bitmaps 101 and 104 (500 x 310, 24 bits) and icon group 102
(16, 32 and 48 pixels), and writes them as BMP and ICO files plus a C++ source that embeds them.

    make_artwork.py OUTPUT_FOLDER [--png]

--png also writes PNG copies for a person to look at. Standard library only; shapes are drawn
with signed distances so their edges are smooth.
"""

import math
import struct
import sys
import zlib
from pathlib import Path

WIDTH, HEIGHT = 500, 310
RED_TOP = (226, 76, 54)
RED_BOTTOM = (192, 42, 32)
WHITE = (255, 255, 255)
CREAM = (255, 244, 236)
GOLD = (255, 196, 92)
ORANGE = (255, 138, 58)
GREY = (228, 228, 232)
DARK = (112, 28, 24)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def coverage(distance):
    """Share of a pixel inside a shape whose signed distance at the pixel's centre is given."""
    return max(0.0, min(1.0, 0.5 - distance))


# Signed distances (negative inside) to the shapes the pictures use.
def circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def ring(x, y, cx, cy, r, width):
    return abs(math.hypot(x - cx, y - cy) - r) - width / 2


def rounded_box(x, y, left, top, right, bottom, radius):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def polygon(x, y, points):
    best = float("inf")
    inside = False
    n = len(points)
    for i in range(n):
        ax, ay = points[i]
        bx, by = points[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)))
        best = min(best, math.hypot(x - ax - ex * t, y - ay - ey * t))
        if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
            inside = not inside
    return -best if inside else best


def segment(x, y, ax, ay, bx, by, width):
    ex, ey = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)))
    return math.hypot(x - ax - ex * t, y - ay - ey * t) - width / 2


class Canvas:
    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.pixels = [[background(x, y) for x in range(width)] for y in range(height)]
        self.alpha = [[1.0] * width for _ in range(height)]

    def paint(self, distance, colour, box=None, opacity=1.0):
        """Blends `colour` wherever distance(x, y) says the shape is, within box."""
        left, top, right, bottom = box or (0, 0, self.width, self.height)
        for y in range(max(0, int(top)), min(self.height, int(bottom) + 1)):
            row = self.pixels[y]
            for x in range(max(0, int(left)), min(self.width, int(right) + 1)):
                share = coverage(distance(x + 0.5, y + 0.5)) * opacity
                if share > 0:
                    col = colour(x, y) if callable(colour) else colour
                    row[x] = mix(row[x], col, share)


def red_background(x, y):
    t = y / (HEIGHT - 1)
    base = mix(RED_TOP, RED_BOTTOM, t)
    # A soft light from the upper middle.
    glow = max(0.0, 1.0 - math.hypot((x - 250) / 300, (y - 70) / 190))
    return mix(base, (240, 104, 78), glow * 0.35)


def draw_logo(canvas, cx, cy):
    """A sail on the sea inside a ring: the product's far sail."""
    box = (cx - 48, cy - 48, cx + 48, cy + 48)
    canvas.paint(lambda x, y: circle(x, y, cx, cy, 42), (232, 90, 66), box, 0.55)
    canvas.paint(lambda x, y: ring(x, y, cx, cy, 40, 3.5), WHITE, box)
    main_sail = [(cx - 2, cy - 28), (cx - 2, cy + 12), (cx - 26, cy + 12)]
    jib = [(cx + 3, cy - 22), (cx + 3, cy + 12), (cx + 24, cy + 12)]
    canvas.paint(lambda x, y: polygon(x, y, main_sail), WHITE, box)
    canvas.paint(lambda x, y: polygon(x, y, jib), CREAM, box)
    hull = [(cx - 28, cy + 16), (cx + 28, cy + 16), (cx + 19, cy + 25), (cx - 19, cy + 25)]
    canvas.paint(lambda x, y: polygon(x, y, hull), WHITE, box)
    for k, width in ((0, 30), (1, 20)):
        wy = cy + 31 + 4 * k
        canvas.paint(lambda x, y, wy=wy, w=width: segment(x, y, cx - w / 2, wy, cx + w / 2, wy, 2),
                     GOLD, box, 0.9)


def draw_stars(canvas, stars):
    for sx, sy, r in stars:
        canvas.paint(lambda x, y, sx=sx, sy=sy, r=r: circle(x, y, sx, sy, r), WHITE,
                     (sx - r - 2, sy - r - 2, sx + r + 2, sy + r + 2), 0.7)


def rotate(x, y, cx, cy, angle):
    c, s = math.cos(angle), math.sin(angle)
    dx, dy = x - cx, y - cy
    return cx + dx * c + dy * s, cy - dx * s + dy * c


def draw_rocket(canvas, cx, cy):
    """A rocket flying up and to the right, drawn upright and turned by 40 degrees."""
    angle = math.radians(40)
    box = (cx - 95, cy - 95, cx + 95, cy + 100)

    def turned(shape):
        return lambda x, y: shape(*rotate(x, y, cx, cy, angle))

    flame_outer = [(cx - 13, cy + 38), (cx + 13, cy + 38), (cx, cy + 82)]
    flame_inner = [(cx - 7, cy + 38), (cx + 7, cy + 38), (cx, cy + 64)]
    canvas.paint(turned(lambda x, y: polygon(x, y, flame_outer)), ORANGE, box)
    canvas.paint(turned(lambda x, y: polygon(x, y, flame_inner)), GOLD, box)
    left_fin = [(cx - 17, cy + 6), (cx - 36, cy + 40), (cx - 14, cy + 34)]
    right_fin = [(cx + 17, cy + 6), (cx + 36, cy + 40), (cx + 14, cy + 34)]
    canvas.paint(turned(lambda x, y: polygon(x, y, left_fin)), (250, 214, 206), box)
    canvas.paint(turned(lambda x, y: polygon(x, y, right_fin)), (250, 214, 206), box)

    def body(x, y):
        # The body: the overlap of two large circles (a pointed nose) cut flat at the tail.
        lens = max(circle(x, y, cx - 44, cy + 6, 62), circle(x, y, cx + 44, cy + 6, 62))
        return max(lens, y - (cy + 40))

    canvas.paint(turned(body), WHITE, box)
    canvas.paint(turned(lambda x, y: max(body(x, y), -(x - cx) - 0)), GREY, box, 0.8)
    canvas.paint(turned(lambda x, y: circle(x, y, cx, cy - 8, 10)), (214, 70, 52), box)
    canvas.paint(turned(lambda x, y: circle(x, y, cx, cy - 8, 6.5)), (160, 214, 240), box)
    canvas.paint(turned(lambda x, y: segment(x, y, cx - 15, cy + 22, cx + 15, cy + 22, 3)),
                 (214, 70, 52), box)
    canvas.paint(turned(lambda x, y: rounded_box(x, y, cx - 6, cy + 40, cx + 6, cy + 45, 1.5)),
                 DARK, box)
    # Speed lines trailing behind it.
    for ox, top, length in ((-24, 50, 30), (24, 50, 22), (0, 88, 18)):
        line = lambda x, y, ox=ox, top=top, n=length: segment(x, y, cx + ox, cy + top, cx + ox,
                                                               cy + top + n, 2.5)
        canvas.paint(turned(line), WHITE, box, 0.55)


def bitmap_101():
    canvas = Canvas(WIDTH, HEIGHT, red_background)
    draw_stars(canvas, [(60, 60, 1.5), (430, 80, 2), (110, 150, 1.2), (400, 170, 1.4),
                        (330, 50, 1.0), (160, 48, 1.0)])
    draw_logo(canvas, 250, 82)
    return canvas


def bitmap_104():
    canvas = Canvas(WIDTH, HEIGHT, lambda x, y: red_background(x, y) if y < 216 else WHITE)
    draw_stars(canvas, [(200, 40, 1.4), (450, 60, 1.6), (300, 170, 1.2), (160, 180, 1.0),
                        (410, 150, 1.2)])
    draw_rocket(canvas, 95, 112)
    # A lighter last red row where the red meets the white band.
    canvas.paint(lambda x, y: abs(y - 215.5) - 0.5, (236, 120, 104), (0, 214, 500, 216))
    return canvas


def icon(size):
    """The sail on a red rounded square, with transparent corners."""
    scale = size / 48
    canvas = Canvas(size, size, lambda x, y: mix(RED_TOP, RED_BOTTOM, y / max(size - 1, 1)))
    square = lambda x, y: rounded_box(x, y, 0.5, 0.5, size - 0.5, size - 0.5, 9 * scale)
    canvas.alpha = [[coverage(square(x + 0.5, y + 0.5)) for x in range(size)]
                    for y in range(size)]
    c = size / 2
    main_sail = [(c - 1 * scale, c - 17 * scale), (c - 1 * scale, c + 8 * scale),
                 (c - 16 * scale, c + 8 * scale)]
    jib = [(c + 2 * scale, c - 13 * scale), (c + 2 * scale, c + 8 * scale),
           (c + 15 * scale, c + 8 * scale)]
    hull = [(c - 18 * scale, c + 11 * scale), (c + 18 * scale, c + 11 * scale),
            (c + 12 * scale, c + 17 * scale), (c - 12 * scale, c + 17 * scale)]
    canvas.paint(lambda x, y: polygon(x, y, main_sail), WHITE)
    canvas.paint(lambda x, y: polygon(x, y, jib), CREAM)
    canvas.paint(lambda x, y: polygon(x, y, hull), WHITE)
    return canvas


def channel(value):
    return max(0, min(255, int(round(value))))


def bmp_bytes(canvas):
    """A 24-bit bottom-up BMP file."""
    stride = (canvas.width * 3 + 3) // 4 * 4
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for r, g, b in canvas.pixels[y]:
            row += bytes((channel(b), channel(g), channel(r)))
        rows.append(bytes(row) + b"\0" * (stride - len(row)))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(data), 2835,
                       2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + data


def ico_bytes(canvases):
    """An icon group file: 32-bit images (straight alpha) with their AND masks."""
    images = []
    for canvas in canvases:
        size = canvas.width
        xor = bytearray()
        for y in range(size - 1, -1, -1):
            for x in range(size):
                r, g, b = canvas.pixels[y][x]
                xor += bytes((channel(b), channel(g), channel(r), channel(canvas.alpha[y][x] * 255)))
        mask_stride = (size + 31) // 32 * 4
        mask = bytearray()
        for y in range(size - 1, -1, -1):
            row = bytearray(mask_stride)
            for x in range(size):
                if canvas.alpha[y][x] < 0.5:
                    row[x // 8] |= 0x80 >> (x % 8)
            mask += row
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0,
                           0, 0)
        images.append((size, info + bytes(xor) + bytes(mask)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def png_bytes(canvas, alpha=False):
    raw = bytearray()
    for y in range(canvas.height):
        raw.append(0)
        for x in range(canvas.width):
            raw += bytes(channel(v) for v in canvas.pixels[y][x])
            if alpha:
                raw.append(channel(canvas.alpha[y][x] * 255))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6 if alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def cpp_array(name, data):
    lines = [f"extern const unsigned char {name}[] = {{"]
    for i in range(0, len(data), 24):
        lines.append("    " + ",".join(str(b) for b in data[i:i + 24]) + ",")
    lines.append("};")
    lines.append(f"extern const unsigned {name}_size = {len(data)};")
    return "\n".join(lines)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    pictures = {"bitmap_101": bitmap_101(), "bitmap_104": bitmap_104()}
    icons = [icon(16), icon(32), icon(48)]
    files = {name + ".bmp": bmp_bytes(canvas) for name, canvas in pictures.items()}
    files["icon_102.ico"] = ico_bytes(icons)
    for name, data in files.items():
        (out / name).write_bytes(data)
    if "--png" in sys.argv[2:]:
        for name, canvas in pictures.items():
            (out / (name + ".png")).write_bytes(png_bytes(canvas))
        for canvas in icons:
            (out / f"icon_102_{canvas.width}.png").write_bytes(png_bytes(canvas, alpha=True))
    source = ["// Generated by resources/make_artwork.py at build time; do not edit.",
              'extern "C" {',
              cpp_array("winlayer_bitmap_101", files["bitmap_101.bmp"]),
              cpp_array("winlayer_bitmap_104", files["bitmap_104.bmp"]),
              cpp_array("winlayer_icon_102", files["icon_102.ico"]),
              "}", ""]
    text = "\n".join(source)
    target = out / "artwork.cpp"
    if not target.exists() or target.read_text() != text:
        target.write_text(text)


if __name__ == "__main__":
    main()
