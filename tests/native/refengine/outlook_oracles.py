#!/usr/bin/env python3
"""Reads the test's TNEF and compound files back with Debian's tnef program
and olefile, and lists every attachment or stream they extract that holds
the test file. Usage: outlook_oracles.py FOLDER TEST-FILE

FOLDER/files.txt names the files, one a line; FOLDER/oracle.txt gets one
line per find: the file, a tab, and the member's name (the attachment's
long name for a .msg attachment's data, else the stream's path). A file the
tool cannot read gets the name '-'."""
import os
import subprocess
import sys

import olefile

folder, sample_path = sys.argv[1], sys.argv[2]
with open(sample_path, 'rb') as f:
    SAMPLE = f.read()


def holds(data):
    # The test file counts as an object of its own (up to 128 bytes).
    return data.startswith(SAMPLE) and len(data) <= 128


def tnef_finds(path):
    out = os.path.join(folder, os.path.basename(path) + '.out')
    os.makedirs(out, exist_ok=True)
    # -K: a checksum error is reported by the engine; the data is still there.
    result = subprocess.run(['tnef', '-K', '--overwrite', '--save-body', '--body-pref=ALL', '-C', out, '-f', path],
                            capture_output=True)
    if result.returncode != 0:
        sys.stderr.write('tnef %s: %s\n' % (path, result.stderr.decode(errors='replace')))
        return ['-']
    finds = []
    for name in sorted(os.listdir(out)):
        with open(os.path.join(out, name), 'rb') as f:
            if holds(f.read()):
                finds.append(name)
    return finds


def long_name(ole, storage):
    for stream, encoding in (('__substg1.0_3707001F', 'utf-16-le'), ('__substg1.0_3707001E', 'latin-1'),
                             ('__substg1.0_3704001F', 'utf-16-le')):
        if ole.exists(storage + [stream]):
            return ole.openstream(storage + [stream]).read().decode(encoding).split('\0')[0]
    return None


def ole_finds(path):
    try:
        ole = olefile.OleFileIO(path)
    except Exception:
        return ['-']
    finds = []
    for entry in ole.listdir(streams=True, storages=False):
        try:
            data = ole.openstream(entry).read()
        except Exception:
            finds.append('-')
            continue
        if not holds(data):
            continue
        name = None
        if entry[-1] == '__substg1.0_37010102' and len(entry) > 1 and entry[-2].startswith('__attach_version1.0_#'):
            name = long_name(ole, entry[:-1])
        finds.append(name or '/'.join(entry))
    return finds


with open(os.path.join(folder, 'files.txt')) as f:
    files = [line.strip() for line in f if line.strip()]
with open(os.path.join(folder, 'oracle.txt'), 'w') as report:
    for name in files:
        path = os.path.join(folder, name)
        with open(path, 'rb') as f:
            head = f.read(8)
        finds = ole_finds(path) if olefile.isOleFile(path) else tnef_finds(path)
        for find in finds:
            report.write(name + '\t' + find + '\n')
