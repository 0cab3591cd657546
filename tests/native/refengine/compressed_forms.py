#!/usr/bin/env python3
"""Writes the test file compressed as mail carries it: by Debian's bzip2 and
xz, by Python's bz2, lzma and zipfile, and as ZIP members by 7-Zip, each
read back by Python first so that every form is one an extractor unpacks.
Usage: compressed_forms.py FOLDER TEST-FILE 7ZIP

Each file holds the test file as "eicar.com" (or under the name its
decompressor gives it) next to a clean "a.txt" of 80 KB with a
repeat further back than 32 KiB (what Deflate64 adds to Deflate). 7-Zip
stores what does not shrink, as the test file alone would not: its ZIPs
hold it in "eicar.tar"."""
import bz2
import io
import lzma
import os
import shutil
import struct
import subprocess
import sys
import tarfile
import zipfile

folder, sample_path, sevenzip = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(folder, exist_ok=True)
with open(sample_path, 'rb') as f:
    SAMPLE = f.read()
words = [b'mail', b'client', b'attachment', b'archive', b'member', b'stream', b'window', b'bound', b'check']
seed, body = 1, []
while sum(map(len, body)) < 60000:
    seed = (seed * 1103515245 + 12345) % 2**31
    body.append(words[seed >> 16 & 7] + (b'\n' if seed & 0x700 == 0 else b' '))
body = b''.join(body)
CLEAN = body + body[:20000]  # a repeat about 60 KiB back

def write(name, data):
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def tool(args, data):
    return subprocess.run(args, input=data, stdout=subprocess.PIPE, check=True).stdout


def tar_of(members):
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode='w', format=tarfile.USTAR_FORMAT) as t:
        for name, data in members:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            t.addfile(info, io.BytesIO(data))
    return out.getvalue()


# Near calls for the x86 filter to convert (a wrong one breaks the check).
CALLS = b''.join(b'\xe8' + struct.pack('<i', i * 37 - 50000) + b'\x90' * (i % 4) for i in range(5000))
TAR = tar_of([('a.txt', CLEAN), ('eicar.com', SAMPLE)])
bzip2, xz = shutil.which('bzip2'), shutil.which('xz')

# The command-line compressors, with what their decompressors read back.
streams = {
    'bz1.com.bz2': ([bzip2, '-1', '-c'], SAMPLE),
    'bz9.com.bz2': ([bzip2, '-9', '-c'], SAMPLE),
    'tool.tar.bz2': ([bzip2, '-c'], TAR),
    'tool.tbz2': ([bzip2, '-c'], TAR),
    'xz0.com.xz': ([xz, '-0', '-c'], SAMPLE),
    'xz9e.com.xz': ([xz, '-9e', '-c'], SAMPLE),
    'sha.com.xz': ([xz, '--check=sha256', '-c'], SAMPLE),
    'none.com.xz': ([xz, '--check=none', '-c'], SAMPLE),
    'x86.com.xz': ([xz, '--x86', '--lzma2=preset=6', '-c'], SAMPLE),
    'delta.com.xz': ([xz, '--delta=dist=4', '--lzma2=preset=1', '-c'], SAMPLE),
    'tool.tar.xz': ([xz, '-c'], TAR),
    'tool.txz': ([xz, '-c'], TAR),
    'alone.com.lzma': ([xz, '--format=lzma', '-c'], SAMPLE),
    'alone9.com.lzma': ([xz, '--format=lzma', '--lzma1=preset=9,lc=4,lp=0,pb=0', '-c'], SAMPLE),
    'calls.bin.xz': ([xz, '--x86', '--lzma2=preset=6', '-c'], CALLS),
    'tool.tlz': ([xz, '--format=lzma', '-c'], TAR),
    # Clean forms for the damage the test makes, what we do not decode (the
    # ARM filter), dictionaries past a small limit, and bombs of zeros.
    'clean.txt.bz2': ([bzip2, '-9', '-c'], CLEAN),
    'clean.txt.xz': ([xz, '-6', '-c'], CLEAN),
    'clean.txt.lzma': ([xz, '--format=lzma', '-c'], CLEAN),
    'arm.txt.xz': ([xz, '--arm', '--lzma2=preset=1', '-c'], CLEAN),
    'big.txt.xz': ([xz, '-9', '-c'], CLEAN),
    'big.txt.lzma': ([xz, '--format=lzma', '-9', '-c'], CLEAN),
    'empty.bz2': ([bzip2, '-c'], b''),
    'empty.xz': ([xz, '-c'], b''),
    'empty.lzma': ([xz, '--format=lzma', '-c'], b''),
    'bomb.bz2': ([bzip2, '-9', '-c'], bytes(16 << 20)),
    'bomb.xz': ([xz, '-6', '-c'], bytes(16 << 20)),
    'bomb.lzma': ([xz, '--format=lzma', '-6', '-c'], bytes(16 << 20)),
}
for name, (args, data) in streams.items():
    packed = tool(args, data)
    assert tool([bzip2 if name.endswith(('.bz2', '.tbz2')) else xz, '-d', '-c'] + (
        ['--format=lzma'] if name.endswith(('.lzma', '.tlz')) else []), packed) == data, name
    write(name, packed)

# Python's own writers: one stream each, and bzip2 streams one after another.
half = len(SAMPLE) // 2
python = {
    'py.com.bz2': bz2.compress(SAMPLE),
    'pycat.com.bz2': bz2.compress(SAMPLE[:half]) + bz2.compress(SAMPLE[half:]),
    'py.com.xz': lzma.compress(SAMPLE, format=lzma.FORMAT_XZ, check=lzma.CHECK_CRC64),
    'py.com.lzma': lzma.compress(SAMPLE, format=lzma.FORMAT_ALONE),
}
for name, packed in python.items():
    assert (bz2 if name.endswith('.bz2') else lzma).decompress(packed) == SAMPLE, name
    write(name, packed)

with zipfile.ZipFile(os.path.join(folder, 'py.zip'), 'w') as z:
    z.writestr('a.txt', CLEAN, compress_type=zipfile.ZIP_BZIP2)
    z.writestr('eicar.com', SAMPLE, compress_type=zipfile.ZIP_BZIP2)
    z.writestr('lzma.com', SAMPLE, compress_type=zipfile.ZIP_LZMA)
    z.writestr('lzma.txt', CLEAN, compress_type=zipfile.ZIP_LZMA)
    z.writestr('empty.bz2.txt', b'', compress_type=zipfile.ZIP_BZIP2)
    z.writestr('empty.lzma.txt', b'', compress_type=zipfile.ZIP_LZMA)

# 7-Zip's ZIP methods, the files added from a folder in name order.
source = os.path.join(folder, 'src')
os.makedirs(source, exist_ok=True)
write('src/a.txt', CLEAN)
write('src/eicar.tar', tar_of([('eicar.com', SAMPLE)]))
for name, method in [('deflate64.zip', 'Deflate64'), ('bzip2.zip', 'BZip2'), ('lzma.zip', 'LZMA'),
                     ('lzma-noeos.zip', 'LZMA:eos=off'), ('xz.zip', 'xz')]:
    target = os.path.join(folder, name)
    subprocess.run([sevenzip, 'a', '-bso0', '-bsp0', '-tzip', '-mm=' + method, target, 'a.txt', 'eicar.tar'],
                   cwd=source, check=True)

expected = {'deflate64.zip': 9, 'bzip2.zip': 12, 'lzma.zip': 14, 'lzma-noeos.zip': 14, 'xz.zip': 95, 'py.zip': None}
for name, method in expected.items():
    with zipfile.ZipFile(os.path.join(folder, name)) as z:
        for info in z.infolist():
            assert method is None or info.compress_type == method, (name, info.compress_type)
            if info.compress_type not in (9, 95):  # what Python does not read, 7-Zip tests
                z.read(info)
    if method in (9, 95):
        subprocess.run([sevenzip, 't', '-bso0', '-bsp0', os.path.join(folder, name)], check=True)
with zipfile.ZipFile(os.path.join(folder, 'lzma-noeos.zip')) as z:
    assert all(not info.flag_bits & 2 for info in z.infolist())
with zipfile.ZipFile(os.path.join(folder, 'lzma.zip')) as z:
    assert all(info.flag_bits & 2 for info in z.infolist())
