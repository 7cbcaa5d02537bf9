#!/usr/bin/env python3
"""Draws the kiteboot icon (a kite with a tail) and writes it as a Windows .ico file.

    python3 tools/make-icon.py assets/kiteboot.ico
    python3 tools/make-icon.py --sizes 32,16 --depths 32,4 other.ico

The default output holds twelve images: 48, 32, 24 and 16 pixels square, each at 32 bits per pixel
(BGRA with alpha), 8 bits (a 256-entry palette made from the image) and 4 bits (the standard 16-colour
palette), every one with its 1-bit AND mask. Only the standard library is used and nothing depends on the
machine, the time or the order of dictionaries, so the same script writes the same bytes everywhere.
"""

import argparse
import struct
import sys

DEFAULT_SIZES = (48, 32, 24, 16)
DEFAULT_DEPTHS = (32, 8, 4)

# The design, in a unit square with y pointing down. The kite leans to the right as if flying in wind;
# its four panels meet at the point where the spars cross.
KITE_TOP = (0.66, 0.03)
KITE_LEFT = (0.33, 0.22)
KITE_RIGHT = (0.97, 0.40)
KITE_BOTTOM = (0.52, 0.70)
SPAR_CROSS = (0.65, 0.31)
TAIL = ((0.52, 0.70), (0.44, 0.78), (0.42, 0.86), (0.33, 0.92), (0.22, 0.93), (0.10, 0.98))
TAIL_BOWS = ((0.43, 0.82), (0.27, 0.925))

RED = (229, 57, 53)
AMBER = (255, 179, 0)
BLUE = (30, 136, 229)
TEAL = (0, 150, 136)
INK = (27, 42, 65)
PAPER = (250, 250, 250)

# The 16 colours every 4-bit Windows bitmap palette holds, in their usual order.
VGA_PALETTE = (
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
    (0, 255, 255), (255, 255, 255))

SUPERSAMPLING = 8


def inside_triangle(p, a, b, c):
    def side(u, v, w):
        return (v[0] - u[0]) * (w[1] - u[1]) - (v[1] - u[1]) * (w[0] - u[0])

    d1, d2, d3 = side(a, b, p), side(b, c, p), side(c, a, p)
    has_negative = d1 < 0 or d2 < 0 or d3 < 0
    has_positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_negative and has_positive)


def distance_to_segment(p, a, b):
    dx, dy = b[0] - a[0], b[1] - a[1]
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / length2))
    x, y = a[0] + t * dx - p[0], a[1] + t * dy - p[1]
    return (x * x + y * y) ** 0.5


def near_polyline(p, points, half_width):
    return any(distance_to_segment(p, points[i], points[i + 1]) <= half_width for i in range(len(points) - 1))


def layers_for(size):
    """The shapes drawn at one size, back to front, as (colour, test of a point in unit coordinates).

    Line widths are set in pixels so that outlines stay one pixel or more at 16 pixels, and the details
    that would only blur at small sizes (spars, bows) are left out there."""
    pixel = 1.0 / size
    outline = max(1.0, 0.05 * size) * pixel / 2
    tail = max(1.0, 0.035 * size) * pixel / 2
    spar = max(1.0, 0.025 * size) * pixel / 2
    panels = ((KITE_TOP, KITE_LEFT, RED), (KITE_TOP, KITE_RIGHT, AMBER), (KITE_LEFT, KITE_BOTTOM, BLUE),
              (KITE_RIGHT, KITE_BOTTOM, TEAL))
    border = (KITE_TOP, KITE_RIGHT, KITE_BOTTOM, KITE_LEFT, KITE_TOP)
    layers = [(INK, lambda p: near_polyline(p, TAIL, tail))]
    if size >= 24:
        bow = 0.055
        for x, y in TAIL_BOWS:
            layers.append((RED, lambda p, x=x, y=y: inside_triangle(p, (x, y), (x - bow, y - bow), (x - bow, y + bow))
                           or inside_triangle(p, (x, y), (x + bow, y - bow), (x + bow, y + bow))))
    for a, b, colour in panels:
        layers.append((colour, lambda p, a=a, b=b: inside_triangle(p, a, b, SPAR_CROSS)))
    if size >= 32:
        layers.append((PAPER, lambda p: near_polyline(p, (KITE_TOP, KITE_BOTTOM), spar)
                       or near_polyline(p, (KITE_LEFT, KITE_RIGHT), spar)))
    layers.append((INK, lambda p: near_polyline(p, border, outline)))
    return layers


def render(size):
    """Rows top to bottom of (r, g, b, a) pixels, straight (not premultiplied) alpha."""
    layers = layers_for(size)
    n = SUPERSAMPLING
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(n):
                for sx in range(n):
                    point = ((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    colour = None
                    for layer_colour, contains in layers:
                        if contains(point):
                            colour = layer_colour
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        covered += 1
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(((r + covered // 2) // covered, (g + covered // 2) // covered,
                            (b + covered // 2) // covered, (255 * covered + n * n // 2) // (n * n)))
        rows.append(row)
    return rows


def is_opaque_at_low_depth(pixel):
    return pixel[3] >= 128


def nearest(colour, palette):
    best, best_distance = 0, None
    for index in range(len(palette)):
        entry = palette[index]
        distance = (2 * (colour[0] - entry[0]) ** 2 + 4 * (colour[1] - entry[1]) ** 2 +
                    3 * (colour[2] - entry[2]) ** 2)
        if best_distance is None or distance < best_distance:
            best, best_distance = index, distance
    return best


def median_cut(counts, limit):
    """At most `limit` colours that stand for the colours in `counts` ({(r, g, b): pixels})."""
    boxes = [sorted(counts.items())]
    while len(boxes) < limit:
        best, best_range, best_channel = None, 0, 0
        for index, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for channel in range(3):
                values = [colour[channel] for colour, _ in box]
                if max(values) - min(values) > best_range:
                    best, best_range, best_channel = index, max(values) - min(values), channel
        if best is None:
            break
        box = sorted(boxes[best], key=lambda item: (item[0][best_channel], item[0]))
        total = sum(count for _, count in box)
        running, cut = 0, 1
        for position, (_, count) in enumerate(box[:-1]):
            running += count
            cut = position + 1
            if 2 * running >= total:
                break
        boxes[best:best + 1] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        total = sum(count for _, count in box)
        palette.append(tuple((sum(colour[c] * count for colour, count in box) + total // 2) // total
                             for c in range(3)))
    return palette


def palette_for_8_bits(rows):
    counts = {}
    for row in rows:
        for pixel in row:
            if is_opaque_at_low_depth(pixel):
                counts[pixel[:3]] = counts.get(pixel[:3], 0) + 1
    # Entry 0 stays black: masked-out pixels use it, so that they leave the screen unchanged.
    return [(0, 0, 0)] + (median_cut(counts, 255) if counts else [])


def row_stride(width, bits):
    return ((width * bits + 31) // 32) * 4


def pack_indices(indices, bits):
    data = bytearray()
    if bits == 8:
        data.extend(indices)
    else:
        for i in range(0, len(indices), 2):
            high = indices[i]
            low = indices[i + 1] if i + 1 < len(indices) else 0
            data.append((high << 4) | low)
    return data


def and_mask(rows, transparent):
    size = len(rows)
    stride = row_stride(size, 1)
    data = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, pixel in enumerate(row):
            if transparent(pixel):
                line[x // 8] |= 0x80 >> (x % 8)
        data.extend(line)
    return data


def bitmap_image(rows, bits):
    """One icon image: BITMAPINFOHEADER, palette (4 and 8 bits), XOR bitmap, AND mask; rows bottom-up."""
    size = len(rows)
    stride = row_stride(size, bits)
    pixels = bytearray()
    palette = []
    if bits == 32:
        for row in reversed(rows):
            for r, g, b, a in row:
                pixels.extend((b, g, r, a) if a else (0, 0, 0, 0))
        mask = and_mask(rows, lambda pixel: pixel[3] == 0)
    else:
        palette = list(VGA_PALETTE) if bits == 4 else palette_for_8_bits(rows)
        for row in reversed(rows):
            indices = [nearest(pixel[:3], palette) if is_opaque_at_low_depth(pixel) else 0 for pixel in row]
            line = pack_indices(indices, bits)
            pixels.extend(line + bytearray(stride - len(line)))
        mask = and_mask(rows, lambda pixel: not is_opaque_at_low_depth(pixel))
        palette += [(0, 0, 0)] * ((1 << bits) - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    palette_bytes = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + palette_bytes + bytes(pixels) + bytes(mask)


def icon_file(sizes, depths):
    renders = {size: render(size) for size in sizes}
    images = [(size, bits, bitmap_image(renders[size], bits)) for bits in depths for size in sizes]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    return directory + b"".join(data for _, _, data in images)


def number_list(text, allowed):
    values = tuple(int(item) for item in text.split(","))
    for value in values:
        if value not in allowed:
            raise argparse.ArgumentTypeError("%d is not one of %s" % (value, ", ".join(map(str, allowed))))
    return values


def main(argv):
    parser = argparse.ArgumentParser(description="Writes the kiteboot icon as a .ico file.")
    parser.add_argument("output", help="the .ico file to write")
    parser.add_argument("--sizes", type=lambda text: number_list(text, range(1, 257)), default=DEFAULT_SIZES,
                        help="image sizes in pixels, comma-separated (default 48,32,24,16)")
    parser.add_argument("--depths", type=lambda text: number_list(text, (4, 8, 32)), default=DEFAULT_DEPTHS,
                        help="bits per pixel, comma-separated, from 4, 8, 32 (default 32,8,4)")
    args = parser.parse_args(argv)
    with open(args.output, "wb") as output:
        output.write(icon_file(args.sizes, args.depths))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
