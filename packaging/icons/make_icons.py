# Draws the program's icon at 48 and 256 pixels from the artwork of the main
# window's 32-pixel icon (shell/Principal32.png): a window with a navy title
# bar, a white body with three lines of text and a grey shadow. Every shape is
# given on the 32-pixel grid and scaled, so each size is the same picture.
# Usage: python3 make_icons.py  (writes Principal48.png and Principal256.png)
import os, struct, sys, zlib

NAVY, WHITE, BLACK, GREY = (0, 0, 128, 255), (255, 255, 255, 255), (0, 0, 0, 255), (96, 96, 96, 255)

# (x0, y0, x1, y1, colour) on the 32-pixel grid, ends exclusive, painted in order.
SHAPES = [
    (29, 6, 30, 28, GREY), (4, 27, 30, 28, GREY),      # shadow, right and bottom
    (3, 5, 29, 9, NAVY),                                # title bar
    (3, 9, 29, 27, WHITE),                              # body
    (6, 12, 26, 13, BLACK), (6, 16, 26, 17, BLACK), (6, 20, 26, 21, BLACK),  # text
]

def render(size):
    s = size / 32
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for x0, y0, x1, y1, colour in SHAPES:
        X0, Y0 = int(x0 * s + 0.5), int(y0 * s + 0.5)
        X1, Y1 = max(X0 + 1, int(x1 * s + 0.5)), max(Y0 + 1, int(y1 * s + 0.5))
        for y in range(Y0, Y1):
            for x in range(X0, X1):
                px[y][x] = colour
    return px

def png(path, px):
    size = len(px)
    raw = b''.join(b'\x00' + bytes(c for p in row for c in p) for row in px)
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    open(path, 'wb').write(b'\x89PNG\r\n\x1a\n'
                           + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0))
                           + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))

def pixels(path):
    data, i, idat = open(path, 'rb').read(), 8, b''
    while i < len(data):
        n = struct.unpack('>I', data[i:i + 4])[0]
        if data[i + 4:i + 8] == b'IDAT':
            idat += data[i + 8:i + 8 + n]
        i += 12 + n
    raw, size = zlib.decompress(idat), 32
    rows = [raw[r * (size * 4 + 1) + 1:(r + 1) * (size * 4 + 1)] for r in range(size)]
    return [[tuple(row[c * 4:c * 4 + 4]) for c in range(size)] for row in rows]

if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    # The shapes must redraw the main window's icon exactly.
    if render(32) != pixels(os.path.join(here, '..', '..', 'shell', 'Principal32.png')):
        sys.exit('the shapes no longer match shell/Principal32.png')
    for size in (48, 256):
        png(os.path.join(here, 'Principal%d.png' % size), render(size))
