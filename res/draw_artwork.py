#!/usr/bin/python3
"""Draws the Vexil Downloader artwork into this folder.

Outputs: skin.bmp (widget sheet), fallback.bmp, app.ico, demo-background.jpg
and preview.png (3x enlargement of the sheet for reviewing).
Run with Debian's python: /usr/bin/python3 res/draw_artwork.py
The output is deterministic (no unseeded randomness, no timestamps).
"""
import math
import os
import random
import struct

from PIL import Image, ImageDraw, ImageFilter, ImageFont

OUT = os.path.dirname(os.path.abspath(__file__))
FONT_DIR = "/usr/share/fonts/truetype/nanum/"
SERIF_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf"

# Widget sheet geometry (x, y, w, h).
SHEET_SIZE = (381, 274)
STATUS_PANEL = (0, 0, 380, 140)
PROGRESS_TRACK = (0, 142, 360, 15)
FOLDER_FIELD = (0, 160, 290, 15)
PROGRESS_FILL = (362, 142, 1, 13)
FOLDER_BUTTONS = {"normal": (0, 176), "down": (52, 176), "grey": (104, 176)}
FOLDER_BUTTON_SIZE = (50, 16)
CHECK_EMPTY = (156, 176, 15, 15)
MESSAGE_ICON = (190, 176, 16, 15)
CHECK_TICKED = (366, 176, 15, 15)
BUTTON_SIZE = (60, 25)
BUTTON_STATES = {"normal": 0, "hover": 62, "down": 124, "grey": 186}
BUTTON_ROWS = [  # (y, label, base colour, states present)
    (194, "다운로드", (38, 128, 226), ("normal", "hover", "down")),
    (221, "일시정지", (214, 132, 24), ("normal", "hover", "down")),
    (248, "닫기", (78, 82, 92), ("normal", "hover", "down", "grey")),
]
NEUTRAL = (44, 45, 50)
ACCENT = (96, 210, 255)  # check mark


def font(name, size):
    for path in (name, os.path.join(FONT_DIR, name)):
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    return ImageFont.truetype(os.path.join(FONT_DIR, "NanumGothicBold.ttf"), size)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def scale(c, f):
    return tuple(max(0, min(255, int(round(v * f)))) for v in c)


def grey_of(c, lift=0.35):
    y = int(0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2])
    return mix((y, y, y), (150, 150, 150), lift)


def vgradient(draw, box, top, bottom):
    x, y, w, h = box
    for i in range(h):
        draw.line([(x, y + i), (x + w - 1, y + i)], fill=mix(top, bottom, i / max(1, h - 1)))


def soft_overlay(img, paint, colour, blur):
    """Blends `colour` through a blurred mask drawn by paint(ImageDraw)."""
    mask = Image.new("L", img.size, 0)
    paint(ImageDraw.Draw(mask))
    img.paste(colour, (0, 0), mask.filter(ImageFilter.GaussianBlur(blur)))


# ---------------------------------------------------------------- 16-bit BMP
BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def dither555(img, box=None):
    """Ordered dither of a region so gradients survive the 5-bit channels."""
    px = img.load()
    x0, y0, w, h = box or (0, 0) + img.size
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            d = (BAYER[y & 3][x & 3] + 0.5) / 16.0 * 8.0 - 4.0
            px[x, y] = tuple(min(248, max(0, int(v + d + 4) & ~7)) for v in px[x, y])


def save_bmp16(img, path):
    """Writes an uncompressed bottom-up 16 bpp (x555, BI_RGB) BMP."""
    w, h = img.size
    px = img.convert("RGB").load()
    stride = (w * 2 + 3) & ~3
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = px[x, y]
            row += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        rows.append(bytes(row) + b"\0" * (stride - len(row)))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 16, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


# ---------------------------------------------------------------- sheet cells
def draw_panel(img, box):
    d = ImageDraw.Draw(img)
    x, y, w, h = box
    vgradient(d, box, (30, 36, 48), (16, 19, 26))
    d.rectangle([x, y, x + w - 1, y + h - 1], outline=(74, 86, 108))
    d.line([(x + 1, y + 1), (x + w - 2, y + 1)], fill=(46, 54, 70))
    dither555(img, (x + 1, y + 2, w - 2, h - 3))


def draw_track(img, box):
    d = ImageDraw.Draw(img)
    x, y, w, h = box
    vgradient(d, box, (10, 12, 16), (24, 28, 36))
    d.line([(x, y), (x + w - 1, y)], fill=(4, 5, 8))            # shadow on top
    d.line([(x, y), (x, y + h - 1)], fill=(6, 7, 10))
    d.line([(x, y + h - 1), (x + w - 1, y + h - 1)], fill=(70, 80, 98))  # lit bottom
    d.line([(x + w - 1, y + 1), (x + w - 1, y + h - 1)], fill=(56, 64, 80))


def draw_fill(img, box):
    x, y, _, h = box
    stops = [(0.0, (170, 236, 255)), (0.35, (64, 190, 250)), (1.0, (22, 96, 200))]
    for i in range(h):
        t = i / (h - 1)
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t0 <= t <= t1:
                img.putpixel((x, y + i), mix(c0, c1, (t - t0) / (t1 - t0)))
                break


def draw_field(img, box):
    d = ImageDraw.Draw(img)
    x, y, w, h = box
    vgradient(d, box, (226, 229, 234), (246, 247, 249))
    d.rectangle([x, y, x + w - 1, y + h - 1], outline=(120, 128, 140))
    d.line([(x + 1, y + 1), (x + w - 2, y + 1)], fill=(206, 210, 217))


def rounded_button(img, box, base, state, label, size, text_dy=0):
    """Rounded-corner button with gradient face, 1px border and centred label."""
    d = ImageDraw.Draw(img)
    x, y, w, h = box
    if state == "grey":
        base = grey_of(base)
    face = {"normal": 1.0, "hover": 1.18, "down": 0.78, "grey": 1.0}[state]
    top, bottom = scale(base, face * 1.22), scale(base, face * 0.86)
    if state == "down":
        top, bottom = bottom, scale(base, face * 1.02)
    border = scale(base, 0.45 if state != "grey" else 0.7)
    d.rectangle([x, y, x + w - 1, y + h - 1], fill=NEUTRAL)
    d.rounded_rectangle([x, y, x + w - 1, y + h - 1], radius=3, fill=border)
    vgradient(d, (x + 1, y + 1, w - 2, h - 2), top, bottom)
    for cx, cy in ((x + 1, y + 1), (x + w - 2, y + 1), (x + 1, y + h - 2), (x + w - 2, y + h - 2)):
        d.point((cx, cy), fill=border)
    hi = scale(top, 1.25) if state != "down" else scale(base, face * 0.6)
    d.line([(x + 2, y + 1), (x + w - 3, y + 1)], fill=hi)
    f = font("NanumGothicBold.ttf", size)
    l, t, r, b = d.textbbox((0, 0), label, font=f)
    tx = x + (w - (r - l)) // 2 - l
    ty = y + (h - (b - t)) // 2 - t + text_dy
    if state == "down":
        tx, ty = tx + 1, ty + 1
    if state == "grey":
        d.text((tx, ty), label, font=f, fill=(206, 208, 212))
    else:
        d.text((tx, ty + 1), label, font=f, fill=scale(base, 0.35))
        d.text((tx, ty), label, font=f, fill=(255, 255, 255))


def draw_checkbox(img, box, ticked):
    d = ImageDraw.Draw(img)
    x, y, w, h = box
    d.rectangle([x, y, x + w - 1, y + h - 1], fill=NEUTRAL)
    d.rectangle([x + 1, y + 1, x + w - 2, y + h - 2], outline=(140, 152, 172))
    vgradient(d, (x + 2, y + 2, w - 4, h - 4), (18, 21, 28), (34, 39, 50))
    if ticked:  # check mark drawn supersampled, then pasted
        s = 8
        big = Image.new("L", (w * s, h * s), 0)
        bd = ImageDraw.Draw(big)
        bd.line([(3.4 * s, 7.4 * s), (6.2 * s, 10.4 * s), (11.8 * s, 3.6 * s)],
                fill=255, width=int(2.1 * s), joint="curve")
        mask = big.resize((w, h), Image.LANCZOS)
        img.paste(ACCENT, (x, y, x + w, y + h), mask)


def draw_message_icon(img, box):
    x, y, w, h = box
    s = 8
    big = Image.new("RGBA", (w * s, h * s), NEUTRAL + (255,))
    bd = ImageDraw.Draw(big)
    bd.polygon([(8 * s, 0.6 * s), (15.4 * s, 14.2 * s), (0.6 * s, 14.2 * s)], fill=(236, 120, 32))
    bd.polygon([(8 * s, 2.6 * s), (13.6 * s, 13.0 * s), (2.4 * s, 13.0 * s)], fill=(250, 156, 44))
    bd.rounded_rectangle([7.0 * s, 5.2 * s, 9.0 * s, 10.0 * s], radius=s, fill=(255, 255, 255))
    bd.ellipse([7.0 * s, 10.8 * s, 9.0 * s, 12.6 * s], fill=(255, 255, 255))
    img.paste(big.resize((w, h), Image.LANCZOS).convert("RGB"), (x, y))


def draw_sheet():
    img = Image.new("RGB", SHEET_SIZE, NEUTRAL)
    draw_panel(img, STATUS_PANEL)
    draw_track(img, PROGRESS_TRACK)
    draw_fill(img, PROGRESS_FILL)
    draw_field(img, FOLDER_FIELD)
    for state, (bx, by) in FOLDER_BUTTONS.items():
        rounded_button(img, (bx, by) + FOLDER_BUTTON_SIZE, (64, 104, 160), state, "폴더변경", 11)
    draw_checkbox(img, CHECK_EMPTY, False)
    draw_checkbox(img, CHECK_TICKED, True)
    draw_message_icon(img, MESSAGE_ICON)
    for by, label, base, states in BUTTON_ROWS:
        for state in states:
            rounded_button(img, (BUTTON_STATES[state], by) + BUTTON_SIZE, base, state, label, 12)
    return img


# ---------------------------------------------------------------- other pieces
def draw_fallback():
    w, h = 360, 160
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            t = 0.7 * y / h + 0.3 * x / w
            px[x, y] = mix((28, 44, 70), (10, 14, 24), t)
    soft_overlay(img, lambda m: m.ellipse([-60, -90, 220, 90], fill=60), (70, 120, 180), 40)
    dither555(img)
    d = ImageDraw.Draw(img)
    d.text((12, 10), "Vexil Downloader", font=font("NanumGothicBold.ttf", 12), fill=(176, 196, 224))
    return img


def draw_emblem(size):
    s = 8
    n = size * s
    big = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)
    pad = n * 0.04
    d.rounded_rectangle([pad, pad, n - pad, n - pad], radius=n * 0.2, fill=(14, 70, 150, 255))
    d.rounded_rectangle([pad + n * 0.04, pad + n * 0.04, n - pad - n * 0.04, n * 0.56],
                        radius=n * 0.16, fill=(40, 128, 226, 255))
    d.rectangle([n * 0.40, n * 0.18, n * 0.60, n * 0.50], fill=(255, 255, 255, 255))
    d.polygon([(n * 0.22, n * 0.46), (n * 0.78, n * 0.46), (n * 0.50, n * 0.74)], fill=(255, 255, 255, 255))
    d.rectangle([n * 0.22, n * 0.78, n * 0.78, n * 0.85], fill=(120, 220, 255, 255))
    return big.resize((size, size), Image.LANCZOS)


def draw_demo_background():
    w, h = 544, 340
    rnd = random.Random(1207)
    img = Image.new("RGB", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):  # dusk sky
        t = y / 230
        c = mix((22, 30, 74), (120, 86, 140), min(1, t)) if t < 1 else (120, 86, 140)
        if t > 0.6:
            c = mix(c, (238, 160, 110), min(1, (t - 0.6) / 0.4))
        d.line([(0, y), (w, y)], fill=c)
    for _ in range(90):  # stars in the upper sky
        sx, sy = rnd.randrange(w), rnd.randrange(120)
        v = rnd.randrange(150, 255)
        d.point((sx, sy), fill=(v, v, min(255, v + 20)))
    soft_overlay(img, lambda m: m.ellipse([320, 70, 480, 230], fill=150), (255, 200, 140), 45)
    d = ImageDraw.Draw(img)
    d.ellipse([380, 128, 420, 168], fill=(255, 228, 180))  # low sun, above the panel area

    def ridge(base, amp, freq, colour, seed):
        r = random.Random(seed)
        phases = [r.uniform(0, 6.28) for _ in range(3)]
        pts = [(0, h)]
        for x in range(0, w + 4, 4):
            yy = base - amp * (0.6 * math.sin(x * freq + phases[0])
                               + 0.3 * math.sin(x * freq * 2.3 + phases[1])
                               + 0.1 * math.sin(x * freq * 5.1 + phases[2]))
            pts.append((x, yy))
        pts.append((w, h))
        d.polygon(pts, fill=colour)

    ridge(200, 40, 0.011, (92, 72, 118), 3)
    ridge(226, 30, 0.015, (66, 54, 96), 5)
    soft_overlay(img, lambda m: m.rectangle([0, 220, w, 250], fill=90), (214, 160, 160), 12)
    d = ImageDraw.Draw(img)
    ridge(262, 26, 0.009, (40, 36, 66), 8)
    # castle on the left hill, well away from the status panel area
    cx, cy = 70, 212
    sil = (28, 24, 46)
    d.rectangle([cx, cy, cx + 56, cy + 40], fill=sil)
    for tx, th in ((cx - 6, 34), (cx + 22, 52), (cx + 50, 30)):
        d.rectangle([tx, cy - th + 14, tx + 12, cy + 40], fill=sil)
        d.polygon([(tx - 2, cy - th + 14), (tx + 14, cy - th + 14), (tx + 6, cy - th)], fill=sil)
    for wx, wy in ((cx + 27, cy - 20), (cx + 10, cy + 8), (cx + 40, cy + 8)):
        d.rectangle([wx, wy, wx + 2, wy + 4], fill=(255, 200, 110))
    ridge(300, 16, 0.013, (22, 20, 38), 11)
    for _ in range(40):  # pines along the foreground
        px_, base = rnd.randrange(0, 150), rnd.randrange(286, 330)
        ph = rnd.randrange(14, 30)
        d.polygon([(px_, base - ph), (px_ - ph // 4, base), (px_ + ph // 4, base)], fill=(14, 14, 26))
    soft_overlay(img, lambda m: m.rectangle([0, 0, w, h], outline=120, width=26), (0, 0, 0), 24)
    # title in the upper-left
    tf = font(SERIF_BOLD, 34)
    soft_overlay(img, lambda m: m.text((26, 26), "Glenmoor", font=tf, fill=200), (0, 0, 0), 3)
    d = ImageDraw.Draw(img)
    d.text((24, 22), "Glenmoor", font=tf, fill=(250, 232, 196))
    d.line([(26, 66), (200, 66)], fill=(214, 170, 110))
    d.text((26, 72), "THE WINTER CROWN", font=font("NanumGothicBold.ttf", 11), fill=(222, 206, 220))
    return img


def main():
    sheet = draw_sheet()
    save_bmp16(sheet, os.path.join(OUT, "skin.bmp"))
    # Preview reflects the 5-bit channels exactly as stored.
    q = sheet.point(lambda v: (v & ~7) | (v >> 5))
    q.resize((SHEET_SIZE[0] * 3, SHEET_SIZE[1] * 3), Image.NEAREST).save(os.path.join(OUT, "preview.png"))
    save_bmp16(draw_fallback(), os.path.join(OUT, "fallback.bmp"))
    icons = [draw_emblem(s) for s in (48, 32, 16)]
    icons[0].save(os.path.join(OUT, "app.ico"), sizes=[(48, 48), (32, 32), (16, 16)],
                  append_images=icons[1:], bitmap_format="bmp")
    draw_demo_background().save(os.path.join(OUT, "demo-background.jpg"), quality=90, optimize=True)


if __name__ == "__main__":
    main()
