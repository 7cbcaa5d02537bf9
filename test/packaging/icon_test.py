"""The kiteboot icon: tools/make-icon.py writes assets/kiteboot.ico again byte for byte, and the file is a
well-formed icon whose twelve images agree with each other.

    python3 test/packaging/icon_test.py <source dir> <scratch dir>
"""

import os
import struct
import subprocess
import sys
import unittest

SOURCE = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
SCRATCH = sys.argv[2] if len(sys.argv) > 2 else "."
SCRIPT = os.path.join(SOURCE, "tools", "make-icon.py")
COMMITTED = os.path.join(SOURCE, "assets", "kiteboot.ico")

STANDARD_16_COLOURS = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
    (0, 255, 255), (255, 255, 255)]


class Image:
    """One image of a .ico file, decoded: rows top to bottom of (r, g, b, alpha or None) and mask bits."""

    def __init__(self, data, entry):
        self.width, self.height, self.colour_count, _, self.planes, self.bits, self.size, self.offset = entry
        (self.header_size, self.bitmap_width, self.bitmap_height, self.bitmap_planes, self.bitmap_bits,
         self.compression, self.image_size) = struct.unpack_from("<IiiHHII", data, self.offset)
        size = self.width
        position = self.offset + self.header_size
        self.palette = []
        if self.bits <= 8:
            for index in range(1 << self.bits):
                b, g, r, _ = data[position + 4 * index:position + 4 * index + 4]
                self.palette.append((r, g, b))
            position += 4 << self.bits
        stride = ((size * self.bits + 31) // 32) * 4
        mask_stride = ((size + 31) // 32) * 4
        self.xor_bytes = stride * size
        self.and_bytes = mask_stride * size
        self.end = position + self.xor_bytes + self.and_bytes
        self.indices = []
        self.pixels = []
        self.mask = []
        for y in range(size):
            row_start = position + (size - 1 - y) * stride
            mask_start = position + self.xor_bytes + (size - 1 - y) * mask_stride
            pixels, indices, mask = [], [], []
            for x in range(size):
                mask.append((data[mask_start + x // 8] >> (7 - x % 8)) & 1)
                if self.bits == 32:
                    b, g, r, a = data[row_start + 4 * x:row_start + 4 * x + 4]
                    pixels.append((r, g, b, a))
                else:
                    if self.bits == 8:
                        index = data[row_start + x]
                    else:
                        byte = data[row_start + x // 2]
                        index = byte >> 4 if x % 2 == 0 else byte & 15
                    indices.append(index)
                    pixels.append(self.palette[index] + (None,))
            self.pixels.append(pixels)
            self.indices.append(indices)
            self.mask.append(mask)

    def opaque(self):
        """The pixels drawn (mask bit clear), as a set of (x, y)."""
        return {(x, y) for y, row in enumerate(self.mask) for x, bit in enumerate(row) if not bit}


def read_icon(path):
    with open(path, "rb") as file:
        data = file.read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    entries = [struct.unpack_from("<BBBBHHII", data, 6 + 16 * i) for i in range(count)]
    return data, (reserved, kind, count), [Image(data, entry) for entry in entries]


class IconTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data, cls.header, cls.images = read_icon(COMMITTED)
        cls.by_key = {(image.width, image.bits): image for image in cls.images}

    def test_script_writes_the_committed_file_again_byte_for_byte(self):
        output = os.path.join(SCRATCH, "kiteboot-regenerated.ico")
        # A hash seed unlike the default run's: nothing may depend on the order of sets or dictionaries.
        environment = dict(os.environ, PYTHONHASHSEED="12345")
        subprocess.run([sys.executable, SCRIPT, output], check=True, env=environment)
        with open(output, "rb") as file:
            regenerated = file.read()
        os.remove(output)
        self.assertEqual(len(regenerated), len(self.data))
        self.assertTrue(regenerated == self.data, "tools/make-icon.py no longer writes assets/kiteboot.ico")

    def test_directory_lists_twelve_images_back_to_back(self):
        self.assertEqual(self.header, (0, 1, 12))
        self.assertEqual([(image.width, image.height, image.bits) for image in self.images],
                         [(size, size, bits) for bits in (32, 8, 4) for size in (48, 32, 24, 16)])
        offset = 6 + 16 * 12
        for image in self.images:
            with self.subTest(size=image.width, bits=image.bits):
                self.assertEqual(image.offset, offset)
                self.assertEqual(image.end - image.offset, image.size)
                self.assertEqual(image.colour_count, 16 if image.bits == 4 else 0)
                self.assertEqual(image.planes, 1)
                offset += image.size
        self.assertEqual(offset, len(self.data))

    def test_bitmap_headers_describe_colour_bitmap_and_mask(self):
        for image in self.images:
            with self.subTest(size=image.width, bits=image.bits):
                self.assertEqual(image.header_size, 40)
                self.assertEqual(image.bitmap_width, image.width)
                self.assertEqual(image.bitmap_height, 2 * image.width)
                self.assertEqual((image.bitmap_planes, image.bitmap_bits, image.compression), (1, image.bits, 0))
                self.assertEqual(image.image_size, image.xor_bytes + image.and_bytes)

    def test_four_bit_images_use_the_standard_sixteen_colours(self):
        for size in (48, 32, 24, 16):
            self.assertEqual(self.by_key[(size, 4)].palette, STANDARD_16_COLOURS)

    def test_eight_bit_images_have_a_palette_of_their_own(self):
        for size in (48, 32, 24, 16):
            with self.subTest(size=size):
                image = self.by_key[(size, 8)]
                self.assertEqual(len(image.palette), 256)
                self.assertEqual(image.palette[0], (0, 0, 0))
                used = {pixel[:3] for row in image.pixels for pixel in row}
                self.assertGreater(len(used - set(STANDARD_16_COLOURS)), 8)

    def test_masked_pixels_are_black_so_the_screen_shows_through(self):
        for image in self.images:
            with self.subTest(size=image.width, bits=image.bits):
                for y, row in enumerate(image.mask):
                    for x, bit in enumerate(row):
                        if bit and image.bits == 32:
                            self.assertEqual(image.pixels[y][x], (0, 0, 0, 0))
                        elif bit:
                            self.assertEqual(image.indices[y][x], 0)

    def test_32_bit_mask_covers_exactly_the_fully_transparent_pixels(self):
        for size in (48, 32, 24, 16):
            with self.subTest(size=size):
                image = self.by_key[(size, 32)]
                transparent = {(x, y) for y, row in enumerate(image.pixels) for x, p in enumerate(row) if p[3] == 0}
                all_pixels = {(x, y) for x in range(size) for y in range(size)}
                self.assertEqual(all_pixels - image.opaque(), transparent)
                self.assertGreater(len(transparent), size * size // 4)
                self.assertGreater(len(image.opaque()), size * size // 4)

    def test_palette_images_show_the_shape_of_the_half_opaque_pixels(self):
        for size in (48, 32, 24, 16):
            with self.subTest(size=size):
                rows = self.by_key[(size, 32)].pixels
                half_opaque = {(x, y) for y, row in enumerate(rows) for x, p in enumerate(row) if p[3] >= 128}
                self.assertEqual(self.by_key[(size, 8)].opaque(), half_opaque)
                self.assertEqual(self.by_key[(size, 4)].opaque(), half_opaque)

    def test_images_stand_upright(self):
        # The kite flies at the top right; its tail ends at the bottom left.
        for image in self.images:
            with self.subTest(size=image.width, bits=image.bits):
                size = image.width
                top = [x for x, y in image.opaque() if y < size // 8]
                bottom = [x for x, y in image.opaque() if y >= size - size // 8]
                self.assertTrue(top and bottom)
                self.assertGreater(sum(top) / len(top), size / 2)
                self.assertLess(sum(bottom) / len(bottom), size / 2)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
