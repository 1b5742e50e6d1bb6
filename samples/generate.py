#!/usr/bin/env python3
"""Writes the synthetic sample component files of the demo and the tests.

Each image is repeatable pseudo-random filler with a version marker,
"KXVERSION=" + the installed-version text + a zero byte, which the simulated
board reads back as the version it now runs. The FPGA files are raw bytes;
the firmware files are S-record text (S0 header, S1 data, S9 end).
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))


def image(seed, size, version):
    rng = random.Random(seed)
    data = bytearray(rng.getrandbits(8) for _ in range(size))
    marker = b"KXVERSION=" + version.encode() + b"\0"
    data[64:64 + len(marker)] = marker
    return bytes(data)


def record(kind, address, payload):
    width = {0: 2, 1: 2, 9: 2}[kind]
    body = bytes([width + len(payload) + 1]) + address.to_bytes(width, "big") + payload
    checksum = (~sum(body)) & 0xFF
    return "S%d%s%02X\n" % (kind, body.hex().upper(), checksum)


def srecords(data, base=0x0000, per_line=32):
    lines = [record(0, 0, b"KX58 sample")]
    for offset in range(0, len(data), per_line):
        lines.append(record(1, base + offset, data[offset:offset + per_line]))
    lines.append(record(9, base, b""))
    return "".join(lines)


def main():
    files = {
        "KXFPGA1v01_02_00.rbf": image(1, 4096, "V01.02.00"),
        "KXFPGA2v01_02_00.rbf": image(2, 3072, "V01.02.00"),
    }
    for name, data in files.items():
        with open(os.path.join(HERE, name), "wb") as out:
            out.write(data)
    texts = {
        "KXFirmv01_02_00.s": srecords(image(3, 2048, "V01.02.00")),
        "KXBootv01_01_00.s": srecords(image(4, 1024, "V01.01.00")),
    }
    for name, text in texts.items():
        with open(os.path.join(HERE, name), "w", newline="\n") as out:
            out.write(text)


if __name__ == "__main__":
    main()
