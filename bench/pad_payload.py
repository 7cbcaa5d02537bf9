#!/usr/bin/env python3
"""Makes a payload of an exact size: a small Windows program followed by an overlay, which the loader
ignores. The overlay is pseudo-random bytes written out in full, not a sparse hole: a real installer's
data is incompressible and occupies the disk, and copying a hole would cost less than copying data.

    pad_payload.py <program.exe> <payload.exe> <size in MiB>
"""
import random
import sys

MIB = 1 << 20


def pad(program_path, payload_path, size):
    with open(program_path, "rb") as program:
        head = program.read()
    if len(head) > size:
        raise SystemExit(f"{program_path} ({len(head)} bytes) is larger than {size} bytes")
    # The same block over and over: the content is fixed for a given size, so rebuilds are reproducible.
    block = random.Random(20240601).randbytes(MIB)
    with open(payload_path, "wb") as payload:
        payload.write(head)
        left = size - len(head)
        while left > 0:
            chunk = block[: min(left, MIB)]
            payload.write(chunk)
            left -= len(chunk)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    pad(sys.argv[1], sys.argv[2], int(sys.argv[3]) * MIB)
