#!/usr/bin/env python3
"""Writes the seed corpus of the bitmap-loader fuzz target: small valid
files of every kind the loader reads, and a few edge cases.  Run from the
repository root; it rewrites tests/fuzz/corpus/seed-*.  Files named crash-*
there are regression inputs found by the fuzzer and are left alone."""
import os
import struct

OUT = os.path.join("tests", "fuzz", "corpus")


def file_header(offset):
    return b"BM" + struct.pack("<III", 0, 0, offset)


def info40(w, h, bits, compression=0):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, 0, 0, 0, 0, 0)


def info108(w, h, bits, compression, masks):
    head = struct.pack("<IiiHHII", 108, w, h, 1, bits, compression, 0) + bytes(16)
    head += struct.pack("<IIII", *masks)
    return head + bytes(108 - len(head))


def info_sized(size, w, h, bits, compression, masks=()):
    """An info header of size bytes (40 or more) with masks 40 bytes in."""
    head = info40(w, h, bits, compression)[4:]
    head = struct.pack("<I", size) + head + b"".join(struct.pack("<I", m) for m in masks)
    return head + bytes(size - len(head))


def palette(n, size=4):
    out = b""
    for i in range(n):
        entry = bytes([(i * 37) & 255, (i * 91) & 255, (255 - i) & 255])
        out += entry + (b"\0" if size == 4 else b"")
    return out


def rows(w, h, bits, seed=1):
    stride = ((w * bits + 31) // 32) * 4
    data = b""
    for y in range(h):
        data += bytes(((x * 29 + y * 53 + seed) & 255) for x in range(stride))
    return data


def bitmap(w, h, bits, compression=0, masks=None, v4=None, offset=None, pixel_data=None,
           info=None):
    if info is None:
        info = info108(w, h, bits, compression, v4) if v4 else info40(w, h, bits, compression)
    pal = palette(1 << bits) if bits <= 8 else b""
    extra = b"".join(struct.pack("<I", m) for m in masks) if masks else b""
    start = 14 + len(info) + len(pal) + len(extra)
    data = pixel_data if pixel_data is not None else rows(w, abs(h), bits)
    return file_header(start if offset is None else offset) + info + pal + extra + data


def main():
    seeds = {
        "24bit-3x2": bitmap(3, 2, 24),
        "24bit-topdown-5x4": bitmap(5, -4, 24),
        "24bit-20x20": bitmap(20, 20, 24),
        "16bit-555": bitmap(4, 3, 16),
        "16bit-565-bitfields": bitmap(5, 2, 16, 3, masks=[0xF800, 0x07E0, 0x001F]),
        "32bit-plain": bitmap(3, 3, 32),
        "32bit-v4-alpha": bitmap(3, 2, 32, 3, v4=[0xFF00, 0xFF0000, 0xFF000000, 0xFF]),
        "32bit-odd-masks": bitmap(2, 2, 32, 3, masks=[0x0F0F0, 0, 0xFFFFFFFF]),
        "32bit-info52-masks": bitmap(3, 2, 32, 3, info=info_sized(
            52, 3, 2, 32, 3, [0xFF00, 0xFF0000, 0xFF000000])),
        "32bit-info56-alpha": bitmap(3, 2, 32, 3, info=info_sized(
            56, 3, 2, 32, 3, [0xFF00, 0xFF0000, 0xFF000000, 0xFF])),
        # Bit fields at depths other than 16 and 32 are refused.
        "1bit-bitfields": bitmap(10, 2, 1, 3),
        "1bit-info64-compression3": bitmap(10, 2, 1, 3, info=info_sized(64, 10, 2, 1, 3)),
        "24bit-bitfields": bitmap(3, 2, 24, 3, masks=[0xFF0000, 0xFF00, 0xFF]),
        "8bit-9x4": bitmap(9, 4, 8),
        "8bit-offset0": bitmap(3, 1, 8, offset=0),
        "4bit-width5": bitmap(5, 3, 4),
        "1bit-10x2": bitmap(10, 2, 1),
        "core-header-1bit": file_header(0) + struct.pack("<IHHHH", 12, 2, 1, 1, 1)
        + palette(2, 3) + b"\x40\0\0\0",
        "rle8": bitmap(4, 3, 8, 1, pixel_data=bytes(
            [3, 1, 0, 0, 0, 3, 1, 0, 1, 0, 0, 0, 0, 2, 2, 0, 1, 1, 0, 1])),
        "rle4": bitmap(4, 3, 4, 2, pixel_data=bytes(
            [5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 1, 0, 2, 0xF0, 0, 1])),
        "truncated-24bit": bitmap(4, 4, 24)[:-10],
        "raw-fd": bytes([0xFD, 0, 0, 0, 0]) + struct.pack("<H", 40) + bytes(range(40)),
        "raw-fe": bytes([0xFE]) + struct.pack("<I", 100) + bytes(range(100)),
    }
    os.makedirs(OUT, exist_ok=True)
    for name in os.listdir(OUT):
        if name.startswith("seed-"):
            os.remove(os.path.join(OUT, name))
    for name, data in seeds.items():
        with open(os.path.join(OUT, "seed-" + name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
