"""Writes the bad payloads and icons that the input checks must refuse, made from a good 64-bit executable.

    python3 make_fixtures.py <output dir> <64-bit executable>
"""

import os
import struct
import sys


def pe_offset(image):
    return struct.unpack_from("<I", image, 0x3C)[0]


def with_machine(image, machine):
    patched = bytearray(image)
    struct.pack_into("<H", patched, pe_offset(image) + 4, machine)
    return bytes(patched)


def with_characteristics(image, set_bits=0, clear_bits=0):
    patched = bytearray(image)
    at = pe_offset(image) + 22
    value = struct.unpack_from("<H", patched, at)[0]
    struct.pack_into("<H", patched, at, (value | set_bits) & ~clear_bits)
    return bytes(patched)


def with_optional_magic(image, magic):
    patched = bytearray(image)
    struct.pack_into("<H", patched, pe_offset(image) + 24, magic)
    return bytes(patched)


def dos_program_only():
    # An MS-DOS header whose e_lfanew points past the end of the file.
    header = bytearray(64)
    header[0:2] = b"MZ"
    struct.pack_into("<I", header, 0x3C, 0x1000)
    return bytes(header)


def bitmap_image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + bytes(size * size * 4) + bytes(((size + 31) // 32) * 4 * size)


def bitmap_header(width, height, bits):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 0, 0, 0, 0) + bytes(64)


def icon(entries, images, kind=1):
    """A .ico file with the given (size, bytes, offset) directory entries, followed by the image bytes."""
    directory = struct.pack("<HHH", 0, kind, len(entries))
    for size, length, offset in entries:
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, length, offset)
    return directory + b"".join(images)


def main(output, executable):
    with open(executable, "rb") as file:
        good = file.read()
    good_image = bitmap_image(16)
    files = {
        "good.exe": good,
        "empty.exe": b"",
        "text.exe": b"This is a text file, not a program.\n" * 4,
        "dos.exe": dos_program_only(),
        "i386.exe": with_optional_magic(with_machine(good, 0x14C), 0x10B),
        "arm64.exe": with_machine(good, 0xAA64),
        "library.dll": with_characteristics(good, set_bits=0x2000),
        "object.exe": with_characteristics(good, clear_bits=0x0002),
        "good.ico": icon([(16, len(good_image), 22)], [good_image]),
        "empty.ico": b"",
        "cursor.cur": icon([(16, len(good_image), 22)], [good_image], kind=2),
        "no-images.ico": icon([], []),
        # The second image is said to start where the file has already ended.
        "cut-short.ico": icon([(16, len(good_image), 38), (32, 4096, 38 + len(good_image))], [good_image]),
        "garbage.ico": icon([(16, 64, 22)], [b"\xff" * 64]),
        # The second image's directory entry says it has no bytes.
        "zero-size.ico": icon([(16, len(good_image), 38), (32, 0, 38 + len(good_image))], [good_image]),
        # One image more than kiteboot-wrap takes, every entry the same image.
        "257-images.ico": icon([(16, len(good_image), 6 + 16 * 257)] * 257, [good_image]),
        "png-8-bytes.ico": icon([(16, 8, 22)], [b"\x89PNG\r\n\x1a\n"]),
        "bitmap-width-minus-1.ico": icon([(16, 104, 22)], [bitmap_header(-1, 32, 32)]),
        "bitmap-0-bits.ico": icon([(16, 104, 22)], [bitmap_header(16, 32, 0)]),
    }
    os.makedirs(output, exist_ok=True)
    for name, content in files.items():
        with open(os.path.join(output, name), "wb") as file:
            file.write(content)
    os.makedirs(os.path.join(output, "folder.exe"), exist_ok=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
