#!/usr/bin/env python3
"""Two binary PPM pictures of one size: PSNR over R, G and B in dB ("inf" when
identical) and the share of pixels whose colour differs in any channel by more
than THRESHOLD levels (default 0: any difference), in percent.
bench/picture_diff.py A.ppm B.ppm [THRESHOLD]"""
import math
import sys


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        sys.exit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:pos + 1 + width * height * 3]


def main():
    wa, ha, a = read_ppm(sys.argv[1])
    wb, hb, b = read_ppm(sys.argv[2])
    threshold = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    if (wa, ha) != (wb, hb):
        sys.exit(f"sizes differ: {wa}x{ha} and {wb}x{hb}")
    squares = 0
    differ = 0
    for i in range(0, len(a), 3):
        dr, dg, db = a[i] - b[i], a[i + 1] - b[i + 1], a[i + 2] - b[i + 2]
        squares += dr * dr + dg * dg + db * db
        if max(abs(dr), abs(dg), abs(db)) > threshold:
            differ += 1
    mse = squares / len(a)
    psnr = "inf" if mse == 0 else f"{10 * math.log10(255 * 255 / mse):.2f}"
    print(psnr, f"{100 * differ / (wa * ha):.2f}")


main()
