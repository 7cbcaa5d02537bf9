"""Tests of finding the payload in an executable's resources and of the padding that aligns it."""
import os
import struct
import tempfile
import unittest

import resource_layout

SECTION_RVA = 0x3000
SECTION_FILE_OFFSET = 0x400


def directory(entries):
    """A resource directory table: header, then (id, target) entries (all numbered)."""
    table = struct.pack("<IIHHHH", 0, 0, 0, 0, 0, len(entries))
    return table + b"".join(struct.pack("<II", ident, target) for ident, target in entries)


def executable(type_id, name_id, data_rva, data_size, pe32_plus=True, sections_before=1):
    """A PE image with one resource: type_id / name_id / language 1033, its data entry pointing at
    data_rva. Only the headers and the resource directory are written."""
    # The directory tree: root (16 + 8), type (16 + 8), name (16 + 8), then the data entry.
    root = directory([(type_id, 0x80000000 | 24)])
    names = directory([(name_id, 0x80000000 | 48)])
    languages = directory([(1033, 72)])
    rsrc = root + names + languages + struct.pack("<IIII", data_rva, data_size, 0, 0)

    optional_size = 240 if pe32_plus else 224
    directories_at = 112 if pe32_plus else 96
    optional = bytearray(optional_size)
    struct.pack_into("<H", optional, 0, 0x20B if pe32_plus else 0x10B)
    struct.pack_into("<II", optional, directories_at + 2 * 8, SECTION_RVA, len(rsrc))

    sections = b""
    for i in range(sections_before):  # sections that do not hold the directory
        sections += struct.pack("<8sIIII", b".text", 0x1000, 0x1000 + 0x1000 * i, 0x200, 0x200) + bytes(16)
    sections += struct.pack("<8sIIII", b".rsrc", len(rsrc), SECTION_RVA, 0x200, SECTION_FILE_OFFSET) + bytes(16)
    coff = struct.pack("<HHIIIHH", 0x8664, sections_before + 1, 0, 0, 0, optional_size, 0x22)
    head = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"PE\0\0" + coff + bytes(optional) + sections
    return head + bytes(SECTION_FILE_OFFSET - len(head)) + rsrc


class PayloadLocation(unittest.TestCase):
    def location(self, image):
        with tempfile.NamedTemporaryFile(suffix=".exe", delete=False) as f:
            f.write(image)
        try:
            return resource_layout.payload_location(f.name)
        finally:
            os.unlink(f.name)

    def test_finds_rcdata_100_in_pe32_plus_and_pe32_images(self):
        self.assertEqual((0x12A7A8, 158334976), self.location(executable(10, 100, 0x12A7A8, 158334976)))
        self.assertEqual((0x360A0, 4096), self.location(executable(10, 100, 0x360A0, 4096, pe32_plus=False)))
        self.assertEqual((0x5008, 1), self.location(executable(10, 100, 0x5008, 1, sections_before=2)))

    def test_refuses_an_image_without_the_payload(self):
        for type_id, name_id in ((10, 101), (3, 100)):
            with self.assertRaisesRegex(resource_layout.LayoutError, r"has no resource RT_RCDATA 100$"):
                self.location(executable(type_id, name_id, 0x5000, 16))

    def test_refuses_what_is_not_a_windows_executable(self):
        with self.assertRaisesRegex(resource_layout.LayoutError, "^not an MZ executable$"):
            self.location(b"\x7fELF" + bytes(200))
        with self.assertRaisesRegex(resource_layout.LayoutError, "^no PE header$"):
            self.location(b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40) + b"NE\0\0" + bytes(100))


class Padding(unittest.TestCase):
    def test_padding_puts_the_payload_on_a_64_byte_boundary(self):
        # The linker adds 48 bytes of directory for the padding resource, then the padding itself.
        self.assertEqual(40, resource_layout.padding_size(0x12A7A8))  # 0x12a7a8 + 48 + 40 = 0x12a800
        self.assertEqual(64, resource_layout.padding_size(0x36000 - 48))  # never a resource of 0 bytes
        for rva in range(0x1000, 0x1400, 8):
            size = resource_layout.padding_size(rva)
            self.assertEqual(0, (rva + 48 + size) % 64, hex(rva))
            self.assertEqual(0, size % 8, hex(rva))  # whole steps of the linker's data alignment


if __name__ == "__main__":
    unittest.main()
