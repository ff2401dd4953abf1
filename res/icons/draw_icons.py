#!/usr/bin/env python3
"""Paints every picture of the TV Box service tool on a pixel grid.

Writes res/icons/icons.cpp (XPM main-window pictures and GIF navigator icons
as compiled-in arrays), the XPM files next to it, and the five GIF pictures the
channel pages load at run time from data/.  Run from anywhere:

    python3 res/icons/draw_icons.py [--sheet out.png]
    python3 res/icons/draw_icons.py --app-icon   # only tvbox.png and tvbox.svg

It also draws the program's own icon for the desktop menu, res/icons/tvbox.png
(48 x 48) and res/icons/tvbox.svg.

Only the standard library is used; ImageMagick's `convert` turns XPM into GIF.
"""
import math
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# The toolkit's default window background: anti-aliased edges of the large
# pictures are blended onto it so they sit cleanly on the pages.
MATTE = (0xD4, 0xD0, 0xC8)


def rgb(text):
    text = text.lstrip('#')
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


class Canvas:
    """RGBA pixels; shapes are given in picture pixels and sampled at the
    centres of device pixels, so a canvas with `ss` > 1 renders smoothly and
    is then averaged down."""

    def __init__(self, width, height, ss=1):
        self.w, self.h, self.ss = width, height, ss
        self.dw, self.dh = width * ss, height * ss
        self.pix = [[None] * self.dw for _ in range(self.dh)]

    # -- device level -------------------------------------------------------
    def _centres(self, x0, y0, x1, y1):
        """Device pixels whose centre lies in the logical box [x0,x1)x[y0,y1)."""
        s = self.ss
        for dy in range(max(0, int(math.floor(y0 * s))), min(self.dh, int(math.ceil(y1 * s)) + 1)):
            cy = (dy + 0.5) / s
            for dx in range(max(0, int(math.floor(x0 * s))), min(self.dw, int(math.ceil(x1 * s)) + 1)):
                yield dx, dy, (dx + 0.5) / s, cy

    def _shape(self, box, inside, colour):
        c = None if colour is None else rgb(colour)
        for dx, dy, x, y in self._centres(*box):
            if inside(x, y):
                self.pix[dy][dx] = c

    # -- primitives -----------------------------------------------------------
    def px(self, x, y, colour):
        self.rect(x, y, x, y, colour)

    def rect(self, x0, y0, x1, y1, colour):
        """Fills whole pixels x0..x1, y0..y1 (inclusive)."""
        self._shape((x0, y0, x1 + 1, y1 + 1),
                    lambda x, y: x0 <= x < x1 + 1 and y0 <= y < y1 + 1, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.rect(x0, y0, x1, y0, colour)
        self.rect(x0, y1, x1, y1, colour)
        self.rect(x0, y0, x0, y1, colour)
        self.rect(x1, y0, x1, y1, colour)

    def line(self, x0, y0, x1, y1, colour):
        """One-pixel line between pixel centres (Bresenham)."""
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.px(x0, y0, colour)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def stroke(self, x0, y0, x1, y1, width, colour):
        """A thick segment between logical points (not pixel centres)."""
        r = width / 2.0
        vx, vy = x1 - x0, y1 - y0
        ll = vx * vx + vy * vy or 1e-9

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - x0) * vx + (y - y0) * vy) / ll))
            px, py = x0 + t * vx - x, y0 + t * vy - y
            return px * px + py * py <= r * r
        box = (min(x0, x1) - r, min(y0, y1) - r, max(x0, x1) + r, max(y0, y1) + r)
        self._shape(box, inside, colour)

    def ellipse(self, cx, cy, rx, ry, colour, inner=0.0):
        """Filled ellipse, or a ring when `inner` (ring thickness) is given."""
        def inside(x, y):
            d = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
            if d > 1.0:
                return False
            if inner <= 0:
                return True
            ix, iy = rx - inner, ry - inner
            return ix <= 0 or iy <= 0 or ((x - cx) / ix) ** 2 + ((y - cy) / iy) ** 2 > 1.0
        self._shape((cx - rx, cy - ry, cx + rx, cy + ry), inside, colour)

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            hit = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    hit = not hit
                j = i
            return hit
        self._shape((min(xs), min(ys), max(xs), max(ys)), inside, colour)

    def text(self, x, y, string, colour, scale=1, font=None, gap=1, bold=False):
        """Pixel-font lettering; returns the x after the last glyph."""
        font = font or FONT5x7
        for ch in string:
            glyph = font.get(ch)
            if glyph is None:
                x += 3 * scale
                continue
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == '#':
                        self.rect(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale - 1 + (1 if bold else 0),
                                  y + (row + 1) * scale - 1, colour)
            x += (len(glyph[0]) + gap) * scale + (1 if bold else 0)
        return x

    # -- result ---------------------------------------------------------------
    def result(self):
        """Picture-sized rows of RGB tuples or None (transparent)."""
        if self.ss == 1:
            return [row[:] for row in self.pix]
        s, out = self.ss, []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                cells = [self.pix[y * s + j][x * s + i] for j in range(s) for i in range(s)]
                solid = [c for c in cells if c is not None]
                if len(solid) * 2 < len(cells):
                    row.append(None)
                    continue
                mixed = [MATTE if c is None else c for c in cells]
                row.append(tuple(int(round(sum(c[k] for c in mixed) / len(mixed))) for k in range(3)))
            out.append(row)
        return out


def text_width(string, scale=1, font=None, gap=1):
    font = font or FONT5x7
    return sum((len(font[ch][0]) + gap) * scale if ch in font else 3 * scale for ch in string) - gap * scale


def _glyphs(table):
    return {ch: rows.split() for ch, rows in table.items()}


# A small 5x7 font with just the letters this program writes on its pictures.
FONT5x7 = _glyphs({
    'T': "##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#..",
    'V': "#...# #...# #...# #...# .#.#. .#.#. ..#..",
    'B': "####. #...# #...# ####. #...# #...# ####.",
    'H': "#...# #...# #...# ##### #...# #...# #...#",
    'E': "#### #... #... ###. #... #... ####",
    'X': "#...# #...# .#.#. ..#.. .#.#. #...# #...#",
    'I': "### .#. .#. .#. .#. .#. ###",
    'o': "..... ..... .###. #...# #...# #...# .###.",
    'x': "..... ..... #...# .#.#. ..#.. .#.#. #...#",
    'a': "..... ..... .###. ....# .#### #...# .####",
    'r': "..... ..... #.##. ##..# #.... #.... #....",
    'n': "..... ..... #.##. ##..# #...# #...# #...#",
    'v': "..... ..... #...# #...# #...# .#.#. ..#..",
    'l': ".##. ..#. ..#. ..#. ..#. ..#. .###",
    'e': "..... ..... .###. #...# ##### #.... .###.",
    '?': ".###. #...# ....# ...#. ..#.. ..... ..#..",
})

# 3x5 digits and capitals for the tiniest lettering.
FONT3x5 = _glyphs({
    'H': "#.# #.# ### #.# #.#",
    'V': "#.# #.# #.# #.# .#.",
    'T': "### .#. .#. .#. .#.",
})


# ---------------------------------------------------------------------------
# Shared pieces
# ---------------------------------------------------------------------------
BLACK, WHITE = '#000000', '#FFFFFF'
GREY_D, GREY, GREY_L = '#606060', '#909090', '#C8C8C8'
BLUE_D, BLUE, BLUE_L = '#10288C', '#2850D0', '#80A8F0'
YELLOW_D, YELLOW, YELLOW_L = '#C08800', '#F8C800', '#FFF080'
RED_D, RED = '#A00000', '#E02020'
GREEN_D, GREEN, GREEN_L = '#006000', '#20B020', '#90F090'


def page(c, x0, y0, x1, y1, fold=3, fill=WHITE, edge=GREY_D):
    """A sheet of paper with its top-right corner folded over."""
    c.rect(x0, y0, x1, y1, fill)
    c.rect(x1 - fold + 1, y0, x1, y0 + fold - 1, None)
    c.line(x0, y0, x1 - fold, y0, edge)
    c.line(x0, y0, x0, y1, edge)
    c.line(x0, y1, x1, y1, edge)
    c.line(x1, y0 + fold, x1, y1, edge)
    c.line(x1 - fold, y0, x1, y0 + fold, edge)
    c.line(x1 - fold, y0, x1 - fold, y0 + fold, edge)
    c.line(x1 - fold, y0 + fold, x1, y0 + fold, edge)


def floppy(c, x, y, body, dark, label=WHITE, shutter=GREY_L):
    """A 16 x 16 floppy disk with its top-left corner at x, y (needs 15 x 15)."""
    c.rect(x, y, x + 14, y + 14, body)
    c.frame(x, y, x + 14, y + 14, dark)
    c.px(x + 14, y, None)
    c.line(x + 13, y, x + 14, y + 1, dark)
    c.rect(x + 3, y + 1, x + 11, y + 5, shutter)
    c.rect(x + 8, y + 2, x + 9, y + 4, dark)
    c.rect(x + 3, y + 8, x + 11, y + 13, label)
    c.line(x + 4, y + 10, x + 10, y + 10, GREY)
    c.line(x + 4, y + 12, x + 10, y + 12, GREY)


def swoosh(c, cx, cy, rx, ry, thick, colour, dark):
    """The company's mark: a tilted crescent sweeping round a centre."""
    pts_out, pts_in = [], []
    for i in range(0, 41):
        a = math.radians(160 + i * 5.5)  # from the left, round the top, down to the right
        taper = math.sin(math.pi * (i / 40) ** 1.6)  # thin start, full stroke past the top
        pts_out.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
        r2x, r2y = rx - thick * taper, ry - thick * taper
        pts_in.append((cx + r2x * math.cos(a) + thick * 0.4 * taper, cy + r2y * math.sin(a) + thick * 0.5 * taper))
    outline = pts_out + pts_in[::-1]
    shadow = [(x + thick * 0.12, y + thick * 0.12) for x, y in outline]
    c.polygon(shadow, dark)
    c.polygon(outline, colour)


# ---------------------------------------------------------------------------
# Main-window pictures
# ---------------------------------------------------------------------------
def logo_icon():
    c = Canvas(33, 16, ss=4)
    swoosh(c, 16.5, 10.0, 15.5, 9.0, 5.5, YELLOW, YELLOW_D)
    c.text(13, 8, "HV", BLUE_D, font=FONT3x5, gap=1)
    return c


def banner():
    c = Canvas(225, 52, ss=2)
    scale = 6
    width = text_width("TV Box", scale)
    x = (225 - width) // 2
    y = (52 - 7 * scale) // 2
    c.text(x + 2, y + 2, "TV Box", '#8090B0', scale)
    c.text(x, y, "TV Box", BLUE, scale)
    c.stroke(x, y + 7 * scale + 3, x + width, y + 7 * scale + 3, 1.5, BLUE_D)
    return c


def logo_picture():
    c = Canvas(162, 111, ss=3)
    swoosh(c, 81, 56, 76, 50, 16, YELLOW, YELLOW_D)
    c.ellipse(81, 54, 21, 21, YELLOW_L)
    c.ellipse(81, 54, 21, 21, YELLOW_D, inner=2)
    c.text(81 - text_width("TV", 3) // 2, 44, "TV", BLUE_D, scale=3, gap=1)
    width = text_width("Harnvale", 3)
    c.text((162 - width) // 2 + 1, 87, "Harnvale", '#707070', 3)
    c.text((162 - width) // 2, 86, "Harnvale", BLUE_D, 3)
    return c


def burn_icon():
    # A programmer unit: a grey box with a chip socket and a lead.
    c = Canvas(22, 22)
    c.rect(1, 6, 20, 19, GREY_L)
    c.frame(1, 6, 20, 19, GREY_D)
    c.line(2, 7, 19, 7, WHITE)
    c.rect(5, 9, 16, 14, GREY_D)
    for x in range(6, 16, 2):
        c.px(x, 8, BLACK)
        c.px(x, 15, BLACK)
    c.rect(4, 17, 6, 18, GREEN)
    c.rect(15, 17, 17, 17, GREY_D)
    c.line(10, 5, 10, 2, GREY_D)
    c.line(10, 2, 17, 2, GREY_D)
    c.rect(17, 1, 19, 3, GREY)
    return c


def test_icon():
    # A grey gauge: a dial with a needle.
    c = Canvas(22, 22, ss=4)
    c.ellipse(11, 11, 10, 10, GREY_D)
    c.ellipse(11, 11, 8.8, 8.8, '#E0E0E0')
    for deg in range(200, 341, 35):
        a = math.radians(deg)
        c.stroke(11 + 6.5 * math.cos(a), 11 + 6.5 * math.sin(a),
                 11 + 8.3 * math.cos(a), 11 + 8.3 * math.sin(a), 1.2, GREY_D)
    c.stroke(11, 11, 16, 5.5, 1.5, BLACK)
    c.ellipse(11, 11, 2, 2, GREY_D)
    c.rect(7, 15, 14, 17, GREY)
    return c


def folder_icon():
    c = Canvas(16, 16)
    # back of the folder with its tab
    c.rect(1, 3, 6, 4, YELLOW_D)
    c.rect(1, 4, 13, 13, YELLOW_D)
    c.rect(2, 5, 12, 12, YELLOW)
    # opened front flap, slanted
    c.polygon([(4, 7), (16, 7), (13, 14), (0, 14)], YELLOW_D)
    c.polygon([(4.8, 8), (15, 8), (12.4, 13), (1.4, 13)], YELLOW_L)
    return c


def check_icon():
    c = Canvas(16, 16, ss=4)
    c.stroke(3, 8.5, 6.5, 12.5, 2.4, BLACK)
    c.stroke(6.5, 12.5, 13, 3.5, 2.4, BLACK)
    return c


def pencil(c, x, y):
    """A yellow pencil from upper right (x, y) to lower left, 8 pixels long."""
    for i in range(7):
        c.px(x - i, y + i, YELLOW)
        c.px(x - i - 1, y + i, YELLOW_D)
        c.px(x - i, y + i + 1, YELLOW_D)
    c.px(x, y, '#F080A0')
    c.px(x - 7, y + 7, '#D8B080')
    c.px(x - 8, y + 8, BLACK)


def pencil_icon():
    c = Canvas(16, 16)
    page(c, 1, 0, 11, 14)
    for y in (4, 6, 8, 10):
        c.line(3, y, 8, y, GREY)
    pencil(c, 14, 4)
    return c


def device_icon():
    # Printer-like: paper going in at the top, the body, paper coming out.
    c = Canvas(24, 24)
    page(c, 6, 1, 17, 9, fold=2)
    c.rect(1, 8, 22, 17, GREY_L)
    c.frame(1, 8, 22, 17, GREY_D)
    c.line(2, 9, 21, 9, WHITE)
    c.rect(4, 11, 19, 12, GREY_D)
    c.rect(18, 14, 19, 15, GREEN)
    c.rect(6, 17, 17, 22, WHITE)
    c.frame(6, 17, 17, 22, GREY_D)
    c.line(8, 19, 15, 19, GREY)
    c.line(8, 21, 13, 21, GREY)
    return c


def channels_icon():
    c = Canvas(22, 22)
    c.rect(0, 1, 21, 17, GREY_D)
    c.rect(2, 3, 19, 15, '#2040A0')
    c.rect(3, 4, 18, 5, BLUE_L)
    for y in (7, 10, 13):
        c.line(3, y, 18, y, '#6080D0')
    c.line(7, 4, 7, 14, '#6080D0')
    c.rect(8, 18, 13, 19, GREY_D)
    c.rect(5, 20, 16, 20, GREY)
    return c


def radio_icon():
    # A framed colourful picture: sky, sun, hills.
    c = Canvas(22, 22)
    c.rect(1, 3, 20, 18, '#70B8F8')
    c.ellipse(15.5, 8.5, 2.5, 2.5, YELLOW)
    c.polygon([(1, 19), (1, 13), (7, 8), (13, 14), (16, 12), (21, 16), (21, 19)], GREEN)
    c.polygon([(1, 19), (1, 16), (9, 13), (21, 18), (21, 19)], GREEN_D)
    c.frame(0, 2, 21, 19, '#804010')
    return c


def console_icon():
    c = Canvas(16, 16)
    c.rect(0, 1, 15, 14, GREY_D)
    c.rect(1, 4, 14, 13, WHITE)
    c.rect(1, 2, 14, 2, GREY_L)
    c.line(3, 6, 5, 8, BLACK)
    c.line(5, 8, 3, 10, BLACK)
    c.line(7, 10, 11, 10, BLACK)
    return c


def title_icon():
    c = Canvas(22, 16)
    blocks = [(RED, 0), (YELLOW, 5), (GREEN, 10), (BLUE, 15)]
    for colour, x in blocks:
        c.rect(x + 1, 3, x + 5, 12, colour)
        c.frame(x + 1, 3, x + 5, 12, BLACK)
    return c


def settings_icon():
    c = Canvas(16, 16)
    page(c, 2, 0, 13, 15)
    for y in (4, 6, 8, 10, 12):
        c.line(4, y, 11 if y % 4 else 9, y, BLUE)
    return c


def arrow(c, x_tail, x_head, y, colour, dark, half=5, shaft=2):
    """A horizontal block arrow from x_tail to x_head."""
    d = 1 if x_head > x_tail else -1
    base = x_head - d * half
    pts = [(x_tail, y - shaft), (base, y - shaft), (base, y - half), (x_head, y),
           (base, y + half), (base, y + shaft), (x_tail, y + shaft)]
    c.polygon([(px_ + 0.8, py_ + 0.8) for px_, py_ in pts], dark)
    c.polygon(pts, colour)


def exchange_icon():
    c = Canvas(32, 32, ss=4)
    arrow(c, 3, 29, 10, RED, RED_D, half=7, shaft=3)
    arrow(c, 29, 3, 22, GREEN, GREEN_D, half=7, shaft=3)
    return c


def floppy_icon():
    c = Canvas(16, 16)
    floppy(c, 0, 0, GREY_D, BLACK)
    return c


def lamp(colour, light, dark):
    c = Canvas(16, 16, ss=4)
    c.ellipse(8, 7, 6, 6, dark)
    c.ellipse(8, 7, 5, 5, colour)
    c.ellipse(6.5, 5.2, 1.7, 1.5, light)
    c.rect(5, 13, 10, 15, GREY)
    c.rect(5, 14, 10, 14, GREY_D)
    return c


def lamp_black_icon():
    return lamp('#202020', '#909090', BLACK)


def lamp_green_icon():
    return lamp(GREEN, GREEN_L, GREEN_D)


def menu_icon():
    c = Canvas(16, 16, ss=4)
    c.stroke(7.5, 4, 8.5, 12, 1.4, GREY_D)
    for (x0, y0, x1, y1, colour) in ((3, 4, 12, 4, RED), (4, 12, 13, 12, BLUE)):
        c.stroke(x0, y0, x1, y1, 1.4, GREY_D)
        c.ellipse(x0, y0, 2.6, 2.6, colour)
        c.ellipse(x1, y1, 2.6, 2.6, colour)
    return c


def exit_icon():
    c = Canvas(22, 14)
    width = text_width("EXIT")
    x = (22 - width) // 2
    c.text(x, 3, "EXIT", '#D00000')
    return c


def help_icon():
    c = Canvas(16, 16, ss=4)
    c.polygon([(4, 11), (3.5, 15.5), (8, 12)], YELLOW_D)
    c.ellipse(8, 7, 7.5, 6.5, YELLOW_D)
    c.ellipse(8, 7, 6.5, 5.5, YELLOW)
    c.polygon([(4.5, 11), (4.3, 14.3), (8, 11.5)], YELLOW)
    return _overlay(c, _question_mark())


def _question_mark():
    q = Canvas(16, 16)
    q.rect(6, 3, 9, 3, BLUE_D)
    q.rect(5, 4, 6, 4, BLUE_D)
    q.rect(9, 4, 10, 6, BLUE_D)
    q.rect(8, 7, 9, 7, BLUE_D)
    q.rect(7, 8, 8, 8, BLUE_D)
    q.rect(7, 10, 8, 10, BLUE_D)
    return q


def _overlay(base, top):
    out = Canvas(base.w, base.h)
    out.pix = base.result()
    for y, row in enumerate(top.result()):
        for x, colour in enumerate(row):
            if colour is not None:
                out.pix[y][x] = colour
    return out


def document_icon():
    # A highlighter marker, red cap and yellow body, lying diagonally.
    c = Canvas(16, 16, ss=4)
    c.stroke(4, 12, 10.5, 5.5, 4.6, '#806000')
    c.stroke(4, 12, 10.5, 5.5, 3.4, YELLOW)
    c.stroke(10.5, 5.5, 13.5, 2.5, 4.6, RED_D)
    c.stroke(10.5, 5.5, 13.5, 2.5, 3.4, RED)
    c.polygon([(2.6, 11.6), (4.4, 13.4), (1.2, 15.0)], RED)
    return c


def about_icon():
    c = Canvas(16, 16, ss=4)
    c.ellipse(8, 8, 7.5, 7.5, BLUE_D)
    c.ellipse(8, 8, 6.6, 6.6, '#3070E0')
    c.polygon([(4, 4), (8, 3), (9, 6), (6, 8), (7, 11), (4, 10), (2.5, 7)], '#30A040')
    c.polygon([(10, 9), (13.5, 8), (12.5, 12), (10.5, 12.5)], '#30A040')
    c.ellipse(8, 8, 7.5, 7.5, BLUE_D, inner=0.9)
    c.ellipse(5.5, 5, 1.2, 1.0, '#C0E0FF')
    return c


# ---------------------------------------------------------------------------
# Navigator toolbar
# ---------------------------------------------------------------------------
def nav_end(bar_left, point_left):
    """A grey triangle beside a black bar, as on a tape recorder's wind keys."""
    c = Canvas(13, 13)
    bar_x = 1 if bar_left else 10
    c.rect(bar_x, 1, bar_x + 1, 11, BLACK)
    if point_left:
        tip, step = (4, 1) if bar_left else (2, 1)
    else:
        tip, step = (9, -1) if bar_left else (7, -1)
    for k in range(6):
        x = tip + step * k
        c.rect(x, 6 - k, x, 6 + k, GREY)
        c.px(x, 6 - k, GREY_D)
        c.px(x, 6 + k, GREY_D)
    base_x = tip + step * 5
    c.rect(base_x, 1, base_x, 11, GREY_D)
    return c


def nav_first_gif():
    return nav_end(bar_left=True, point_left=True)


def nav_prev_gif():
    return nav_end(bar_left=False, point_left=True)


def nav_next_gif():
    return nav_end(bar_left=True, point_left=False)


def nav_last_gif():
    return nav_end(bar_left=False, point_left=False)


def plus(c, x, y, colour, dark):
    c.rect(x - 1, y - 3, x + 1, y + 3, dark)
    c.rect(x - 3, y - 1, x + 3, y + 1, dark)
    c.rect(x, y - 2, x, y + 2, colour)
    c.rect(x - 2, y, x + 2, y, colour)


def nav_sb_gif():
    c = Canvas(16, 16)
    page(c, 0, 0, 8, 10, fold=2)
    page(c, 4, 3, 12, 13, fold=2)
    plus(c, 12, 12, BLUE_L, BLUE_D)
    return c


def nav_ib_gif():
    c = Canvas(16, 16)
    c.rect(0, 1, 10, 15, '#A06828')
    c.frame(0, 1, 10, 15, '#603810')
    c.rect(3, 0, 7, 2, GREY_D)
    c.rect(2, 4, 8, 13, WHITE)
    c.line(3, 6, 7, 6, GREY)
    c.line(3, 8, 7, 8, GREY)
    c.line(3, 10, 6, 10, GREY)
    # bent arrow: down from the top, then left into the clipboard
    c.rect(12, 3, 13, 9, BLUE)
    c.rect(8, 8, 13, 9, BLUE)
    c.polygon([(9, 5.5), (9, 11.5), (6, 8.5)], BLUE)
    c.rect(14, 3, 14, 10, BLUE_D)
    return c


def nav_new_gif():
    c = Canvas(12, 14)
    page(c, 0, 0, 11, 13, fold=4)
    return c


def nav_sav_gif():
    c = Canvas(16, 16)
    floppy(c, 0, 0, BLUE, BLUE_D)
    return c


def nav_del_gif():
    c = Canvas(16, 16, ss=4)
    c.stroke(3, 3, 13, 13, 3.6, RED_D)
    c.stroke(13, 3, 3, 13, 3.6, RED_D)
    c.stroke(3, 3, 13, 13, 2.4, RED)
    c.stroke(13, 3, 3, 13, 2.4, RED)
    return c


def chevrons(pointing_left):
    c = Canvas(11, 11)
    for offset in (1, 5):
        for k in range(5):
            for x in (offset + k, offset + k + 1):
                x = x if pointing_left else 10 - x
                c.px(x, 5 - k, BLACK)
                c.px(x, 5 + k, BLACK)
    return c


def nav_sbac_gif():
    return chevrons(pointing_left=True)


def nav_sfor_gif():
    return chevrons(pointing_left=False)


def nav_sinc_gif():
    c = Canvas(16, 16, ss=4)
    # dotted line along the bottom
    for x in range(1, 16, 3):
        c.rect(x, 14, x + 1, 14, GREY_D)
    # arc from the left up and over to the right, ending in an arrowhead
    pts_out, pts_in = [], []
    for i in range(0, 25):
        a = math.radians(180 + i * 6.5)
        pts_out.append((7 + 6 * math.cos(a), 11 + 8 * math.sin(a)))
        pts_in.append((7 + 3.6 * math.cos(a), 11 + 5.6 * math.sin(a)))
    c.polygon(pts_out + pts_in[::-1], BLUE)
    c.polygon([(8.6, 8.2), (15.8, 7.2), (13.2, 12.8)], BLUE)
    return c


# ---------------------------------------------------------------------------
# Run-time pictures of the channel pages (data/*.gif)
# ---------------------------------------------------------------------------
def cog(c, cx, cy, r_out, r_in, teeth, colour, dark):
    pts = []
    for i in range(teeth * 4):
        a = 2 * math.pi * i / (teeth * 4)
        r = r_out if i % 4 in (0, 1) else r_in
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    c.polygon(pts, dark)
    c.ellipse(cx, cy, r_in - 1.0, r_in - 1.0, colour)
    c.ellipse(cx, cy, r_in * 0.38, r_in * 0.38, WHITE)


def data_settings():
    c = Canvas(16, 16, ss=4)
    c.rect(1, 0, 10, 13, WHITE)
    c.frame(1, 0, 10, 13, GREY_D)
    for y in (3, 5, 7):
        c.rect(3, y, 8, y, GREY)
    cog(c, 10.5, 10.5, 5.4, 4.0, 8, GREY_L, GREY_D)
    return c


def data_goto():
    c = Canvas(16, 16, ss=4)
    # bent arrow: out of the left edge, along, then right into the target bar
    c.rect(13, 2, 14, 14, GREY_D)
    arrow(c, 1, 12.5, 8, GREEN, GREEN_D, half=5, shaft=2)
    return c


def vertical_arrow(up):
    c = Canvas(16, 16, ss=4)
    tip, tail = (1.0, 15.0) if up else (15.0, 1.0)
    d = 1 if up else -1
    base = tip + d * 7
    pts = [(8, tip), (15, base), (10.5, base), (10.5, tail), (5.5, tail), (5.5, base), (1, base)]
    c.polygon([(x + 0.7, y + 0.7) for x, y in pts], BLUE_D)
    c.polygon(pts, BLUE)
    return c


def data_up():
    return vertical_arrow(up=True)


def data_dn():
    return vertical_arrow(up=False)


def data_saveall():
    c = Canvas(16, 16)
    # three floppies, each 10 pixels, stacked from the back to the front
    for i, (body, dark) in enumerate(((BLUE_L, BLUE_D), (BLUE, BLUE_D), ('#1838B0', BLACK))):
        x = y = i * 3
        c.rect(x, y, x + 9, y + 9, body)
        c.frame(x, y, x + 9, y + 9, dark)
        c.rect(x + 2, y + 1, x + 7, y + 3, GREY_L)
        c.rect(x + 5, y + 1, x + 6, y + 2, dark)
        c.rect(x + 2, y + 6, x + 7, y + 8, WHITE)
    return c


# ---------------------------------------------------------------------------
# The program's own icon for the desktop menu: the box's TV screen showing the
# company's swoosh, on its stand, with the service cable's serial plug. Drawn
# once on a canvas (48 x 48 PNG) and once as SVG from the same shapes.
# ---------------------------------------------------------------------------
class SvgPen:
    """Collects the shapes of a picture as SVG elements."""

    def __init__(self, width, height):
        self.w, self.h, self.parts = width, height, []

    def polygon(self, points, colour):
        pts = ' '.join('%.2f,%.2f' % p for p in points)
        self.parts.append('<polygon points="%s" fill="%s"/>' % (pts, colour))

    def ellipse(self, cx, cy, rx, ry, colour):
        self.parts.append('<ellipse cx="%.2f" cy="%.2f" rx="%.2f" ry="%.2f" fill="%s"/>'
                          % (cx, cy, rx, ry, colour))

    def stroke(self, x0, y0, x1, y1, width, colour):
        self.parts.append('<line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="%s" '
                          'stroke-width="%.2f" stroke-linecap="round"/>'
                          % (x0, y0, x1, y1, colour, width))

    def text(self):
        return ('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n'
                '<title>TV Box service tool</title>\n%s\n</svg>\n'
                % (self.w, self.h, self.w, self.h, '\n'.join(self.parts)))


def rounded_box(x0, y0, x1, y1, r, steps=4):
    """Corner points of a rectangle with rounded corners, clockwise."""
    pts = []
    for cx, cy, start in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0), (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)):
        for i in range(steps + 1):
            a = math.radians(start + i * 90.0 / steps)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def draw_app_icon(pen):
    pen.polygon(rounded_box(17, 40, 31, 44.5, 1.2), GREY_D)              # foot
    pen.polygon([(20, 35), (28, 35), (29.5, 41), (18.5, 41)], GREY)       # neck
    pen.polygon(rounded_box(1.5, 3, 46.5, 36.5, 4), '#30343C')            # cabinet
    pen.polygon(rounded_box(2.5, 4, 45.5, 35.5, 3.4), '#4A505C')
    pen.polygon(rounded_box(5.5, 7, 42.5, 31.5, 2), BLUE_D)               # screen
    pen.polygon(rounded_box(6.5, 8, 41.5, 30.5, 1.5), BLUE)
    pen.polygon([(6.5, 8), (41.5, 8), (41.5, 12), (6.5, 18)], '#3C64DC')  # glare
    swoosh(pen, 24, 24.5, 15, 11, 4.5, YELLOW, YELLOW_D)
    pen.ellipse(8, 33.6, 1.1, 1.1, GREEN_L)                              # power lamp
    pen.stroke(41, 35, 41, 39, 2.4, '#202020')                            # cable
    pen.polygon([(34, 38.5), (48, 38.5), (46, 47.5), (36, 47.5)], GREY_D)  # serial plug
    pen.polygon([(35.3, 39.6), (46.7, 39.6), (45, 46.4), (37, 46.4)], GREY_L)
    for i in range(5):
        pen.ellipse(37.4 + i * 1.8, 41.8, 0.6, 0.6, BLACK)
    for i in range(4):
        pen.ellipse(38.3 + i * 1.8, 44.3, 0.6, 0.6, BLACK)


def rgba_rows(c):
    """Picture-sized RGBA rows: edge pixels keep their coverage as alpha, so
    the icon sits cleanly on any desktop colour."""
    s, rows = c.ss, []
    for y in range(c.h):
        row = []
        for x in range(c.w):
            cells = [c.pix[y * s + j][x * s + i] for j in range(s) for i in range(s)]
            solid = [p for p in cells if p is not None]
            if not solid:
                row.append((0, 0, 0, 0))
                continue
            colour = tuple(int(round(sum(p[k] for p in solid) / len(solid))) for k in range(3))
            row.append(colour + (int(round(255 * len(solid) / len(cells))),))
        rows.append(row)
    return rows


def png_bytes(rows):
    import struct
    import zlib

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b''.join(b'\0' + bytes(v for p in row for v in p) for row in rows)
    header = struct.pack('>IIBBBBB', len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header)
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def write_app_icon():
    canvas = Canvas(48, 48, ss=6)
    draw_app_icon(canvas)
    with open(os.path.join(HERE, 'tvbox.png'), 'wb') as f:
        f.write(png_bytes(rgba_rows(canvas)))
    svg = SvgPen(48, 48)
    draw_app_icon(svg)
    with open(os.path.join(HERE, 'tvbox.svg'), 'w') as f:
        f.write(svg.text())


# ---------------------------------------------------------------------------
# Output
# ---------------------------------------------------------------------------
XPM_PICTURES = [
    ('logo_icon', logo_icon), ('banner', banner), ('logo_picture', logo_picture),
    ('burn_icon', burn_icon), ('test_icon', test_icon), ('folder_icon', folder_icon),
    ('check_icon', check_icon), ('pencil_icon', pencil_icon), ('device_icon', device_icon),
    ('channels_icon', channels_icon), ('radio_icon', radio_icon), ('console_icon', console_icon),
    ('title_icon', title_icon), ('settings_icon', settings_icon), ('exchange_icon', exchange_icon),
    ('floppy_icon', floppy_icon), ('lamp_black_icon', lamp_black_icon),
    ('lamp_green_icon', lamp_green_icon), ('menu_icon', menu_icon), ('exit_icon', exit_icon),
    ('help_icon', help_icon), ('document_icon', document_icon), ('about_icon', about_icon),
]

GIF_PICTURES = [
    ('nav_first', nav_first_gif), ('nav_prev', nav_prev_gif), ('nav_next', nav_next_gif),
    ('nav_last', nav_last_gif), ('nav_sb', nav_sb_gif), ('nav_ib', nav_ib_gif),
    ('nav_new', nav_new_gif), ('nav_sav', nav_sav_gif), ('nav_del', nav_del_gif),
    ('nav_sbac', nav_sbac_gif), ('nav_sfor', nav_sfor_gif), ('nav_sinc', nav_sinc_gif),
]

DATA_PICTURES = [
    ('settings', data_settings), ('goto', data_goto), ('up', data_up),
    ('dn', data_dn), ('saveall', data_saveall),
]

# Printable characters safe inside a C string and meaningful to XPM readers.
CODE_CHARS = [chr(c) for c in range(35, 127) if chr(c) not in '"\\?']


def xpm_lines(pixels):
    colours = sorted({p for row in pixels for p in row if p is not None})
    entries = ([None] if any(p is None for row in pixels for p in row) else []) + colours
    cpp = 1 if len(entries) <= len(CODE_CHARS) else 2
    codes = {}
    for i, colour in enumerate(entries):
        if cpp == 1:
            codes[colour] = CODE_CHARS[i]
        else:
            codes[colour] = CODE_CHARS[i // len(CODE_CHARS)] + CODE_CHARS[i % len(CODE_CHARS)]
    if None in codes:  # keep the transparent code a space: easy to read in the source
        codes[None] = ' ' * cpp
    lines = ['%d %d %d %d' % (len(pixels[0]), len(pixels), len(entries), cpp)]
    for colour in entries:
        value = 'None' if colour is None else '#%02X%02X%02X' % colour
        lines.append('%s c %s' % (codes[colour], value))
    for row in pixels:
        lines.append(''.join(codes[p] for p in row))
    return lines


def xpm_file_text(name, lines):
    body = ',\n'.join('"%s"' % line for line in lines)
    return '/* XPM */\nstatic const char* %s_xpm[] = {\n%s};\n' % (name, body)


def xpm_to_gif(lines, gif_path):
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, 'picture.xpm')
        with open(src, 'w') as f:
            f.write(xpm_file_text('picture', lines))
        subprocess.run(['convert', src, gif_path], check=True)


def gif_bytes(lines):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, 'picture.gif')
        xpm_to_gif(lines, path)
        with open(path, 'rb') as f:
            return f.read()


def c_string_array(name, lines):
    body = ',\n'.join('"%s"' % line for line in lines)
    return 'const char* %s_xpm[] = {\n%s};\n' % (name, body)


def c_byte_array(name, data):
    rows = []
    for i in range(0, len(data), 16):
        rows.append('  ' + ', '.join('0x%02x' % b for b in data[i:i + 16]) + ',')
    return 'const unsigned char %s_gif[] = {\n%s\n};\n' % (name, '\n'.join(rows))


def write_cpp(xpms, gifs):
    parts = [
        '// Generated by res/icons/draw_icons.py: edit the drawing there and run it again.\n',
        '// Every picture here was painted by that script for this program.\n',
        '#include "icons/icons.h"\n\n',
        'namespace tv {\nnamespace icons {\n\n',
    ]
    for name, lines in xpms:
        parts.append(c_string_array(name, lines) + '\n')
    for name, data in gifs:
        parts.append(c_byte_array(name, data) + '\n')
    parts.append('}  // namespace icons\n}  // namespace tv\n')
    with open(os.path.join(HERE, 'icons.cpp'), 'w') as f:
        f.write(''.join(parts))


def write_sheet(out_png, files):
    subprocess.run(['montage', *files, '-filter', 'point', '-resize', '400%',
                    '-background', '#D4D0C8', '-tile', '8x', '-geometry', '+6+6', out_png], check=True)


def planned_sizes():
    """Sizes noted in icons.h next to each declaration ("// 33 x 16: ...")."""
    sizes = {}
    with open(os.path.join(HERE, 'icons.h')) as f:
        for line in f:
            m = re.search(r'(\w+)_(?:xpm|gif)\[\];\s*//\s*(\d+) x (\d+)', line)
            if m:
                sizes[m.group(1)] = (int(m.group(2)), int(m.group(3)))
    return sizes


def drawn(name, draw, sizes):
    """Paints one picture and refuses to go on if it is not the size the
    window layout expects."""
    pixels = draw().result()
    size = (len(pixels[0]), len(pixels))
    if name in sizes and sizes[name] != size:
        sys.exit('%s is %dx%d, icons.h plans %dx%d' % ((name,) + size + sizes[name]))
    return pixels


def main(argv):
    write_app_icon()
    if '--app-icon' in argv:
        return
    xpms, gifs, sheet_files = [], [], []
    sizes = planned_sizes()
    for name, draw in XPM_PICTURES:
        lines = xpm_lines(drawn(name, draw, sizes))
        xpms.append((name, lines))
        path = os.path.join(HERE, name + '.xpm')
        with open(path, 'w') as f:
            f.write(xpm_file_text(name, lines))
        sheet_files.append(path)
    with tempfile.TemporaryDirectory(prefix='tvbox-icons-') as tmp:
        for name, draw in GIF_PICTURES:
            lines = xpm_lines(drawn(name, draw, sizes))
            data = gif_bytes(lines)
            gifs.append((name, data))
            path = os.path.join(tmp, name + '.gif')
            with open(path, 'wb') as f:
                f.write(data)
            sheet_files.append(path)
        data_dir = os.path.join(ROOT, 'data')
        os.makedirs(data_dir, exist_ok=True)
        for name, draw in DATA_PICTURES:
            path = os.path.join(data_dir, name + '.gif')
            xpm_to_gif(xpm_lines(drawn(name, draw, {name: (16, 16)})), path)
            sheet_files.append(path)
        write_cpp(xpms, gifs)
        if '--sheet' in argv:
            write_sheet(argv[argv.index('--sheet') + 1], sheet_files)


if __name__ == '__main__':
    main(sys.argv[1:])
