#!/usr/bin/env python3
"""Synthetic hash databases for the load benchmark.

  bench_data.py FOLDER RECORDS

writes FOLDER/bench.hdb (RECORDS lines HASH:SIZE:NAME, names in the usual
Platform.Category.Family-ID-REVISION form over a few thousand families),
FOLDER/data/ (64 files of 256 KB random bytes, none in the list) and
FOLDER/canary.bin, whose MD5 is the list's last record.
"""
import hashlib
import os
import random
import sys

folder, count = sys.argv[1], int(sys.argv[2])
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
with open(os.path.join(folder, "canary.bin"), "wb") as f:
    f.write(canary)
for i in range(64):
    with open(os.path.join(folder, "data", "f%02d.bin" % i), "wb") as f:
        f.write(os.urandom(256 << 10))
