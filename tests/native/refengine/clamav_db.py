#!/usr/bin/env python3
"""Writes signature databases of the open formats and objects that hit and
narrowly miss each record, for the engine and for clamscan to judge alike.

  clamav_db.py loose FOLDER       FOLDER/db/*.hdb .hsb .fp .sfp .ign2 .ndb, FOLDER/objects/*
  clamav_db.py container FOLDER   FOLDER/good/main.cvd, daily.cld and damaged copies beside them

Objects are random binary bytes (at least 100), so that no scanner reads
them as text or as a known file type.
"""
import gzip
import hashlib
import io
import os
import random
import sys
import tarfile

rng = random.Random(20261209)


def blob(n):
    return bytes(rng.getrandbits(8) for _ in range(n))


def digest(kind, data):
    return hashlib.new(kind, data).hexdigest()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def flip(data, at):
    return data[:at] + bytes([data[at] ^ 0x01]) + data[at + 1:]


def loose(folder):
    db, objects = os.path.join(folder, "db"), os.path.join(folder, "objects")
    hdb, hsb, fp, sfp, ign2, ndb = [], [], [], [], [], []

    def obj(name, data):
        write(os.path.join(objects, name), data)

    # Hash records of each kind, by size and for any size, with near misses:
    # one bit changed, one byte more.
    for i, kind in enumerate(["md5", "sha1", "sha256"] * 3):
        data = blob(100 + 37 * i)
        name = "Test.Hash.%s-%d-0" % (kind.upper(), 1000 + i)
        line = "%s:%d:%s" % (digest(kind, data), len(data), name)
        (hdb if kind == "md5" else hsb).append(line)
        obj("hash%d_hit.bin" % i, data)
        obj("hash%d_flip.bin" % i, flip(data, len(data) // 2))
        obj("hash%d_longer.bin" % i, data + b"\0")
    for i, kind in enumerate(["md5", "sha1", "sha256"]):
        data = blob(300 + i)
        hsb.append("%s:*:Test.AnySize.%s-%d-1:73" % (digest(kind, data), kind.upper(), 2000 + i))
        obj("any%d_hit.bin" % i, data)
        obj("any%d_flip.bin" % i, flip(data, 0))
    # The functionality level: records for a later level or only for earlier
    # ones are left out by both.
    for i, levels in enumerate([":1", ":1:999", ":999", ":1:20"]):
        data = blob(150 + i)
        hdb.append("%s:%d:Test.Level-%d%s" % (digest("md5", data), len(data), i, levels))
        obj("level%d.bin" % i, data)
    # Allow lists: an object a hash record and a body record find, cleared
    # by its MD5 (.fp) or its SHA-256 (.sfp); a near miss of it is still found.
    for i, (kind, where) in enumerate([("md5", fp), ("sha256", sfp), ("sha1", sfp)]):
        data = b"ALLOWBODY%d" % i + blob(200)
        hdb.append("%s:%d:Test.Allowed.Hash-%d" % (digest("md5", data), len(data), i))
        where.append("%s:%d:Known.Good.%d" % (digest(kind, data), len(data), i))
        obj("allow%d_listed.bin" % i, data)
        obj("allow%d_body.bin" % i, data + b"x")
    ndb.append("Test.Allowed.Body:0:0:%s" % b"ALLOWBODY".hex())
    # Ignore list: the named records are left out, the others of the same
    # object stay.
    data = blob(120)
    hdb.append("%s:%d:Test.Ignored.Hash" % (digest("md5", data), len(data)))
    ign2.append("Test.Ignored.Hash")
    obj("ignored.bin", data)
    data = b"IGNOREDBODY" + blob(120)
    ndb.append("Test.Ignored.Body:0:*:%s" % b"IGNOREDBODY".hex())
    ign2.append("Test.Ignored.Body")
    obj("ignored_body.bin", data)
    # Body records with the offsets and gaps both formats share; near misses
    # one byte off.
    bodies = [
        ("Test.Body.Any", "*", b"\xde\xad\xbe\xef\x01\x02\x03\x04", None),
        ("Test.Body.At", "10", b"\xca\xfe\xba\xbe\x10\x20", 10),
        ("Test.Body.End", "EOF-6", b"\x0f\x1e\x2d\x3c\x4b\x5a", -6),
    ]
    for i, (name, offset, pattern, at) in enumerate(bodies):
        ndb.append("%s:0:%s:%s" % (name, offset, pattern.hex()))
        base = blob(200)
        where = 50 if at is None else (at if at >= 0 else len(base) + at)
        obj("body%d_hit.bin" % i, base[:where] + pattern + base[where + len(pattern):])
        obj("body%d_shifted.bin" % i, base[:where + 1] + pattern + base[where + 1 + len(pattern):])
        obj("body%d_flip.bin" % i, base[:where] + flip(pattern, 2) + base[where + len(pattern):])
    ndb.append("Test.Body.Gap:0:*:%s{2-4}%s" % (b"\xa1\xa2\xa3\xa4".hex(), b"\xb1\xb2\xb3\xb4".hex()))
    for gap in (1, 2, 4, 5):
        base = blob(200)
        obj("gap%d.bin" % gap, base[:40] + b"\xa1\xa2\xa3\xa4" + b"\x00" * gap + b"\xb1\xb2\xb3\xb4" + base[40:])
    # Records the engine leaves out and counts: another file type, and
    # body syntax it lacks.
    ndb.append("Test.Typed:1:*:%s" % b"TYPEDBODY".hex())
    ndb.append("Test.Alternative:0:*:41424344(45|46)4748")
    for name, lines in (("test.hdb", hdb), ("test.hsb", hsb), ("test.fp", fp), ("test.sfp", sfp),
                        ("test.ign2", ign2), ("test.ndb", ndb)):
        write(os.path.join(db, name), ("\n".join(lines) + "\n").encode())


def tar_of(files):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.USTAR_FORMAT) as t:
        for name, data in files:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = 1700000000
            t.addfile(info, io.BytesIO(data))
    return out.getvalue()


def info_list(stem, header_line, files):
    lines = [header_line]
    lines += ["%s:%d:%s" % (name, len(data), digest("sha256", data)) for name, data in files]
    lines.append("DSIG:" + "A" * 40)
    return ("\n".join(lines) + "\n").encode()


def container(stem, version, files, compressed, md5_field=None, info_files=None):
    """A .cvd (compressed, header MD5 of the archive) or .cld layout."""
    fields = ["ClamAV-VDB", "09 Dec 2026 10-00 +0000", str(version), str(len(files)), "90"]
    listed = info_files if info_files is not None else files
    info = info_list(stem, ":".join(fields + ["X", "X", "orlix-test", "1796810400"]), listed)
    archive = tar_of([(stem + ".info", info)] + files)
    if compressed:
        archive = gzip.compress(archive, mtime=0)
    md5 = md5_field if md5_field is not None else (hashlib.md5(archive).hexdigest() if compressed else "X")
    sig = "S" * 64 if compressed else "X"
    header = ":".join(fields + [md5, sig, "orlix-test", "1796810400"]).encode()
    return header.ljust(512, b" ") + archive


def containers(folder):
    good = os.path.join(folder, "good")
    main_data, daily_data = blob(500), blob(600)
    main_files = [("main.hdb", ("%s:%d:Test.Main.Hash-1-0\n" % (digest("md5", main_data), len(main_data))).encode()),
                  ("main.ndb", b"Test.Main.Body:0:*:" + b"MAINBODYTEXT".hex().encode() + b"\n"),
                  ("main.ldb", b"Test.Logical;Engine:51-255,Target:0;0;414243\n"),
                  ("main.cbc", b"ClamBC binary\n")]
    daily_files = [("daily.hsb", ("%s:*:Test.Daily.Hash-2-0:73\n" % digest("sha256", daily_data)).encode()),
                   ("daily.fp", ("%s:%d:Good\n" % (digest("md5", main_data), len(main_data))).encode()),
                   ("daily.ign2", b"Test.Main.Body\n")]
    write(os.path.join(folder, "main_hit.bin"), main_data)
    write(os.path.join(folder, "daily_hit.bin"), daily_data)
    write(os.path.join(folder, "body_hit.bin"), b"xx MAINBODYTEXT xx" + blob(100))
    cvd = container("main", 61, main_files, True)
    write(os.path.join(good, "main.cvd"), cvd)
    write(os.path.join(good, "daily.cld"), container("daily", 27000, daily_files, False))
    write(os.path.join(folder, "gzipped", "daily.cld"), container("daily", 27001, daily_files, True))
    # Damaged copies, one fault each.
    bad = os.path.join(folder, "bad")
    write(os.path.join(bad, "archive_byte.cvd"), flip(cvd, len(cvd) - 40))
    header_md5 = cvd[:512].decode().split(":")[5]
    wrong = ("0" if header_md5[0] != "0" else "1") + header_md5[1:]
    write(os.path.join(bad, "header_md5.cvd"), cvd[:512].replace(header_md5.encode(), wrong.encode()) + cvd[512:])
    tampered = [(main_files[0][0], main_files[0][1].replace(b"Main", b"Mean"))] + main_files[1:]
    write(os.path.join(bad, "member.cld"), container("main", 62, tampered, False, info_files=main_files))
    write(os.path.join(bad, "unlisted.cld"), container("main", 63, main_files, False, info_files=main_files[1:]))
    write(os.path.join(bad, "cut.cvd"), cvd[:len(cvd) - 100])
    gzipped = container("daily", 27002, daily_files, True)
    write(os.path.join(bad, "cut.cld"), gzipped[:len(gzipped) - 60])


if __name__ == "__main__":
    {"loose": loose, "container": containers}[sys.argv[1]](sys.argv[2])
