#!/usr/bin/env python3
"""Writes src/resources/vog.ico: icon 101, a folder with a magnifying glass, as 32x32 and 16x16
images with the standard 16-colour palette (4 bits per pixel, with an AND mask for transparency)."""
import struct
import sys

# The standard VGA palette, as (blue, green, red, 0) quads in the order Windows uses.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DARK_YELLOW, GREY, YELLOW, BLUE, WHITE, CYAN = 0, 3, 8, 11, 12, 15, 14
TRANSPARENT = None


def draw(size):
    s = size / 32.0
    px = [[TRANSPARENT] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    # Folder: tab, body, outline.
    rect(2, 6, 13, 10, DARK_YELLOW)
    rect(2, 9, 28, 27, BLACK)
    rect(3, 10, 27, 26, YELLOW)
    rect(3, 10, 27, 12, DARK_YELLOW)
    # Magnifying glass over the lower right corner.
    cx, cy, r = 19 * s, 17 * s, 6.5 * s
    for y in range(size):
        for x in range(size):
            d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
            if d <= r - 1.6 * s:
                px[y][x] = CYAN if (x + y) % 5 else WHITE
            elif d <= r:
                px[y][x] = BLUE
    for i in range(int(7 * s)):
        for w in range(max(1, int(2 * s))):
            x, y = int(23.5 * s) + i, int(21.5 * s) + i + w
            if x < size and y < size:
                px[y][x] = GREY if i > 1 else BLUE
    return px


def image(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor_rows, and_rows = [], []
    for y in reversed(range(size)):  # bottom-up rows
        row = px[y]
        xor = bytearray()
        for x in range(0, size, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xor.append((hi << 4) | lo)
        xor_rows.append(bytes(xor) + b'\0' * ((4 - len(xor) % 4) % 4))
        bits = 0
        mask = bytearray()
        for x in range(size):
            bits = (bits << 1) | (1 if row[x] is None else 0)
            if x % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b'\0' * ((4 - len(mask) % 4) % 4))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def main(path):
    images = [image(32), image(16)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'src/resources/vog.ico')
