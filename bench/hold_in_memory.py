#!/usr/bin/env python3
"""Keeps files in the page cache while the benchmark runs: maps each one and locks it in memory, writes
<ready file> when all are held, and holds them until it is terminated.

    hold_in_memory.py <ready file> <file>...

The benchmark measures launches of files that are in the page cache, as an installer is right after it
was downloaded. Some machines reclaim idle page cache proactively (a virtual machine's free-page
reporting, DAMON's reclaim): a launcher that is started once every few seconds then reads part of its
image from the disk again, and its times measure that disk instead of the launch.
"""
import ctypes
import ctypes.util
import os
import signal
import sys

PROT_READ = 0x1
MAP_SHARED = 0x01
MAP_FAILED = ctypes.c_void_p(-1).value


def hold(paths):
    libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
    libc.mmap.restype = ctypes.c_void_p
    libc.mmap.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_long]
    libc.mlock.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
    total = 0
    for path in paths:
        size = os.path.getsize(path)
        fd = os.open(path, os.O_RDONLY)
        try:
            address = libc.mmap(None, size, PROT_READ, MAP_SHARED, fd, 0)
            if address in (None, MAP_FAILED):
                raise OSError(ctypes.get_errno(), f"mmap {path}")
            if libc.mlock(ctypes.c_void_p(address), size) != 0:
                raise OSError(ctypes.get_errno(), f"mlock {path}")
        finally:
            os.close(fd)  # the mapping keeps the file
        total += size
    return total


def main(argv):
    if len(argv) < 2:
        raise SystemExit(__doc__)
    total = hold(argv[1:])
    with open(argv[0], "w") as ready:
        ready.write(f"{total}\n")
    print(f"hold_in_memory: {len(argv) - 1} files, {total >> 20} MiB held in memory", file=sys.stderr)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    while True:
        signal.pause()


if __name__ == "__main__":
    main(sys.argv[1:])
