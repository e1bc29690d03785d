#!/usr/bin/env python3
"""Draws the program's pictures (button pictures and the program icon) as PNG files.

Each picture is a few filled shapes in a unit square, rendered with 4x4 supersampling at 16, 32 and
48 pixels. Run it from this folder after changing a picture: python3 make_icons.py
"""
import math
import struct
import zlib

SIZES = (16, 32, 48)
SUPER = 4


def hex_rgba(text, alpha=255):
    text = text.lstrip('#')
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16), alpha)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.n = size * SUPER
        # Premultiplied RGBA per sample.
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(self.n * self.n)]

    def _blend(self, i, color):
        r, g, b, a = color
        a /= 255.0
        p = self.px[i]
        p[0] = r / 255.0 * a + p[0] * (1 - a)
        p[1] = g / 255.0 * a + p[1] * (1 - a)
        p[2] = b / 255.0 * a + p[2] * (1 - a)
        p[3] = a + p[3] * (1 - a)

    def fill(self, inside, color, box=(0, 0, 1, 1)):
        """Paints every sample whose centre (in unit coordinates) satisfies inside(x, y)."""
        n = self.n
        x0 = max(0, int(box[0] * n) - 1)
        y0 = max(0, int(box[1] * n) - 1)
        x1 = min(n, int(box[2] * n) + 2)
        y1 = min(n, int(box[3] * n) + 2)
        for sy in range(y0, y1):
            y = (sy + 0.5) / n
            for sx in range(x0, x1):
                x = (sx + 0.5) / n
                if inside(x, y):
                    self._blend(sy * n + sx, color)

    def polygon(self, points, color):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            result = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    result = not result
                j = i
            return result

        self.fill(inside, color, (min(xs), min(ys), max(xs), max(ys)))

    def rect(self, x0, y0, x1, y1, color):
        self.polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], color)

    def disk(self, cx, cy, r, color):
        self.fill(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, color,
                  (cx - r, cy - r, cx + r, cy + r))

    def ring(self, cx, cy, r, width, color):
        inner = r - width
        self.fill(lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r, color,
                  (cx - r, cy - r, cx + r, cy + r))

    def line(self, x0, y0, x1, y1, width, color):
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy)
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        self.polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny),
                      (x0 - nx, y0 - ny)], color)
        self.disk(x0, y0, width / 2, color)
        self.disk(x1, y1, width / 2, color)

    def png(self):
        rows = []
        n, s = self.n, self.size
        for y in range(s):
            row = bytearray([0])
            for x in range(s):
                acc = [0.0, 0.0, 0.0, 0.0]
                for sy in range(SUPER):
                    for sx in range(SUPER):
                        p = self.px[(y * SUPER + sy) * n + x * SUPER + sx]
                        for k in range(4):
                            acc[k] += p[k]
                count = SUPER * SUPER
                a = acc[3] / count
                if a > 0:
                    rgb = [min(255, round(acc[k] / count / a * 255)) for k in range(3)]
                else:
                    rgb = [0, 0, 0]
                row += bytes(rgb + [round(a * 255)])
            rows.append(bytes(row))
        raw = b''.join(rows)

        def chunk(kind, data):
            body = kind + data
            return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))

        header = struct.pack('>IIBBBBB', s, s, 8, 6, 0, 0, 0)
        return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
                chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


OUTLINE = hex_rgba('2b3a55')
PAPER = hex_rgba('fdfdf6')
BLUE = hex_rgba('2f6fd0')
GREEN = hex_rgba('2e9e4f')
RED = hex_rgba('d0392b')
WOOD = hex_rgba('b07a3c')
WATER = hex_rgba('3a8fd8')


def envelope(c, x0, y0, x1, y1, stroke):
    c.rect(x0, y0, x1, y1, OUTLINE)
    c.rect(x0 + stroke, y0 + stroke, x1 - stroke, y1 - stroke, PAPER)
    mid = (x0 + x1) / 2
    c.line(x0 + stroke, y0 + stroke, mid, (y0 + y1) / 2 + stroke, stroke, OUTLINE)
    c.line(x1 - stroke, y0 + stroke, mid, (y0 + y1) / 2 + stroke, stroke, OUTLINE)


def draw_scan(c):
    # A letter with an arrow bringing it in.
    envelope(c, 0.06, 0.36, 0.78, 0.90, 0.06)
    c.rect(0.70, 0.06, 0.86, 0.34, GREEN)
    c.polygon([(0.58, 0.32), (0.98, 0.32), (0.78, 0.56)], GREEN)


def draw_accounts(c):
    # Two people: the mailbox owners.
    c.disk(0.66, 0.28, 0.15, hex_rgba('7a9cc6'))
    c.polygon([(0.40, 0.84), (0.44, 0.56), (0.66, 0.47), (0.88, 0.56), (0.94, 0.84)],
              hex_rgba('7a9cc6'))
    c.disk(0.38, 0.36, 0.17, BLUE)
    c.polygon([(0.06, 0.96), (0.10, 0.66), (0.38, 0.55), (0.66, 0.66), (0.70, 0.96)], BLUE)


def draw_schedule(c):
    # A clock face.
    c.disk(0.5, 0.5, 0.44, OUTLINE)
    c.disk(0.5, 0.5, 0.37, PAPER)
    for hour in range(12):
        angle = hour * math.pi / 6
        c.disk(0.5 + 0.30 * math.sin(angle), 0.5 - 0.30 * math.cos(angle), 0.025, OUTLINE)
    c.line(0.5, 0.5, 0.5, 0.24, 0.07, OUTLINE)
    c.line(0.5, 0.5, 0.70, 0.60, 0.07, RED)
    c.disk(0.5, 0.5, 0.05, OUTLINE)


def draw_close(c):
    # An open door with an arrow leaving through it.
    c.rect(0.10, 0.06, 0.62, 0.94, OUTLINE)
    c.rect(0.16, 0.12, 0.56, 0.94, hex_rgba('e9e4d4'))
    c.polygon([(0.16, 0.12), (0.46, 0.20), (0.46, 0.98), (0.16, 0.94)], WOOD)
    c.disk(0.40, 0.56, 0.03, OUTLINE)
    c.rect(0.52, 0.44, 0.80, 0.60, RED)
    c.polygon([(0.76, 0.30), (0.98, 0.52), (0.76, 0.74)], RED)


def draw_mailferry(c):
    # A ferry carrying a letter over the water.
    envelope(c, 0.28, 0.12, 0.72, 0.44, 0.045)
    c.rect(0.46, 0.44, 0.54, 0.54, OUTLINE)
    c.polygon([(0.06, 0.52), (0.94, 0.52), (0.78, 0.76), (0.18, 0.76)], RED)
    c.rect(0.06, 0.52, 0.94, 0.58, hex_rgba('f2f2f2'))
    c.polygon([(0.0, 0.80), (0.25, 0.74), (0.5, 0.80), (0.75, 0.74), (1.0, 0.80), (1.0, 0.98),
               (0.0, 0.98)], WATER)


PICTURES = {
    'scan': draw_scan,
    'accounts': draw_accounts,
    'schedule': draw_schedule,
    'close': draw_close,
    'mailferry': draw_mailferry,
}

if __name__ == '__main__':
    for name, draw in PICTURES.items():
        for size in SIZES:
            canvas = Canvas(size)
            draw(canvas)
            with open('icons/%s_%d.png' % (name, size), 'wb') as out:
                out.write(canvas.png())
