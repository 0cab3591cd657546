#!/usr/bin/env python3
"""Writes the demonstration sample set into a folder and prints, one per
line, "expected-result<TAB>kind<TAB>file" for each check the demo runs.
With "--engine clamd" the expected results are those of the clamd bridge.

The anti-virus test file is put together here from pieces, so that no file
of the project holds it in one piece."""
import os
import struct
import sys
import zlib


def eicar():
    return "".join(["X5O!P%@AP[4\\PZX54(P^)7CC)7}$", "EICAR-STANDARD-ANTIVIRUS-", "TEST-FILE!$H+H*"]).encode()


def zip_bytes(members, damaged=False):
    """members: (name, data, flags); deflated, flags bit 0 marks encryption."""
    out, directory = b"", b""
    for name, data, flags in members:
        packed = zlib.compress(data, 9)[2:-4]
        crc = zlib.crc32(data) & 0xFFFFFFFF
        offset = len(out)
        name = name.encode()
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, 8, 0, 0, crc, len(packed), len(data), len(name), 0)
        out += name + packed
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, flags, 8, 0, 0, crc, len(packed),
                                 len(data), len(name), 0, 0, 0, 0, 0, offset) + name
    start = len(out)
    out += directory
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(directory), start, 0)
    if damaged:
        # The central directory's first signature is overwritten.
        out = out[:start] + b"XXXX" + out[start + 4:]
    return out


# clamd reads a damaged ZIP as far as it can and cannot cure: where the
# bridge's verdicts differ from the reference engine's.
CLAMD_EXPECTED = {("file", "damaged.zip"): "0", ("cure", "curable.exe"): "-3", ("file", "curable.exe"): "1"}


def main():
    args = sys.argv[1:]
    engine = "reference"
    if args[:1] == ["--engine"]:
        engine, args = args[1], args[2:]
    folder = args[0]
    os.makedirs(folder, exist_ok=True)
    text = b"Dear colleague,\r\nthe minutes of Tuesday's meeting are attached.\r\n"
    host = bytes(range(256)) * 64
    samples = [
        ("0", "file", "clean.txt", text),
        ("0", "file", "clean.zip", zip_bytes([("minutes.txt", text, 0), ("data.bin", host, 0)])),
        ("1", "file", "eicar.com", eicar()),
        ("1", "file", "eicar.zip", zip_bytes([("readme.txt", text, 0), ("eicar.com", eicar(), 0)])),
        ("1", "file", "nested.zip",
         zip_bytes([("outer.txt", text, 0),
                    ("inner.zip", zip_bytes([("inner.txt", text, 0), ("eicar.com", eicar(), 0)]), 0)])),
        ("0", "file", "encrypted.zip", zip_bytes([("secret.doc", b"\x93\x11 scrambled", 1), ("note.txt", text, 0)])),
        ("-3", "file", "damaged.zip", zip_bytes([("a.txt", text, 0)], damaged=True)),
        ("1", "memory", "eicar.com", None),
        ("0", "memory", "clean.txt", None),
        ("1", "file", "curable.exe", host + b"ORLIX-DEMO-APPENDED-BODY" + b"\x90" * 100 + b"END-OF-BODY"),
        ("0", "cure", "curable.exe", None),
        ("0", "file", "curable.exe", None),
    ]
    for expected, kind, name, data in samples:
        if engine == "clamd":
            expected = CLAMD_EXPECTED.get((kind, name), expected)
        if data is not None:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
        print(f"{expected}\t{kind}\t{name}")


if __name__ == "__main__":
    main()
