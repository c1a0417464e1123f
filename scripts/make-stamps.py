#!/usr/bin/env python3
"""Makes the stamp images that ship in resources/Stamps.

Every stamp is computed here (procedurally, from a fixed seed), written as a float map and
converted with oiiotool (Debian package openimageio-tools) to its shipped format and depth:

    bw_brickTile.tif  8-bit grey   tileable bricks, mortar low
    bw_scale.tif      16-bit grey  tileable fish scales
    knife.tif         8-bit grey   a cut line along x, black along its middle on white;
                                   its description names 1 (white) the neutral level, so the
                                   line cuts in and the white around it moves nothing
    rubble.tif        16-bit grey  scattered rounded stones
    rivet_vdm.exr     float RGB    a vector-displacement rivet: x, along the normal, y

Run from anywhere: scripts/make-stamps.py [OUTPUT_FOLDER]  (default resources/Stamps).
"""

import math
import os
import random
import struct
import subprocess
import sys
import tempfile

SIZE = 128


def clamp(value, low=0.0, high=1.0):
    return max(low, min(high, value))


def brick(x, y):
    height, width = 16, 32
    row = y // height
    shifted = (x + (width // 2) * (row % 2)) % width
    edge = min(shifted, width - 1 - shifted, y % height, height - 1 - y % height)
    return clamp(edge / 3.0)


def scale(x, y):
    cell = 32
    best = 0.0
    # Discs on rows half a cell apart, every other row shifted: they overlap like fish scales.
    for cy in range(SIZE // (cell // 2)):
        for cx in range(SIZE // cell):
            ox = cx * cell + (cell // 2 if cy % 2 else 0)
            oy = cy * (cell // 2)
            dx = ((x - ox + SIZE / 2) % SIZE) - SIZE / 2
            dy = ((y - oy + SIZE / 2) % SIZE) - SIZE / 2
            r = math.hypot(dx, dy) / (cell * 0.6)
            if r < 1.0:
                best = max(best, 1.0 - r * r)
    return best


def knife(x, y):
    # The line runs along x, the axis a stamp that follows the stroke lays along it. Its cut is
    # a smooth groove an eighth of the image wide each side of the middle: the vertices a
    # stroke crosses at any angle lie no more than half their spacing off its middle, and a
    # groove narrower than about three vertex spacings would leave them out by turns, a cut
    # in dashes. At sixteen or more vertices to the brush radius that holds.
    across = abs(y - (SIZE - 1) / 2) / 16.0
    along = min(x, SIZE - 1 - x) / 16.0
    depth = math.cos(0.5 * math.pi * across) ** 2 if across < 1.0 else 0.0
    return 1.0 - depth * clamp(along)


STONES = []


def rubble(x, y):
    if not STONES:
        rng = random.Random(1234)
        for _ in range(40):
            STONES.append((rng.uniform(0, SIZE), rng.uniform(0, SIZE), rng.uniform(6, 18)))
    value = 0.0
    for sx, sy, radius in STONES:
        r = math.hypot(x - sx, y - sy) / radius
        # Rounded stones whose sides meet the ground smoothly: a wall at the rim would
        # stand as a cliff a vertex wide in the imprinted surface.
        if r < 1.0:
            value = max(value, (1.0 - r * r) ** 1.5)
    return value


def rivet(x, y):
    dx = (x - (SIZE - 1) / 2) / (SIZE / 2)
    dy = (y - (SIZE - 1) / 2) / (SIZE / 2)
    r = math.hypot(dx, dy)
    height = math.sqrt(max(0.0, 1.0 - (r / 0.6) ** 2)) if r < 0.6 else 0.0
    # The head bulges outward a little: tangential offsets grow with the height.
    return (0.25 * dx * height, height, 0.25 * dy * height)


def write_pfm(path, channels, pixel):
    with open(path, "wb") as out:
        out.write(b"PF\n" if channels == 3 else b"Pf\n")
        out.write(b"%d %d\n-1.0\n" % (SIZE, SIZE))
        # PFM stores the bottom row first.
        for y in reversed(range(SIZE)):
            for x in range(SIZE):
                value = pixel(x, y)
                values = value if channels == 3 else (value,)
                out.write(struct.pack("<%df" % channels, *values))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "Stamps")
    os.makedirs(output, exist_ok=True)
    # The last field is the stamp's neutral level (the grey that moves nothing), which the
    # host reads from the image's description; None leaves it at black.
    stamps = [
        ("bw_brickTile.tif", 1, brick, "uint8", None),
        ("bw_scale.tif", 1, scale, "uint16", None),
        ("knife.tif", 1, knife, "uint8", 1),
        ("rubble.tif", 1, rubble, "uint16", None),
        ("rivet_vdm.exr", 3, rivet, "float", None),
    ]
    with tempfile.TemporaryDirectory() as scratch:
        for name, channels, pixel, depth, neutral in stamps:
            source = os.path.join(scratch, name + ".pfm")
            write_pfm(source, channels, pixel)
            target = os.path.join(output, name)
            describe = ["--attrib", "ImageDescription", "neutral=%g" % neutral] if neutral is not None else []
            subprocess.run(["oiiotool", source, "-d", depth] + describe + ["-o", target], check=True)
            print("wrote", os.path.relpath(target))


if __name__ == "__main__":
    main()
