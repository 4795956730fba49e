# Draws the search dialog's pictures as 32x32 RGBA PNGs (supersampled shapes).
import zlib, struct, math, sys

def png(path, px):
    raw = b''.join(b'\x00' + bytes(sum((list(p) for p in row), [])) for row in px)
    def chunk(t, d):
        c = struct.pack('>I', len(d)) + t + d
        return c + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 32, 32, 8, 6, 0, 0, 0)) \
        + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    open(path, 'wb').write(data)

def seg_dist(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0, min(1, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)

def render(layers):
    # layers: list of (inside(x,y)->bool, rgba); later layers paint over earlier ones
    img = []
    S = 4
    for j in range(32):
        row = []
        for i in range(32):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sj in range(S):
                for si in range(S):
                    x, y = i + (si + 0.5) / S, j + (sj + 0.5) / S
                    col = None
                    for inside, rgba in layers:
                        if inside(x, y):
                            col = rgba
                    if col:
                        a = col[3] / 255
                        for k in range(3):
                            acc[k] += col[k] * a
                        acc[3] += a
            n = S * S
            a = acc[3] / n
            if a > 0:
                row.append(tuple(int(round(acc[k] / acc[3])) for k in range(3)) + (int(round(a * 255)),))
            else:
                row.append((0, 0, 0, 0))
        img.append(row)
    return img

def magnifier(cx, cy, r, hx, hy, w, outline):
    lens_glass = (lambda x, y: math.hypot(x - cx, y - cy) <= r, (200, 228, 250, 230))
    ring = (lambda x, y: r - w <= math.hypot(x - cx, y - cy) <= r + w * 0.2, (40, 60, 90, 255))
    ang = math.atan2(hy - cy, hx - cx)
    sx, sy = cx + (r + 0.5) * math.cos(ang), cy + (r + 0.5) * math.sin(ang)
    handle = (lambda x, y: seg_dist(x, y, sx, sy, hx, hy) <= w * 0.9, (120, 70, 30, 255))
    shine = (lambda x, y: seg_dist(x, y, cx - r * 0.45, cy - r * 0.1, cx - r * 0.1, cy - r * 0.5) <= w * 0.35,
             (255, 255, 255, 255))
    layers = []
    if outline:
        layers.append((lambda x, y: math.hypot(x - cx, y - cy) <= r + w * 0.2 + 1.2
                       or seg_dist(x, y, sx, sy, hx, hy) <= w * 0.9 + 1.2, (255, 255, 255, 255)))
    return layers + [lens_glass, ring, handle, shine]

out = sys.argv[1]
# cmdBusca: a magnifying glass.
png(out + '/Busca32.png', render(magnifier(13, 12, 9, 28, 28, 3.0, False)))
# Cursor: a smaller glass whose lens centre is the hot spot (13, 9), outlined for dark backgrounds.
png(out + '/BuscaCursor32.png', render(magnifier(13, 9, 6.5, 25, 21, 2.2, True)))
# Window icon: a record card with lines, and the glass over its corner.
card = [
    (lambda x, y: 2 <= x <= 24 and 3 <= y <= 26, (90, 90, 90, 255)),
    (lambda x, y: 3 <= x <= 23 and 4 <= y <= 25, (255, 255, 250, 255)),
    (lambda x, y: 3 <= x <= 23 and 4 <= y <= 8, (70, 120, 190, 255)),
]
for ly in (12, 16, 20):
    card.append((lambda x, y, ly=ly: 6 <= x <= 20 and ly <= y <= ly + 1.2, (150, 150, 150, 255)))
png(out + '/Localizar32.png', render(card + magnifier(20, 19, 7, 30, 30, 2.4, True)))
