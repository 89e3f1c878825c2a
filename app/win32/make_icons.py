#!/usr/bin/env python3
"""Writes the Windows program's icons (16, 32 and 48 pixels, 32-bit) into the folder given:
the envelope of the application, the drive with an arrow of the selection pages, and the
person and folder of the folder list. The same shapes as the drawn icons of the Qt pages."""
import math
import struct
import sys

CLEAR = (0, 0, 0, 0)


def envelope(u, v):
    if not (0.06 <= u <= 0.94 and 0.2 <= v <= 0.8):
        return CLEAR
    edge = min(u - 0.06, 0.94 - u, v - 0.2, 0.8 - v) < 0.05
    flap = abs((v - 0.2) - 0.55 * (0.5 - abs(u - 0.5)) * 2 * 0.55) < 0.045
    return (96, 64, 32, 255) if edge or flap else (255, 250, 235, 255)


def drive_arrow(u, v):
    if 0.08 <= u <= 0.92 and 0.55 <= v <= 0.88:
        edge = min(u - 0.08, 0.92 - u, v - 0.55, 0.88 - v) < 0.05
        light = 0.75 <= u <= 0.85 and 0.68 <= v <= 0.76
        return (64, 64, 64, 255) if edge else (64, 200, 64, 255) if light else (176, 176, 176, 255)
    shaft = 0.42 <= u <= 0.58 and 0.08 <= v <= 0.3
    head = 0.3 <= v <= 0.5 and abs(u - 0.5) <= (0.5 - v) * 1.2
    return (0, 128, 0, 255) if shaft or head else CLEAR


def person(u, v):
    if math.hypot(u - 0.5, v - 0.3) <= 0.19:
        return (240, 190, 150, 255)
    if v >= 0.52 and math.hypot((u - 0.5) / 0.4, (v - 0.95) / 0.45) <= 1:
        return (40, 80, 170, 255)
    return CLEAR


def folder(u, v):
    tab = 0.1 <= u <= 0.45 and 0.18 <= v <= 0.3
    body = 0.1 <= u <= 0.9 and 0.28 <= v <= 0.82
    if not (tab or body):
        return CLEAR
    edge = body and min(u - 0.1, 0.9 - u, v - 0.28, 0.82 - v) < 0.05
    return (160, 120, 0, 255) if edge else (250, 210, 90, 255)


def image(draw, size):
    pixels = bytearray()
    for y in range(size - 1, -1, -1):  # bottom-up
        for x in range(size):
            r, g, b, a = draw((x + 0.5) / size, (y + 0.5) / size)
            pixels += bytes((b, g, r, a))
    mask = bytes(((size + 31) // 32) * 4 * size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def icon(draw):
    images = [(size, image(draw, size)) for size in (16, 32, 48)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(data for _, data in images)


if __name__ == '__main__':
    for name, draw in (('envelope', envelope), ('drive_arrow', drive_arrow), ('person', person), ('folder', folder)):
        with open(f'{sys.argv[1]}/{name}.ico', 'wb') as f:
            f.write(icon(draw))
