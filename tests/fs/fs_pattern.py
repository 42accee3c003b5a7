#!/usr/bin/env python3
"""Marks the free space of a mounted volume with a 0xFF pattern and counts what is left of it.

  fs_pattern.py fill <folder>   fill the volume holding <folder> with 0xFF until it is full,
                                fsync, delete the fill file, sync; prints the bytes written
  fs_pattern.py count <image>   print the number of 4 KiB blocks of <image> that hold only 0xFF
                                (of an ext4 image, its free blocks only)

The pattern, not zeros, is what the fill leaves behind, so a block that still holds it after a
zero-fill run is a free block the run never reached.
"""
import errno
import os
import re
import subprocess
import sys

BLOCK = 4096
CHUNK = 8 * 1024 * 1024
PATTERN_BLOCK = b"\xff" * BLOCK


def fill(folder):
    path = os.path.join(folder, ".pattern-fill")
    chunk = memoryview(b"\xff" * CHUNK)
    written = 0
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    try:
        size = CHUNK
        while True:
            try:
                written += os.write(fd, chunk[:size])
            except OSError as e:
                if e.errno not in (errno.ENOSPC, errno.EDQUOT):
                    raise
                if size == BLOCK:
                    break
                size = max(BLOCK, size // 2)  # the tail of the volume, ever smaller pieces
        try:
            os.fsync(fd)
        except OSError as e:
            if e.errno not in (errno.ENOSPC, errno.EDQUOT):
                raise
    finally:
        os.close(fd)
        os.unlink(path)
        os.sync()
    print(written)


def ext4_free_ranges(image):
    """The byte ranges of an ext4 image's free blocks, or None for another file system: ext4's journal
    keeps copies of bitmaps that were all ones while the volume was full, and they are no free space."""
    with open(image, "rb") as f:
        f.seek(1080)
        if f.read(2) != b"\x53\xef":
            return None
    text = subprocess.run(["dumpe2fs", image], capture_output=True, text=True, check=True).stdout
    size = int(re.search(r"^Block size:\s+(\d+)", text, re.M).group(1))
    ranges = []
    for listed in re.findall(r"^\s+Free blocks: (.+)$", text, re.M):
        for r in listed.split(", "):
            first, _, last = r.partition("-")
            ranges.append((int(first) * size, (int(last or first) + 1) * size))
    return ranges


def count(image):
    ranges = ext4_free_ranges(image)
    with open(image, "rb", buffering=0) as f:
        print(sum(count_in(f, start, end) for start, end in ([(0, None)] if ranges is None else ranges)))


def count_in(f, start, end):
    found = 0
    f.seek(start)
    while end is None or start < end:
        data = f.read(CHUNK if end is None else min(CHUNK, end - start))
        if not data:
            break
        start += len(data)
        if PATTERN_BLOCK not in data:  # fast C search skips chunks without a whole pattern run
            continue
        view = memoryview(data)
        for offset in range(0, len(data) - BLOCK + 1, BLOCK):
            if view[offset:offset + BLOCK] == PATTERN_BLOCK:
                found += 1
    return found


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("fill", "count"):
        sys.exit(__doc__)
    (fill if sys.argv[1] == "fill" else count)(sys.argv[2])


if __name__ == "__main__":
    main()
