"""Writes a D88 file of a given size that takes the page seconds to examine.

    heavy_image.py OUT SIZE FIRST.d88...

The FIRST images come first, whole, so disk 0 is a disk the programs know.
Then come disks whose 164 track entries all point at one long run of records
(each track is walked through all of them), and last a disk of large sectors
that fills the file to SIZE bytes exactly. Nothing in the file is random: the
same arguments write the same bytes.
"""

import struct
import sys

HEADER = 0x2B0
TRACKS = 164
RECORD = struct.Struct("<4BH8sH")  # C, H, R, N, sectors in track, 8 bytes, data size
DECOY_DISKS = 32
DECOYS = 64000
SECTOR = 32768  # size code 8


def disk(name, track_offsets, body):
    size = HEADER + len(body)
    header = bytearray(HEADER)
    header[: len(name)] = name
    struct.pack_into("<I", header, 0x1C, size)
    for track, offset in enumerate(track_offsets):
        struct.pack_into("<I", header, 0x20 + 4 * track, offset)
    return bytes(header) + body


def decoy_disk():
    body = RECORD.pack(0xFF, 0xFF, 0xFF, 0xFF, 0xFFFF, bytes(8), 0) * DECOYS
    return disk(b"SHARED RECORDS", [HEADER] * TRACKS, body)


def filler_disk(size):
    """One disk of exactly `size` bytes: full tracks of 32 KiB sectors, the
    rest an unreferenced tail inside the disk."""
    per_track = (size - HEADER) // TRACKS // (RECORD.size + SECTOR)
    if per_track < 1:
        raise ValueError(f"no room for a filler disk in {size} bytes")
    offsets, body = [], bytearray()
    for track in range(TRACKS):
        offsets.append(HEADER + len(body))
        for r in range(1, per_track + 1):
            body += RECORD.pack(track // 2, track % 2, r, 8, per_track, bytes(8), SECTOR)
            body += bytes(SECTOR)
    body += bytes(size - HEADER - len(body))
    return disk(b"FILLER", offsets, bytes(body))


def main():
    out, size, firsts = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    with open(out, "wb") as f:
        for first in firsts:
            with open(first, "rb") as image:
                f.write(image.read())
        decoys = decoy_disk()
        for _ in range(DECOY_DISKS):
            f.write(decoys)
        f.write(filler_disk(size - f.tell()))
        assert f.tell() == size


if __name__ == "__main__":
    main()
