#!/usr/bin/env python3
"""Writes archives in odd but valid forms with Python's zipfile, tarfile and
gzip, the framings that once hid a member from the engine (ZIP, tar, gzip)
and ZIPs behind other archives, then
records for each whether Python's own libraries extract a member that holds
the test file. Usage: archive_forms.py FOLDER TEST-FILE

FOLDER/manifest.txt gets one line per archive: name, 1 when the engine must
find the test file whatever Python reads, and 1 when Python extracts it."""
import gzip
import io
import os
import struct
import sys
import tarfile
import zipfile
import zlib

folder, sample_path = sys.argv[1], sys.argv[2]
os.makedirs(folder, exist_ok=True)
with open(sample_path, 'rb') as f:
    SAMPLE = f.read()


def holds(data):
    return data.startswith(SAMPLE) and len(data) <= 128


def extracts(data, depth=0):
    """True when Python's libraries unpack, at any level, a member holding it."""
    if holds(data):
        return True
    if depth > 5:
        return False
    try:
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            for info in z.infolist():
                try:
                    if extracts(z.read(info), depth + 1):
                        return True
                except Exception:
                    pass
    except Exception:
        pass
    if data[:2] == b'\x1f\x8b':
        try:
            return extracts(gzip.decompress(data), depth + 1)
        except Exception:
            pass
    try:
        with tarfile.open(fileobj=io.BytesIO(data), mode='r:') as t:
            for member in t:
                f = t.extractfile(member) if member.isfile() else None
                if f and extracts(f.read(), depth + 1):
                    return True
    except Exception:
        pass
    return False


def zip_of(members, method=zipfile.ZIP_DEFLATED, comment=b'', zip64=False):
    out = io.BytesIO()
    with zipfile.ZipFile(out, 'w', method) as z:
        for name, data in members:
            with z.open(zipfile.ZipInfo(name), 'w', force_zip64=zip64) as f:
                f.write(data)
        z.comment = comment
    return out.getvalue()


def end_record(data):
    at = data.rfind(b'PK\x05\x06')
    return at, list(struct.unpack('<4s4H2LH', data[at:at + 22]))


def with_end_record(data, **changes):
    at, fields = end_record(data)
    names = ['sig', 'disk', 'directory_disk', 'entries_here', 'entries', 'size', 'offset', 'comment']
    for key, value in changes.items():
        fields[names.index(key)] = value
    return data[:at] + struct.pack('<4s4H2LH', *fields) + data[at + 22:]


def tar_of(members, fmt=tarfile.USTAR_FORMAT, mode='w'):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode=mode, format=fmt) as t:
        for name, data in members:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            t.addfile(info, io.BytesIO(data))
    return out.getvalue()


def gzip_fields(data):
    """One gzip member with FEXTRA, FNAME, FCOMMENT and FHCRC."""
    header = b'\x1f\x8b\x08\x1e' + b'\0' * 4 + b'\x00\x03'
    header += struct.pack('<H', 6) + b'XY\x02\x00ab' + b'fields.com\0' + b'a comment\0'
    header += struct.pack('<H', zlib.crc32(header) & 0xFFFF)
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    body = packer.compress(data) + packer.flush()
    return header + body + struct.pack('<LL', zlib.crc32(data), len(data))


FILLER = bytes((i * 7 + i // 13) % 26 + 97 for i in range(3000))
REAL = [('filler.txt', FILLER), ('eicar.com', SAMPLE)]
cases = []  # (file name, bytes, must the engine find it whatever Python reads)


def case(name, data, must=False):
    cases.append((name, data, must))


# Odd but valid forms of each format.
case('deflated.zip', zip_of(REAL))
case('stored.zip', zip_of(REAL, zipfile.ZIP_STORED))
case('stub.zip', b'#!/bin/sh\nexit 0\n' + zip_of(REAL))
case('comment.zip', zip_of(REAL, comment=b'see you ' * 100))
case('trailer.zip', zip_of(REAL) + b'bytes after the end')
case('zip64.zip', zip_of(REAL, zip64=True))
case('nested.zip', zip_of([('inner.zip', zip_of(REAL))]))
case('ustar.tar', tar_of(REAL))
case('gnu.tar', tar_of([('d/' + 'g' * 140 + '.com', SAMPLE)], tarfile.GNU_FORMAT))
case('pax.tar', tar_of([('p' * 120 + '/\u00e9' * 3 + '.com', SAMPLE)], tarfile.PAX_FORMAT))
case('a.tar.gz', tar_of(REAL, mode='w:gz'))
case('a.tgz', tar_of([('x' * 200 + '.com', SAMPLE)], tarfile.PAX_FORMAT, 'w:gz'))
case('eicar.com.gz', gzip.compress(SAMPLE))
case('named.gz', gzip.compress(SAMPLE, mtime=0))
case('concatenated.gz', gzip.compress(SAMPLE[:30]) + gzip.compress(SAMPLE[30:50]) + gzip.compress(SAMPLE[50:]))
case('fields.gz', gzip_fields(SAMPLE))
case('zip-in-tar.tar.gz', tar_of([('in.zip', zip_of(REAL))], mode='w:gz'))

# 1. A stub shifts the real directory; a decoy directory of the same size
# and count sits where the end record points.
real = zip_of(REAL)
decoy = zip_of([('cleaner.txt', FILLER), ('clean.com', b'harmless')])
_, real_end = end_record(real)
_, decoy_end = end_record(decoy)
decoy_local, decoy_directory = decoy[:decoy_end[6]], decoy[decoy_end[6]:decoy_end[6] + decoy_end[5]]
stub = decoy_local + b'\0' * (real_end[6] - len(decoy_local)) + decoy_directory
case('decoy-directory.zip', stub + real, True)
# 2. A ZIP behind a stub that is not an executable, inside a member.
inner = zip_of([('eicar.com', SAMPLE)])
for label, method in (('stored', zipfile.ZIP_STORED), ('deflated', zipfile.ZIP_DEFLATED)):
    case('gif-stub-' + label + '.zip', zip_of([('picture.gif', b'GIF89a\x01\x00\x01\x00' + inner)], method), True)
    case('byte-stub-' + label + '.zip', zip_of([('data.bin', b'x' + inner)], method), True)
    case('script-stub-' + label + '.zip', zip_of([('run.sh', b'#!/bin/sh\nexit 0\n' + inner)], method), True)
# 3. Disk numbers in a single file, at the top and nested.
disk = with_end_record(zip_of(REAL), disk=1, directory_disk=1)
case('disk-numbers.zip', disk, True)
case('disk-numbers-nested.zip', zip_of([('inner.zip', disk)]), True)
# 4. A comment length that claims more bytes than follow.
overstated = with_end_record(zip_of(REAL), comment=1000)
case('overstated-comment.zip', overstated, True)
case('overstated-comment-stub.zip', b'#!/bin/sh\n' + overstated, True)
# 5. More than 64 KiB after the end record, behind a stub and without one.
tail = bytes((i * 31) % 251 for i in range(70000)).replace(b'PK', b'pk')
case('long-trailer-stub.zip', b'#!/bin/sh\n' + zip_of(REAL) + tail, True)
case('long-trailer.zip', zip_of(REAL) + tail, True)
# 6. The encryption bit in the directory entry only.
plain = zip_of(REAL)
at = plain.rfind(b'PK\x01\x02')
flags = struct.unpack('<H', plain[at + 8:at + 10])[0] | 1
case('directory-encrypted.zip', plain[:at + 8] + struct.pack('<H', flags) + plain[at + 10:], True)
# 7. Offsets relative to a stub in front, and a decoy directory right in
# front of the real one, where the end record's offset points when read
# from the object's start: a valid one, and a bare signature with fields
# that run past the end.
decoy_zip = zip_of([('clean.com', b'harmless')])
_, decoy_end = end_record(decoy_zip)
decoy_local = decoy_zip[:decoy_end[6]]
real = zip_of(REAL)
at, real_end = end_record(real)
for label, decoy in (('valid', decoy_zip[decoy_end[6]:decoy_end[6] + decoy_end[5]]),
                     ('garbage', b'PK\x01\x02' + b'\xff' * 42)):
    stub = (decoy_local + b'\0' * len(decoy))[:len(decoy)]
    shifted = real[:real_end[6]] + decoy + real[real_end[6]:at]
    fields = real_end[:6] + [len(shifted) - real_end[5], 0]
    case('decoy-in-front-' + label + '.zip', stub + shifted + struct.pack('<4s4H2LH', *fields), True)
# 8. The local header's method and the directory entry's disagree: either
# may be the true one (unzip, bsdtar and 7-Zip read both kinds).
def with_method(data, signature, field, method):
    at = data.rfind(signature) + field
    return data[:at] + struct.pack('<H', method) + data[at + 2:]


for label, method in (('stored', zipfile.ZIP_STORED), ('deflated', zipfile.ZIP_DEFLATED)):
    plain = zip_of([('eicar.com', SAMPLE)], method)
    other = zipfile.ZIP_DEFLATED if method == zipfile.ZIP_STORED else zipfile.ZIP_STORED
    case('method-local-' + label + '.zip', with_method(plain, b'PK\x03\x04', 8, other), True)
    case('method-entry-' + label + '.zip', with_method(plain, b'PK\x01\x02', 10, other), True)
# 9. Tar headers with a bad checksum (GNU tar skips them to the next
# header), first and between members.
def bad_sum(tar, at=0):
    block = bytearray(tar[at:at + 512])
    block[148:156] = b'0000000\0' if block[148:156] != b'0000000\0' else b'0000001\0'
    return tar[:at] + bytes(block) + tar[at + 512:]


padded = tar_of([('filler.txt', FILLER[:700])])[:512 + 1024]  # no end blocks
case('bad-first-header.tar', bad_sum(padded) + tar_of(REAL), True)
case('bad-middle-header.tar', tar_of([('a.txt', b'a')])[:1024] + bad_sum(padded) + tar_of(REAL), True)


# 10. Sparse members whose holes make the file: the test file, then a
# hole up to 128 bytes, in each of GNU tar's forms.
def pax_record(key, value):
    body = ' %s=%s\n' % (key, value)
    length = len(body) + 1
    while len(str(length)) + len(body) != length:
        length += 1
    return (str(length) + body).encode()


def raw_header(name, size, kind, magic=b'ustar\x0000', extra=b''):
    block = bytearray(512)
    block[0:len(name)] = name
    block[100:108] = b'0000644\0'
    block[108:124] = b'0000000\0' * 2
    block[124:136] = b'%011o\0' % size
    block[136:148] = b'00000000000\0'
    block[156:157] = kind
    block[257:265] = magic
    block[386:386 + len(extra)] = extra
    block[148:156] = b' ' * 8
    block[148:156] = b'%06o\0 ' % sum(block)
    return bytes(block)


def padded_to_block(data):
    return data + b'\0' * (-len(data) % 512)


def pax_sparse(records, data, name):
    text = b''.join(pax_record(k, v) for k, v in records)
    return (raw_header(b'PaxHeaders/' + name, len(text), b'x') + padded_to_block(text) +
            raw_header(b'GNUSparseFile.0/' + name, len(data), b'0') + padded_to_block(data) + b'\0' * 1024)


FULL = 128
map_10 = padded_to_block(b'1\n0\n%d\n' % len(SAMPLE))
case('sparse-pax-1.0.tar', pax_sparse([('GNU.sparse.major', 1), ('GNU.sparse.minor', 0), ('GNU.sparse.name', 's.com'),
                                       ('GNU.sparse.realsize', FULL)], map_10 + SAMPLE, b's.com'), True)
case('sparse-pax-0.1.tar', pax_sparse([('GNU.sparse.size', FULL), ('GNU.sparse.numblocks', 1), ('GNU.sparse.name', 's.com'),
                                       ('GNU.sparse.map', '0,%d' % len(SAMPLE))], SAMPLE, b's.com'), True)
case('sparse-pax-0.0.tar', pax_sparse([('GNU.sparse.size', FULL), ('GNU.sparse.numblocks', 1), ('GNU.sparse.name', 's.com'),
                                       ('GNU.sparse.offset', 0), ('GNU.sparse.numbytes', len(SAMPLE))], SAMPLE, b's.com'),
     True)
old_map = b'%011o\0%011o\0' % (0, len(SAMPLE))
old_gnu = bytearray(raw_header(b's.com', len(SAMPLE), b'S', b'ustar  \0', old_map))
old_gnu[483:495] = b'%011o\0' % FULL
old_gnu[148:156] = b' ' * 8
old_gnu[148:156] = b'%06o\0 ' % sum(old_gnu)
case('sparse-old-gnu.tar', bytes(old_gnu) + padded_to_block(SAMPLE) + b'\0' * 1024, True)
# 11. gzip members with reserved flag bits, which Python's gzip ignores.
reserved = bytearray(gzip.compress(SAMPLE))
reserved[3] |= 0x20
case('reserved-flag.gz', bytes(reserved), True)
case('reserved-flag-second.gz', gzip.compress(SAMPLE[:20]) + bytes(reserved[:3]) + bytes([0x40]) +
     gzip.compress(SAMPLE[20:])[4:], True)
# A ZIP behind another archive: zipfile reads it past the tar or gzip in front.
case('tar-then-zip.tar', tar_of([('readme.txt', b'clean')]) + zip_of(REAL), True)
case('gzip-then-zip.gz', gzip.compress(b'clean') + zip_of(REAL), True)
case('nested-tar-then-zip.zip', zip_of([('x.tar', tar_of([('r.txt', b'clean')]) + zip_of(REAL))]), True)

with open(folder + '/manifest.txt', 'w') as manifest:
    for name, data, must in cases:
        with open(folder + '/' + name, 'wb') as f:
            f.write(data)
        manifest.write('%s\t%d\t%d\n' % (name, must, extracts(data)))
