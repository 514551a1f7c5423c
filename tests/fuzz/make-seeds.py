#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora into tests/fuzz/corpus/.

The seeds are committed; this script is how they were made. Manifest seeds
are small well-formed and nearly-well-formed manifests (the hostile corpus
in tests/hostile/manifests is replayed and fuzzed as well). PNG seeds are
real PNG files of every colour type and bit depth, plain and interlaced,
with palettes and transparency, plus "described" inputs for fuzz_png's
second mode (header bytes, palette, transparency, raw image stream).
"""
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(folder, name, data):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


# ------------------------------------------------------------------ manifests

manifests = {
    "plain-crlf": b"Tavimo Tools\r\nsetup.exe\r\nInstall\r\nhelp.pdf\r\nRead the help\r\n",
    "plain-lf": b"Tools\nsetup.exe\nInstall\n",
    "no-final-newline": b"Tools\r\na.exe\r\nA",
    "caption-missing": b"Tools\r\na.exe\r\nA\r\nb.exe",
    "sub-folders": b"Tools\r\ntools\\a.exe\r\nA\r\ntools/b.exe\r\nB\r\n",
    "climb": b"T\r\n..\\a.exe\r\nA\r\nC:\\b.exe\r\nB\r\n\\\\h\\s\\c\r\nC\r\n",
    "devices": b"T\r\nCON\r\nA\r\ntools\\nul.txt\r\nB\r\ncom1.exe\r\nC\r\n",
    "streams": b"T\r\na.exe:b\r\nA\r\na.exe::$DATA\r\nB\r\n",
    "ctrl-z": b"T\x1aitle\r\na\x1ab\r\nc\r\n\x1ad\r\n",
    "lone-cr": b"T\ritle\r\na\r.exe\r\nA\r\r\n",
    "eight-bit": b"Caf\xe9\r\nR\xe9sum\xe9.pdf\r\n\xc0 propos\r\n",
    "blanks": b"  Title  \r\n \t a.exe \t\r\n\x01 A \x1f\r\n\r\n\r\n",
    "temporary-name": b"T\r\na.exe.kestrune-part\r\nA\r\na.exe\r\nB\r\n",
    "duplicates": b"T\r\na.exe\r\nA\r\na.exe\r\nB\r\nA.EXE\r\nC\r\n",
}
for name, data in manifests.items():
    write("manifest", name, data)


# ----------------------------------------------------------------------- PNG

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def pack_row(samples, depth):
    if depth == 8:
        return bytes(samples)
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    out, acc, bits = bytearray(), 0, 0
    for s in samples:
        acc = (acc << depth) | s
        bits += depth
        if bits == 8:
            out.append(acc)
            acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


def stream(width, height, depth, colour, pixels, interlaced, rng):
    """The image stream: every row (of every Adam7 pass) with filter None
    or Sub, Sub worked out here; the fuzzer reaches the other filters."""
    channels = CHANNELS[colour]
    bpp = max(1, channels * depth // 8)
    passes = ADAM7 if interlaced else [(0, 0, 1, 1)]
    out = bytearray()
    for x0, y0, dx, dy in passes:
        xs = list(range(x0, width, dx))
        for y in range(y0, height, dy):
            if not xs:
                break
            row = pack_row([v for x in xs for v in pixels[y][x]], depth)
            ftype = rng.choice([0, 1])
            if ftype == 1:
                row = bytes((row[i] - (row[i - bpp] if i >= bpp else 0)) & 0xFF for i in range(len(row)))
            out += bytes([ftype]) + row
    return bytes(out)


def png(width, height, depth, colour, interlaced, seed, palette=0, trns=b""):
    rng = random.Random(seed)
    top = (1 << depth) - 1
    limit = min(top, palette - 1) if colour == 3 else top
    pixels = [[[rng.randint(0, limit) for _ in range(CHANNELS[colour])] for _ in range(width)]
              for _ in range(height)]
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 1 if interlaced else 0)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
    if palette:
        out += chunk(b"PLTE", bytes(rng.randint(0, 255) for _ in range(3 * palette)))
    if trns:
        out += chunk(b"tRNS", trns)
    data = zlib.compress(stream(width, height, depth, colour, pixels, interlaced, rng))
    half = len(data) // 2
    out += chunk(b"IDAT", data[:half]) + chunk(b"IDAT", data[half:]) + chunk(b"IEND", b"")
    return out


formats = [(0, 1), (0, 2), (0, 4), (0, 8), (0, 16), (2, 8), (2, 16), (3, 1), (3, 2), (3, 4),
           (3, 8), (4, 8), (4, 16), (6, 8), (6, 16)]
for colour, depth in formats:
    for interlaced in (False, True):
        size = (5, 3) if not interlaced else (9, 7)
        palette = (1 << depth) if colour == 3 else 0
        trns = b""
        if colour == 3:
            trns = bytes(range(0, 256, 64))[: max(1, palette // 2)]
        elif colour == 0:
            trns = struct.pack(">H", 1)
        elif colour == 2:
            trns = struct.pack(">HHH", 1, 2, 3)
        name = f"c{colour}-d{depth}-{'adam7' if interlaced else 'plain'}.png"
        write("png", name, png(size[0], size[1], depth, colour, interlaced, colour * 100 + depth,
                               palette, trns))

# One picture of a useful size, as the launcher shows them.
write("png", "c6-d8-48x48.png", png(48, 48, 8, 6, False, 48))

# Described pictures for the second mode: width, height, format index,
# flags (1 interlaced, 2 palette, 4 tRNS), palette entries - 1, tRNS
# length, IDAT pieces; then palette, transparency and the raw stream.
rng = random.Random(7)
for index in range(15):
    header = bytes([7, 5, index, index % 8, 15, 6, index % 4])
    body = bytes(rng.randint(0, 255) for _ in range(400))
    write("png", f"described-{index:02}", header + body)
