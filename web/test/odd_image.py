"""Makes a Disk A image that carries what a clean one never shows, for the
page to say as d88info says it: a media type byte outside the format's
values, a sector of ZANVO01 whose bytes hold a header from which the track
reads as well (uncertain), 40 bytes that are no record after sector 3 of
track 30, and a table entry (track 100) that leads to track 0's records.

    odd_image.py DISK_A OUT
"""

import struct
import sys

HEADER = 0x2B0


def entry(image, track):
    return struct.unpack_from("<I", image, 0x20 + 4 * track)[0]


def record_end(image, track, sector):
    """Where the record of `sector` on `track` ends, walking by data sizes."""
    at = entry(image, track)
    while True:
        size = struct.unpack_from("<H", image, at + 14)[0]
        if image[at + 2] == sector:
            return at, at + 16 + size
        at += 16 + size


def main(source, out):
    with open(source, "rb") as f:
        image = bytearray(f.read())
    image[0x1B] = 0x7F  # the media type

    # Track 12 sector 3 (C 6 H 0 R 3): 16 bytes 40 before its end that read as
    # a header whose 24 bytes of data end where the next record starts.
    at, end = record_end(image, 12, 3)
    assert end - at == 16 + 256
    image[end - 40:end - 24] = bytes([6, 0, 9, 1, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 24, 0])

    # 40 bytes after track 30 sector 3 (which sector 11 follows): every later
    # track starts 40 bytes on.
    _, end = record_end(image, 30, 3)
    image[end:end] = b"\xff" * 40
    for track in range(164):
        if entry(image, track) >= end:
            struct.pack_into("<I", image, 0x20 + 4 * track, entry(image, track) + 40)
    struct.pack_into("<I", image, 0x1C, len(image))

    assert entry(image, 100) == 0
    struct.pack_into("<I", image, 0x20 + 4 * 100, entry(image, 0))
    assert entry(image, 0) == HEADER
    with open(out, "wb") as f:
        f.write(image)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
