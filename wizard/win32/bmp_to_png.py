#!/usr/bin/env python3
"""bmp_to_png.py FILE.bmp...: writes FILE.png beside each 24-bit bottom-up BMP and removes the BMP
(the Windows screenshots are read back as BMP; the READMEs show PNG)."""
import struct
import sys
import zlib


def convert(path):
    data = open(path, 'rb').read()
    offset, = struct.unpack_from('<I', data, 10)
    width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
    if bits != 24 or height <= 0:
        sys.exit(f'{path}: not a 24-bit bottom-up bitmap')
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        rgb = bytearray(row)
        rgb[0::3], rgb[2::3] = row[2::3], row[0::3]  # BGR to RGB
        rows.append(b'\0' + bytes(rgb))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
           chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))
    open(path[:-4] + '.png', 'wb').write(png)


if __name__ == '__main__':
    import os
    for name in sys.argv[1:]:
        convert(name)
        os.remove(name)
