#!/usr/bin/env python3
"""Synthetic hash databases for the load benchmark.

  bench_data.py FOLDER RECORDS [BODIES]

writes FOLDER/bench.hdb (RECORDS lines HASH:SIZE:NAME, names in the usual
Platform.Category.Family-ID-REVISION form over a few thousand families),
FOLDER/bench.ndb (BODIES body records, default 100,000: NAME:0:*:HEX with
8 to 32 random bytes, some with a ?? or {n-m} gap), FOLDER/data/ (64 files
of 256 KB random bytes, none in the lists) and FOLDER/canary.bin, whose
MD5 is the hash list's last record.
"""
import hashlib
import os
import random
import sys

folder, count = sys.argv[1], int(sys.argv[2])
bodies = int(sys.argv[3]) if len(sys.argv) > 3 else 100000
rng = random.Random(count)
os.makedirs(os.path.join(folder, "data"), exist_ok=True)
families = ["%s.%s.%s%d" % (rng.choice(["Win", "Doc", "Html", "Js", "Unix", "Andr"]),
                            rng.choice(["Trojan", "Malware", "Exploit", "Downloader", "Worm", "Adware"]),
                            rng.choice(["Agent", "Generic", "Zbot", "Emotet", "Kryptik", "Banker"]), i)
            for i in range(4000)]
canary = os.urandom(777)
with open(os.path.join(folder, "bench.hdb"), "w") as out:
    lines = []
    for i in range(count - 1):
        lines.append("%032x:%d:%s-%d-%d\n" % (rng.getrandbits(128), rng.randrange(1000, 5000000),
                                             rng.choice(families), 1000000 + i, rng.randrange(3)))
        if len(lines) == 100000:
            out.write("".join(lines))
            lines = []
    lines.append("%s:%d:Bench.Canary-1-0\n" % (hashlib.md5(canary).hexdigest(), len(canary)))
    out.write("".join(lines))

def body_hex():
    text = "".join("%02x" % rng.getrandbits(8) for _ in range(rng.randrange(8, 33)))
    kind = rng.randrange(10)
    if kind == 0:  # a wildcard byte
        at = 2 * rng.randrange(2, len(text) // 2 - 2)
        text = text[:at] + "??" + text[at + 2:]
    elif kind == 1:  # a bounded gap
        at = 2 * rng.randrange(2, len(text) // 2 - 2)
        text = text[:at] + "{%d-%d}" % (rng.randrange(4), 4 + rng.randrange(8)) + text[at:]
    return text


with open(os.path.join(folder, "bench.ndb"), "w") as out:
    out.write("".join("%s-%d-0:0:*:%s\n" % (rng.choice(families), 2000000 + i, body_hex()) for i in range(bodies)))
with open(os.path.join(folder, "canary.bin"), "wb") as f:
    f.write(canary)
for i in range(64):
    with open(os.path.join(folder, "data", "f%02d.bin" % i), "wb") as f:
        f.write(os.urandom(256 << 10))
