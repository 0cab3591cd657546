#!/usr/bin/env python3
"""Data and signature sets for the reference engine benchmark.

data FOLDER MEGABYTES SEED
    Writes MEGABYTES of mixed clean data: incompressible binary, text,
    mostly-zero images with random islands, log-like records and many small
    files of every kind. Nothing in it matches a signature of `bases`.
runs FOLDER MEGABYTES SEED
    Writes MEGABYTES of long runs of one byte (zeros, 0xFF, spaces, 4 KB
    to 1 MB each) with a few random bytes between them: the data where a
    filter that wakes on repeated bytes stalls.
bases FOLDER COUNT SEED
    Writes COUNT random body signatures twice, as FOLDER/orlix/bench.vdb and
    FOLDER/clam/bench.ndb (the same records: the two formats share the line
    layout), and FOLDER/canary.bin, a small file holding the last record's
    bytes, which both scanners must report.
"""
import os
import random
import sys

WORDS = (
    "the mail client checks every attachment before it is opened and the report "
    "names each object with its verdict while the archive walk visits members "
    "inside nested containers so that nothing escapes a careful look at the bytes "
    "invoice meeting schedule quarterly figures please find attached regards"
).split()


def text_block(rng, size):
    out = []
    n = 0
    while n < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(6, 14))) + ".\r\n"
        out.append(line)
        n += len(line)
    return "".join(out).encode()[:size]


def log_block(rng, size):
    out = []
    n = 0
    i = rng.randint(0, 1 << 20)
    while n < size:
        line = "2026-12-08 03:%02d:%02d.%03d id=%08x state=%s bytes=%d\n" % (
            i // 60 % 60, i % 60, i % 1000, rng.getrandbits(32),
            rng.choice(("ok", "queued", "sent", "deferred")), rng.randint(0, 99999))
        out.append(line)
        n += len(line)
        i += 1
    return "".join(out).encode()[:size]


def sparse_block(rng, size):
    data = bytearray(size)
    for _ in range(size // 65536 + 1):
        at = rng.randrange(0, max(1, size - 4096))
        length = rng.randint(16, 4096)
        data[at:at + length] = os.urandom(min(length, size - at))
    return bytes(data)


def binary_block(rng, size):
    return os.urandom(size)


KINDS = (binary_block, text_block, sparse_block, log_block)
# Share of the large files of each kind; the rest of the data is small files.
SHARES = ((binary_block, 0.45), (text_block, 0.2), (sparse_block, 0.1), (log_block, 0.1))
LARGE = 16 << 20
SMALL = 64 << 10


def write_data(folder, megabytes, seed):
    rng = random.Random(seed)
    os.makedirs(folder, exist_ok=True)
    total = megabytes << 20
    index = 0

    def emit(kind, size):
        nonlocal index
        with open(os.path.join(folder, "%05d_%s.dat" % (index, kind.__name__.split("_")[0])), "wb") as f:
            f.write(kind(rng, size))
        index += 1

    written = 0
    for kind, share in SHARES:
        budget = int(total * share)
        while budget > 0:
            size = min(LARGE, budget)
            emit(kind, size)
            budget -= size
            written += size
    while written < total:
        size = min(rng.randint(SMALL // 4, SMALL * 2), total - written)
        emit(KINDS[index % len(KINDS)], size)
        written += size
    return index


def runs_block(rng, size):
    out = bytearray()
    while len(out) < size:
        out += bytes((rng.choice((0, 0xFF, 0x20)),)) * rng.randint(4 << 10, 1 << 20)
        out += os.urandom(rng.randint(1, 64))
    return bytes(out[:size])


def write_runs(folder, megabytes, seed):
    rng = random.Random(seed)
    os.makedirs(folder, exist_ok=True)
    total, index = megabytes << 20, 0
    while total > 0:
        size = min(LARGE, total)
        with open(os.path.join(folder, "%05d_runs.dat" % index), "wb") as f:
            f.write(runs_block(rng, size))
        total -= size
        index += 1
    return index


def random_record(rng, i):
    head = "".join("%02x" % rng.getrandbits(8) for _ in range(10))
    tail = "".join("%02x" % rng.getrandbits(8) for _ in range(6))
    # A third of the records have a bounded gap, a third an open one.
    gap = ("", "{0-32}", "*")[i % 3]
    return "Bench.Record.%d:0:*:%s%s%s" % (i, head, gap, tail), head + ("6761" if gap else "") + tail


def write_bases(folder, count, seed):
    rng = random.Random(seed)
    for sub in ("orlix", "clam"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    lines = []
    last = ""
    for i in range(count):
        line, last = random_record(rng, i)
        lines.append(line + "\n")
    body = "".join(lines)
    for name in ("orlix/bench.vdb", "clam/bench.ndb"):
        with open(os.path.join(folder, name), "w", newline="\n") as f:
            f.write(body)
    with open(os.path.join(folder, "canary.bin"), "wb") as f:
        f.write(b"clean text before " + bytes.fromhex(last) + b" and after\n")


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("data", "runs", "bases"):
        sys.stderr.write(__doc__)
        return 2
    folder, amount, seed = sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    if sys.argv[1] == "data":
        print(write_data(folder, amount, seed))
    elif sys.argv[1] == "runs":
        print(write_runs(folder, amount, seed))
    else:
        write_bases(folder, amount, seed)
    return 0


if __name__ == "__main__":
    sys.exit(main())
