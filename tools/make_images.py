#!/usr/bin/env python3
"""Draws the editor's own small pictures: the level meter's segments (4 x 7 pixels in green,
dark, yellow and red), its 1 x 14 edge strip, and the program icon. It also draws the installer's
picture of the Explorer right-click menu of an MP3 file with our entry highlighted
(win32/install/menu.bmp, bitmap 130 of the set-up dialog); that one needs Pillow (python3-pil) and the
IPA P Gothic font for its Japanese text, and is skipped with a message without them. Run it to
remake them."""
import os
import struct
import sys

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "win32", "editor", "resources")
install = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "win32", "install")

# The installer's menu picture: the size of its picture control (112 x 92 dialog units in the
# dialog's 9 point font) in pixels, and the font its text is drawn in.
MENU_WIDTH, MENU_HEIGHT = 168, 138
MENU_FONT = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"
MENU_FONT_SIZE = 12


def bmp24(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y = 0 at the top."""
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def segment(lit, dim):
    # A lit face with a darker one-pixel rim at the bottom and right.
    return lambda x, y: dim if (x == 3 or y == 6) else lit


def edge(x, y):
    # 16 shades: a short ramp from dark to light grey.
    v = 40 + y * 12
    return (v, v, v)


def icon():
    """A 32 x 32 icon: a note on a green disc, 32-bit with an AND mask."""
    size = 32
    pixels = bytearray()
    mask_rows = []
    for y in range(size - 1, -1, -1):
        mask = 0
        for x in range(size):
            dx, dy = x - 15.5, y - 15.5
            inside = dx * dx + dy * dy <= 15.5 * 15.5
            note = (19 <= x <= 20 and 6 <= y <= 22) or ((x - 15) ** 2 + (y - 22) ** 2 <= 10) or \
                   (20 <= x <= 25 and 6 <= y <= 8)
            if not inside:
                pixels += bytes((0, 0, 0, 0))
                mask |= 1 << (31 - x)
            elif note:
                pixels += bytes((255, 255, 255, 255))
            else:
                pixels += bytes((40, 160, 40, 255))
        mask_rows.append(struct.pack(">I", mask))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + 128, 0, 0, 0, 0)
    image = info + bytes(pixels) + b"".join(mask_rows)
    head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    return head + image


def menu_picture(width, height):
    """The installer's picture: an Explorer window with an MP3 file selected and its right-click
    menu open, our entry highlighted, in the classic grey. It is laid out from width and height and
    returns pixel(x, y) for bmp24, or None when Pillow or the font is missing."""
    try:
        from PIL import Image, ImageDraw, ImageFont
    except ImportError:
        print("make_images.py: this Python (" + sys.executable + ") has no Pillow, so "
              "win32/install/menu.bmp was not drawn; install python3-pil (apt-get install -y "
              "python3-pil) and run the script with /usr/bin/python3", file=sys.stderr)
        return None
    try:
        font = ImageFont.truetype(MENU_FONT, MENU_FONT_SIZE)
    except OSError:
        print("make_images.py: no " + MENU_FONT + " (apt-get install -y fonts-ipafont-gothic), "
              "so win32/install/menu.bmp was not drawn", file=sys.stderr)
        return None

    white, black, navy = (255, 255, 255), (0, 0, 0), (0, 0, 128)
    face, shadow = (192, 192, 192), (128, 128, 128)
    image = Image.new("RGB", (width, height), white)
    draw = ImageDraw.Draw(image)
    draw.fontmode = "1"  # plain pixels read better than grey edges at this size

    # Text is placed by its baseline so that a row of kana, kanji and brackets sits in the middle.
    top, bottom = font.getbbox("漢(", anchor="ls")[1::2]
    row = bottom - top + 2

    def text(x, y, string, colour):
        baseline = y + (row - (bottom - top)) // 2 - top
        draw.text((x, baseline), string, fill=colour, font=font, anchor="ls")

    # The selected file: a large icon, dithered with the highlight colour, and its name underneath.
    name = "曲.mp3"
    name_width = round(font.getlength(name))
    size = 32 if height >= 96 else 16
    column = max(size, name_width + 4)
    ix, iy = 3 + (column - size) // 2, 4
    scale = size / 32

    def at(*points):
        return [(ix + round(px * scale), iy + round(py * scale)) for px, py in points]

    shape = Image.new("1", (width, height), 0)
    outline = [(6, 1), (20, 1), (26, 7), (26, 30), (6, 30)]
    ImageDraw.Draw(shape).polygon(at(*outline), fill=1)
    draw.polygon(at(*outline), fill=white, outline=black)
    draw.polygon(at((20, 1), (20, 7), (26, 7)), fill=face, outline=black)
    # Two beamed quavers on the page.
    draw.polygon(at((13, 11), (21, 9), (21, 12), (13, 14)), fill=black)
    draw.rectangle(at((13, 11), (14, 23)), fill=black)
    draw.rectangle(at((20, 9), (21, 21)), fill=black)
    draw.ellipse(at((9, 21), (14, 25)), fill=black)
    draw.ellipse(at((16, 19), (21, 23)), fill=black)
    for y in range(iy, iy + size):
        for x in range(ix, ix + size):
            if shape.getpixel((x, y)) and (x + y) % 2 == 0:
                draw.point((x, y), fill=navy)
    lx, ly = 3 + (column - name_width) // 2, iy + size + 2
    draw.rectangle((lx - 2, ly, lx + name_width + 1, ly + row - 1), fill=navy)
    text(lx, ly, name, white)

    # The menu. Entries are dropped in the order of their numbers (0: always kept) until it fits.
    entries = [("開く(O)", 0), ("再生", 3), ("id3タグ編集", 0), None, ("送る(N)", 4), None,
               ("切り取り(T)", 5), ("コピー(C)", 6), None, ("削除(D)", 2), ("名前の変更(M)", 1), None,
               ("プロパティ(R)", 0)]
    ours, more = "id3タグ編集", "送る(N)"
    frame, gap = 3, 5  # border and padding; height of a separator

    def tidy(items):
        kept = []
        for item in items:
            if item is None and (not kept or kept[-1] is None):
                continue
            kept.append(item)
        return kept[:-1] if kept and kept[-1] is None else kept

    def tall(items):
        return 2 * frame + sum(gap if item is None else row for item in items)

    entries = tidy(entries)
    while tall(entries) > height - 4:
        droppable = [item for item in entries if item and item[1]]
        if not droppable:
            break
        entries = tidy([item for item in entries if item is not min(droppable, key=lambda e: e[1])])

    left = 12  # room for a check mark, as in a real menu
    arrow = 12  # room for a submenu arrow
    longest = max(round(font.getlength(item[0])) for item in entries if item)
    mw = 2 * frame + left + longest + arrow + 4
    mh = tall(entries)
    # Beside the file in the room that is left, or over its name when there is too little room.
    mx = max(2, min(column + 4 + max(0, width - 3 - column - 4 - mw) // 2, width - mw - 3))
    my = max(2, min(iy + size // 2, height - mh - 3))
    draw.rectangle((mx, my, mx + mw - 1, my + mh - 1), fill=face)
    draw.line((mx, my + mh - 1, mx + mw - 1, my + mh - 1), fill=black)
    draw.line((mx + mw - 1, my, mx + mw - 1, my + mh - 1), fill=black)
    draw.line((mx + 1, my + 1, mx + mw - 3, my + 1), fill=white)
    draw.line((mx + 1, my + 1, mx + 1, my + mh - 3), fill=white)
    draw.line((mx + 1, my + mh - 2, mx + mw - 2, my + mh - 2), fill=shadow)
    draw.line((mx + mw - 2, my + 1, mx + mw - 2, my + mh - 2), fill=shadow)

    y = my + frame
    for item in entries:
        if item is None:
            mid = y + gap // 2
            draw.line((mx + frame, mid - 1, mx + mw - frame - 1, mid - 1), fill=shadow)
            draw.line((mx + frame, mid, mx + mw - frame - 1, mid), fill=white)
            y += gap
            continue
        colour = black
        if item[0] == ours:
            draw.rectangle((mx + frame, y, mx + mw - frame - 1, y + row - 1), fill=navy)
            colour = white
        text(mx + frame + left, y, item[0], colour)
        if item[0] == more:
            cx, cy = mx + mw - frame - arrow // 2 - 1, y + row // 2
            draw.polygon([(cx, cy - 3), (cx + 3, cy), (cx, cy + 3)], fill=colour)
        if item[0] == ours:
            pointer = (mx + frame + left + round(font.getlength(ours)) + 7, y + row // 2)
        y += row

    # The mouse pointer resting on our entry, past the end of its text.
    cursor = ["X", "XX", "X.X", "X..X", "X...X", "X....X", "X.....X", "X......X", "X....XXXX",
              "X.X..X", "XX X..X", "X   X..X", "     X..X", "     X..X", "      XX"]
    for dy, line in enumerate(cursor):
        for dx, c in enumerate(line):
            if c != " ":
                draw.point((pointer[0] + dx, pointer[1] + dy), fill=black if c == "X" else white)
    return lambda x, y: image.getpixel((x, y))


def main():
    out = {
        "green.bmp": bmp24(4, 7, segment((40, 230, 40), (20, 120, 20))),
        "dark.bmp": bmp24(4, 7, segment((30, 50, 30), (15, 25, 15))),
        "yellow.bmp": bmp24(4, 7, segment((240, 220, 40), (130, 110, 20))),
        "red.bmp": bmp24(4, 7, segment((240, 40, 40), (120, 20, 20))),
        "edge.bmp": bmp24(1, 14, edge),
        "tagzo.ico": icon(),
    }
    for name, data in out.items():
        with open(os.path.join(here, name), "wb") as f:
            f.write(data)
    menu = menu_picture(MENU_WIDTH, MENU_HEIGHT)
    if menu:
        with open(os.path.join(install, "menu.bmp"), "wb") as f:
            f.write(bmp24(MENU_WIDTH, MENU_HEIGHT, menu))
    return 0


if __name__ == "__main__":
    sys.exit(main())
