#!/usr/bin/env python3
"""Draws the waiting animation (a ring of dots whose bright head goes
round) and writes it as an animated GIF. Qt reads GIF but cannot write it,
so the file is produced here and committed under resources/files/.

    python3 resources/generators/loading_gif.py \
        resources/files/CommonSkin/Loading/Images/Public/Control/Loading/Loading.gif
"""
import math
import struct
import sys

SIZE = 48
DOTS = 8
RING = 16.0
DOT_RADIUS = 4.2
DELAY_CS = 10  # per frame, hundredths of a second

ACCENT = (0xF7, 0x42, 0x48)
GREY = (0xDC, 0xDC, 0xDC)


def palette():
    # 0: transparent; 1..DOTS: from the accent (head) to light grey (tail).
    colours = [(0xFF, 0xFF, 0xFF)]
    for i in range(DOTS):
        t = i / (DOTS - 1)
        colours.append(tuple(round(a + (g - a) * t) for a, g in zip(ACCENT, GREY)))
    while len(colours) < 16:
        colours.append((0, 0, 0))
    return colours


def frame(head):
    pixels = bytearray(SIZE * SIZE)
    centre = (SIZE - 1) / 2.0
    for dot in range(DOTS):
        angle = 2 * math.pi * dot / DOTS - math.pi / 2
        cx = centre + RING * math.cos(angle)
        cy = centre + RING * math.sin(angle)
        age = (head - dot) % DOTS  # 0 = head
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= DOT_RADIUS ** 2:
                    pixels[y * SIZE + x] = 1 + age
    return bytes(pixels)


def lzw(indices, min_code_size):
    clear = 1 << min_code_size
    eoi = clear + 1
    code_size = min_code_size + 1
    next_code = eoi + 1
    table = {}
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += code_size
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    emit(clear)
    current = indices[0]
    for index in indices[1:]:
        key = (current, index)
        if key in table:
            current = table[key]
            continue
        emit(current)
        if next_code == 4096:
            emit(clear)
            table = {}
            code_size = min_code_size + 1
            next_code = eoi + 1
        else:
            if next_code >= (1 << code_size):
                code_size += 1
            table[key] = next_code
            next_code += 1
        current = index
    emit(current)
    emit(eoi)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def gif():
    out = bytearray(b"GIF89a")
    # Logical screen, global colour table of 16 entries.
    out += struct.pack("<HHBBB", SIZE, SIZE, 0xF3, 0, 0)
    for colour in palette():
        out += bytes(colour)
    # Loop for ever.
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for head in range(DOTS):
        # Restore to background after each frame, index 0 transparent.
        out += b"\x21\xF9\x04" + struct.pack("<BHB", 0x09, DELAY_CS, 0) + b"\x00"
        out += b"\x2C" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0)
        out.append(4)  # minimum code size
        out += sub_blocks(lzw(frame(head), 4))
    out.append(0x3B)
    return bytes(out)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(gif())
