#!/usr/bin/env python3
"""Writes signature databases of the open formats and objects that hit and
narrowly miss each record, for the engine and for clamscan to judge alike.

  clamav_db.py loose FOLDER       FOLDER/db/*.hdb .hsb .fp .sfp .ign2 .ndb .mdb .msb, FOLDER/objects/*
  clamav_db.py container FOLDER   FOLDER/good/main.cvd, daily.cld and damaged copies beside them

Objects are random binary bytes (at least 100), so that no scanner reads
them as text or as a known file type, unless a record is for one: then the
object starts with that type's head (a PE image written here, with its
sections and entry point, sound or damaged).
"""
import gzip
import hashlib
import io
import os
import random
import struct
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


def put(data, at, part):
    return data[:at] + part + data[at + len(part):]


def mark(k):
    """Six bytes no other record shares; k tells the records apart."""
    return bytes([0xe1, 0xe2, 0xe3, 0xe4, 0xe5, k])


def pe_image(sections, entry_rva, plus=False):
    """A PE32 (or PE32+) image: headers in the first 0x200 bytes, then each
    section's (raw offset, virtual address, data); aligned as linkers do."""
    opt_size = 240 if plus else 224
    coff = struct.pack("<HHIIIHH", 0x8664 if plus else 0x14c, len(sections), 0, 0, 0, opt_size, 0x0102)
    opt = struct.pack("<HBBIIIII", 0x20b if plus else 0x10b, 0, 0, 0x200, 0x200, 0, entry_rva, 0x1000)
    opt += struct.pack("<QII", 0x140000000, 0x1000, 0x200) if plus else struct.pack("<IIII", 0x2000, 0x400000,
                                                                                    0x1000, 0x200)
    image_size = max(va + ((len(d) + 0xfff) & ~0xfff) for _, va, d in sections)
    opt += struct.pack("<HHHHHHIIIIHH", 4, 0, 0, 0, 4, 0, 0, image_size, 0x200, 0, 2, 0)
    opt += struct.pack("<QQQQII" if plus else "<IIIIII", 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    opt += b"\0" * (16 * 8)
    table = b"".join(struct.pack("<8sIIIIIIHHI", b".s%d" % i, len(d), va, len(d), raw, 0, 0, 0, 0, 0x60000020)
                     for i, (raw, va, d) in enumerate(sections))
    out = bytearray((b"MZ" + b"\x90" * 0x3a + struct.pack("<I", 0x80)).ljust(0x80, b"\0"))
    out += b"PE\0\0" + coff + opt + table
    out = out.ljust(0x200, b"\0")
    for raw, va, d in sections:
        out = out.ljust(raw, b"\0")
        out[raw:raw + len(d)] = d
    return bytes(out)


# Three sections at 0x200, 0x600, 0x800; the entry point 0x10 into the first.
PE_SECTIONS = [(0x200, 0x1000, 0x400), (0x600, 0x2000, 0x200), (0x800, 0x3000, 0x400)]
PE_ENTRY = 0x210
OPTIONAL_AT = 0x98
TABLE_AT = OPTIONAL_AT + 224


def pe_test_image(plus=False):
    return pe_image([(raw, va, blob(n)) for raw, va, n in PE_SECTIONS], 0x1010, plus)


def section_hashes(obj, mdb, msb):
    """PE section hash records: each matches one section of its own image;
    near misses change one byte of it or take the PE headers away."""
    kinds = [("md5", 1, "%d", mdb), ("sha1", 0, "%d", msb), ("sha256", 2, "*", msb), ("md5", 2, "*", mdb)]
    for i, (kind, section, size, where) in enumerate(kinds):
        image = pe_test_image()
        raw, _, length = PE_SECTIONS[section]
        data = image[raw:raw + length]
        size_field = size % length if size == "%d" else "*"
        where.append("%s:%s:Test.Section.%s-%d%s" % (size_field, digest(kind, data), kind.upper(), i,
                                                      ":73" if size == "*" else ""))
        obj("section%d_hit.bin" % i, image)
        obj("section%d_flip.bin" % i, flip(image, raw + length // 2))
        obj("section%d_notpe.bin" % i, b"NE" + image[2:])
        obj("section%d_longer.bin" % i, put(image, TABLE_AT + section * 40 + 16, struct.pack("<I", length + 0x200)))


def compound_file(data):
    """A sound compound file of one 4096-byte stream "data" in sectors 1 to 8:
    a record for OLE2 files is judged on a file that opens, so a damaged one
    (which the engine refuses as unchecked) never decides the comparison."""
    end, free, nostream = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF
    assert len(data) == 4096
    header = bytes.fromhex("d0cf11e0a1b11ae1") + b"\0" * 16
    header += struct.pack("<HHHHH6sIIIIIIIII", 0x3e, 3, 0xfffe, 9, 6, b"", 0, 1, 0, 0, 0x1000, end, 0, end, 0)
    header += struct.pack("<I", 9) + b"\xff" * (4 * 108)

    def entry(name, kind, child, start, size):
        raw = name.encode("utf-16-le") + b"\0\0" if name else b""
        return (raw.ljust(64, b"\0") + struct.pack("<HBBIII", len(raw), kind, 1, nostream, nostream, child) +
                b"\0" * 36 + struct.pack("<III", start, size, 0))

    directory = entry("Root Entry", 5, 1, end, 0) + entry("data", 2, nostream, 1, 4096)
    directory += entry("", 0, nostream, 0, 0) * 2
    fat = struct.pack("<10I", end, 2, 3, 4, 5, 6, 7, 8, end, 0xFFFFFFFD) + struct.pack("<I", free) * 118
    return header + directory + data + fat


def typed(obj, ndb):
    """Records for one file type, and offsets from the entry point and the
    sections of a PE image; each object holds one record's bytes, at its
    place or one byte off, or in an object of another type."""
    heads = {1: [b"MZ"], 2: [bytes.fromhex("d0cf11e0a1b11ae1")],
             4: [b"From someone Mon Jan  1 00:00:00 2024\n", b"Received: from x\n", b"Subject: hello\n"],
             5: [b"\x89PNG\r\n\x1a\n", b"\xff\xd8\xff\xe0", b"GIF89a", b"BM", b"II*\0"],
             6: [b"\x7fELF"], 9: [bytes.fromhex("feedface"), bytes.fromhex("cffaedfe")],
             10: [b"%PDF-1.4\n", b"x" * 100 + b"%PDF-1.5\n", b"x" * 1017 + b"%PDF-1.5"]}
    targets = sorted(heads)
    for t in targets:
        ndb.append("Test.Target.%d:%d:*:%s" % (t, t, mark(t).hex()))
    for t, forms in heads.items():
        other = targets[(targets.index(t) + 1) % len(targets)]
        for i, head in enumerate(forms):
            body = compound_file(blob(4096)) if t == 2 else head + blob(1200)
            obj("type%d_%d_hit.bin" % (t, i), put(body, 1100, mark(t)))
            obj("type%d_%d_other.bin" % (t, i), put(body, 1100, mark(other)))
        obj("type%d_plain.bin" % t, put(blob(1300), 1100, mark(t)))
    # Near misses of the heads: one byte short or off, a PDF header too late.
    for name, head in (("mz", b"Mz"), ("ole2", bytes.fromhex("d0cf11e0a1b11ae0")), ("png", b"\x89PNX"),
                       ("elf", b"\x7fELX"), ("mail", b"Received:x"), ("pdf_late", b"x" * 1018 + b"%PDF-1.5"),
                       ("pdf_nodot", b"x" * 10 + b"%PDF-15")):
        for t in targets:
            obj("near_%s_%d.bin" % (name, t), put(head + blob(1300), 1200, mark(t)))

    # Floating offsets and offsets from the end.
    ndb.append("Test.Float:0:20,8:%s" % mark(20).hex())
    ndb.append("Test.EndFloat:0:EOF-40,5:%s" % mark(21).hex())
    for at in (19, 20, 28, 29):
        obj("float_%d.bin" % at, put(blob(200), at, mark(20)))
    for back in (41, 40, 35, 34):
        obj("endfloat_%d.bin" % back, put(blob(200), 200 - back, mark(21)))

    # PE offsets: each record's bytes at its place, one byte off, and in a
    # PE32+ image.
    pe_records = [("Test.Pe.Entry", "EP+0", 30, [(PE_ENTRY, True), (PE_ENTRY + 1, False)]),
                  ("Test.Pe.BeforeEntry", "EP-4", 31, [(PE_ENTRY - 4, True), (PE_ENTRY - 3, False)]),
                  ("Test.Pe.EntryFloat", "EP+8,4", 32, [(PE_ENTRY + 7, False), (PE_ENTRY + 8, True),
                                                       (PE_ENTRY + 12, True), (PE_ENTRY + 13, False)]),
                  ("Test.Pe.Section", "S1+16", 33, [(0x610, True), (0x60f, False), (0x210, False)]),
                  ("Test.Pe.InSection", "SE1", 34, [(0x5ff, False), (0x600, True), (0x7fa, True), (0x800, True),
                                                    (0x801, False)]),
                  ("Test.Pe.Last", "SL+0", 35, [(0x800, True), (0x801, False)]),
                  ("Test.Pe.SectionGone", "S3+0", 36, [(0xc00 - 6, False)])]
    for name, offset, k, places in pe_records:
        ndb.append("%s:1:%s:%s" % (name, offset, mark(k).hex()))
        for at, _ in places:
            obj("pe_%d_%x.bin" % (k, at), put(pe_test_image(), at, mark(k)))
        hit = next(at for at, found in places if found) if any(f for _, f in places) else places[0][0]
        obj("pe_%d_plus.bin" % k, put(pe_test_image(True), hit, mark(k)))
        # Outside a PE image the offsets mean nothing.
        obj("pe_%d_notpe.bin" % k, put(b"NE" + pe_test_image()[2:], hit, mark(k)))
    # Damaged headers: the entry point's record misses where the headers do
    # not hold together, and hits where a loader still reads them.
    image = put(pe_test_image(), PE_ENTRY, mark(30))
    le16, le32 = (lambda v: struct.pack("<H", v)), (lambda v: struct.pack("<I", v))
    damaged = {"signature": (0x80, b"PX"), "lfanew_far": (0x3c, le32(0x100000)),
               "lfanew_end": (0x3c, le32(len(image) - 10)), "no_sections": (0x86, le16(0)),
               "97_sections": (0x86, le16(97)), "optional_short": (0x94, le16(223)),
               "entry_unmapped": (OPTIONAL_AT + 16, le32(0x9000)), "optional_magic": (OPTIONAL_AT, le16(0x10c)),
               "section_past_end": (TABLE_AT + 2 * 40 + 20, le32(0x10000))}
    for name, (at, value) in damaged.items():
        obj("pe_damaged_%s.bin" % name, put(image, at, value))
    obj("pe_damaged_cut.bin", image[:0x900])
    obj("pe_damaged_tiny.bin", image[:0x40])

    # The open format's pattern elements: nibbles, classes, alternatives of
    # several bytes, anchored bytes and gaps open at one end.
    syntax = [("Test.Nibble", "%sa?b?" % mark(40).hex(), [b"\xa5\xb6", b"\xa0\xbf"], [b"\xa5\xc6", b"\x5a\xb6"]),
              ("Test.LowNibble", "%s?a?b" % mark(41).hex(), [b"\x5a\x6b"], [b"\x5a\x6c"]),
              ("Test.Class", "%s(aa|bb)cc" % mark(42).hex(), [b"\xaa\xcc", b"\xbb\xcc"], [b"\xab\xcc"]),
              ("Test.NotClass", "%s!(aa|bb)cc" % mark(43).hex(), [b"\xab\xcc"], [b"\xaa\xcc", b"\xbb\xcc"]),
              ("Test.Choice", "%s(aabb|ccddee)ff" % mark(44).hex(), [b"\xaa\xbb\xff", b"\xcc\xdd\xee\xff"],
               [b"\xaa\xdd\xff", b"\xcc\xdd\xff"]),
              ("Test.Anchored", "%s[2-4]f7" % mark(45).hex(), [b"..\xf7", b"....\xf7"], [b".\xf7", b".....\xf7"]),
              ("Test.AnchoredLeft", "f7[1-3]%s" % mark(46).hex(), [b"\xf7."], [b"\xf7...."]),
              ("Test.UpTo", "%s{-3}%s" % (mark(47).hex(), mark(48).hex()), [b"", b"..."], [b"...."]),
              ("Test.AtLeast", "%s{5-}%s" % (mark(49).hex(), mark(50).hex()), [b".....", b"." * 300], [b"...."])]
    for name, pattern, hits, misses in syntax:
        ndb.append("%s:0:*:%s" % (name, pattern))
        head_k = int(pattern[10:12], 16) if not pattern.startswith("f7") else None
        for kind, tails in (("hit", hits), ("miss", misses)):
            for i, tail in enumerate(tails):
                if name == "Test.AnchoredLeft":
                    part = tail.replace(b".", b"\x00") + mark(46)
                elif name in ("Test.UpTo", "Test.AtLeast"):
                    part = mark(head_k) + tail.replace(b".", b"\x00") + mark(head_k + 1)
                else:
                    part = mark(head_k) + tail.replace(b".", b"\x00")
                obj("syntax_%s_%s%d.bin" % (name.split(".")[1].lower(), kind, i), put(blob(400), 100, part))
    # Skipped and counted: normalised HTML and text.
    ndb.append("Test.Html:3:*:%s" % mark(60).hex())
    ndb.append("Test.Text:7:*:%s" % mark(61).hex())
    boundaries(obj, ndb)


def boundaries(obj, ndb):
    """Word (B) and line (L) boundaries at a pattern's start and end, inside
    it, beside gaps, wildcards and classes; each with objects that hit and
    that miss by one byte. In the objects "M" and "N" stand for the record's
    two marks, "~" for a zero byte, "^" and "$" for the object's start and end."""
    records = [
        ("WordStart", "(B)M", [b" M", b"_M", b"@M", b".M", b"^M"], [b"xM", b"\nM", b'"M', b"=M"]),
        ("WordEnd", "M(B)", [b"M'", b"M\r", b"M\n", b"M=", b"M$"], [b"Mx", b"M.", b"M@", b"M\t"]),
        ("WordInside", "M(B)e7e8", [b"M=\xe7\xe8", b"M.\xe7\xe8", b"M\n\xe7\xe8"],
         [b"M\xe7\xe8", b"Mx\xe7\xe8", b"M  \xe7\xe8", b"M\t\xe7\xe8", b"M\r\n\xe7\xe8"]),
        ("WordBoth", "(B)M(B)", [b" M ", b"^M-", b"/M$"], [b" Mx", b"xM "]),
        ("LineStart", "(L)M", [b"\nM", b"\r\nM", b"^M"], [b"\rM", b"xM", b" M"]),
        ("LineEnd", "M(L)", [b"M\n", b"M\r\n", b"M$"], [b"M\rx", b"M\r$", b"M ", b"M\x0b"]),
        ("LineInside", "M(L)e7e8", [b"M\n\xe7\xe8", b"M\r\n\xe7\xe8"],
         [b"M\xe7\xe8", b"M\r\xe7\xe8", b"M\n\n\xe7\xe8"]),
        # (clamscan 1.4 crashes on this record's mark at the object's start)
        ("LineThenWord", "(L)(B)M", [b"\n M", b"^-M"], [b"x M", b"\nM"]),
        ("TwoInside", "M(B)(L)N", [b"M \nN", b"M_\r\nN"], [b"M\nN", b"M N"]),
        ("AfterStar", "M*(B)N", [b"M~~ N", b"M N", b"M-N"], [b'M~~"N', b"MN"]),
        ("BeforeStar", "M(B)*N", [b'M"~~N', b"M N"], [b"M~~~N", b"MN"]),
        ("AfterRange", "M{2-5}(B)N", [b"M~~ N", b"M~~~~_N"], [b"M~~~~~ N", b'M~~"N']),
        ("BeforeRange", "M(L){-3}N", [b"M\nN", b"M\n~~N"], [b"M\n~~~N", b"MxN"]),
        ("ShortGap", "M{3}(B)N", [b'M~~~"N', b"M~~~ N"], [b"M~~ N"]),
        ("LineShortGap", "M(L){2}N", [b"M\n~~N", b"M\r\n~~N"], [b"M\n~N", b"M~\n~N"]),
        ("Wildcards", "(B)??M??(B)", [b" ~M~ ", b"^~M~$"], [b"x~M~ ", b" ~M~x"]),
        ("Classes", "(B)(e7|e8)Ma?(L)", [b" \xe7M\xa1\n", b"^\xe8M\xaf$"], [b"x\xe7M\xa1\n", b" \xe7M\xa1\r"]),
        ("Choices", "(e7e7|e8)M(L)e9", [b"\xe7\xe7M\n\xe9", b"\xe8M\r\n\xe9"], [b"\xe8M \xe9"]),
        ("AnchoredFar", "(B)M[1-2]e7", [b" M~\xe7"], [b"xM~\xe7"]),
    ]
    for i, (name, pattern, hits, misses) in enumerate(records):
        m, n = mark(70 + 2 * i), mark(71 + 2 * i)
        ndb.append("Test.Boundary.%s:0:*:%s" % (name, pattern.replace("M", m.hex()).replace("N", n.hex())))
        for kind, forms in (("hit", hits), ("miss", misses)):
            for j, form in enumerate(forms):
                at_start, at_end = form.startswith(b"^"), form.endswith(b"$")
                form = form[1 if at_start else 0:len(form) - (1 if at_end else 0)]
                data = b"".join({77: m, 78: n, 126: b"\0"}.get(c, bytes([c])) for c in form)
                base = blob(400)
                data = (b"" if at_start else base[:100]) + data + (b"" if at_end else base[100:])
                obj("bound_%s_%s%d.bin" % (name.lower(), kind, j), data)


def loose(folder):
    db, objects = os.path.join(folder, "db"), os.path.join(folder, "objects")
    hdb, hsb, fp, sfp, ign2, ndb, mdb, msb = [], [], [], [], [], [], [], []

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
    typed(obj, ndb)
    section_hashes(obj, mdb, msb)
    for name, lines in (("test.hdb", hdb), ("test.hsb", hsb), ("test.fp", fp), ("test.sfp", sfp),
                        ("test.ign2", ign2), ("test.ndb", ndb), ("test.mdb", mdb), ("test.msb", msb)):
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
