#!/usr/bin/env python3
"""Writes mail messages with Python's email package (and mailbox, and the
uuencode of sharutils), BinHex files with the writer below, and forms of
them that parsers read differently, then records for each whether Python's
email package extracts a part that holds the test file.
Usage: mail_forms.py FOLDER TEST-FILE

FOLDER/manifest.txt gets one line per file: name; 1 when the engine must
find the test file whatever Python reads; 1 when Python extracts it; and a
text the walk must hold ('-' for none)."""
import base64
import binascii
import email
import email.policy
import io
import mailbox
import os
import re
import shutil
import struct
import subprocess
import sys
from email.message import EmailMessage

folder, sample_path = sys.argv[1], sys.argv[2]
os.makedirs(folder, exist_ok=True)
with open(sample_path, 'rb') as f:
    SAMPLE = f.read()
FOUND = '=1(Eicar-Test-Signature)'


def extracts(data):
    """True when a leaf part email decodes, under either policy, holds it."""
    messages = []
    if data.startswith(b'From '):
        path = os.path.join(folder, 'oracle.mbox')
        with open(path, 'wb') as f:
            f.write(data)
        box = mailbox.mbox(path, create=False)
        messages = [email.message_from_bytes(m.as_bytes(), policy=p)
                    for m in box for p in (email.policy.compat32, email.policy.default)]
        box.close()
        os.remove(path)
    else:
        messages = [email.message_from_bytes(data, policy=p) for p in (email.policy.compat32, email.policy.default)]
    for message in messages:
        for part in message.walk():
            if part.is_multipart():
                continue
            try:
                payload = part.get_payload(decode=True)
            except Exception:
                continue
            if payload and SAMPLE in payload:
                return True
    return False


def message(subject='a message'):
    m = EmailMessage()
    m['From'] = 'someone@example.com'
    m['To'] = 'you@example.com'
    m['Subject'] = subject
    return m


def attached(name='eicar.com', data=SAMPLE, text='hello'):
    m = message()
    m.set_content(text)
    m.add_attachment(data, maintype='application', subtype='octet-stream', filename=name)
    return m


def replace_boundary_header(data, new_header):
    return re.sub(rb'Content-Type: multipart/mixed;\s+boundary="[^"]*"', new_header, data, count=1)


def uuencode(name, data, base64_form=False):
    if not shutil.which('uuencode'):
        sys.exit('uuencode (sharutils) is not installed')
    args = ['uuencode'] + (['-m'] if base64_form else []) + [name]
    return subprocess.run(args, input=data, stdout=subprocess.PIPE, check=True).stdout


# A BinHex 4.0 writer, from the format's description: header, forks and
# CRC-CCITT sums, run-length coding with 0x90, the six-bit alphabet.
HQX = b'!"#$%&\'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr'


def crc_ccitt(data):
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021 if crc & 0x8000 else crc << 1) & 0xFFFF
    return crc


def run_length(data):
    out = bytearray()
    i = 0
    while i < len(data):
        byte, n = data[i], 1
        while i + n < len(data) and data[i + n] == byte and n < 255:
            n += 1
        literal = b'\x90\x00' if byte == 0x90 else bytes([byte])
        if n >= 3:
            out += literal + bytes([0x90, n])
        else:
            out += literal * n
        i += n
    return bytes(out)


def binhex(name, data, resource=b'', bad_data_sum=False):
    header = bytes([len(name)]) + name + b'\0' + b'TEXTttxt' + b'\0\0' + struct.pack('>II', len(data), len(resource))
    data_sum = crc_ccitt(data) ^ (1 if bad_data_sum else 0)
    stream = (header + struct.pack('>H', crc_ccitt(header)) + data + struct.pack('>H', data_sum) + resource +
              struct.pack('>H', crc_ccitt(resource)))
    packed = run_length(stream)
    text = bytearray()
    for i in range(0, len(packed), 3):
        group = packed[i:i + 3]
        bits = int.from_bytes(group.ljust(3, b'\0'), 'big')
        letters = [HQX[bits >> shift & 63] for shift in (18, 12, 6, 0)]
        text += bytes(letters[:len(group) + 1])
    lines = b'\n'.join(bytes(text[i:i + 64]) for i in range(0, len(text), 64))
    return b'(This file must be converted with BinHex 4.0)\n\n:' + lines + b':\n'


assert crc_ccitt(b'123456789') == binascii.crc_hqx(b'123456789', 0) == 0x31C3
cases = []  # (file name, bytes, must the engine find it whatever Python reads, text the walk holds)


def case(name, data, must=False, holds='-'):
    cases.append((name, data, must, holds))


b64 = base64.b64encode(SAMPLE)
# What email writes.
case('attachment.eml', attached().as_bytes(), holds='eicar.com' + FOUND)
quoted = message()
quoted.set_content(SAMPLE.decode() + ' \u00e9t\u00e9', cte='quoted-printable')
case('quoted.eml', quoted.as_bytes().replace(b'$', b'=24'), holds='part-1' + FOUND)
outer = message('fwd')
outer.set_content('see the forwarded message')
outer.add_attachment(attached('inner.com'))
case('forward.eml', outer.as_bytes(), holds='[MIME:part-1=0;inner.com' + FOUND)
box_path = os.path.join(folder, 'made.mbox')
box = mailbox.mbox(box_path)
box.add(message('first'))
box.add(attached('boxed.com'))
box.close()
with open(box_path, 'rb') as f:
    case('mail.mbox', f.read(), holds='message-2=1000[MIME:part-1=0;boxed.com' + FOUND)
os.remove(box_path)
case('crlf.eml', attached('crlf.com').as_bytes(policy=email.policy.SMTP), holds='crlf.com' + FOUND)
case('cr.eml', attached('cr.com').as_bytes().replace(b'\n', b'\r'), holds='cr.com' + FOUND)
case('names.eml', attached('\u00e9t\u00e9 \u20ac.com').as_bytes(), holds='_t_ _.com' + FOUND)
words = attached('placeholder.com').as_bytes().replace(b'filename="placeholder.com"',
                                                      b'filename="=?utf-8?q?=C3=A9t=C3=A9?= =?utf-8?b?LmNvbQ==?="')
case('words.eml', words, holds='_t_.com' + FOUND)
nested = attached('deep.com')
for level in range(4):
    wrapper = message('level %d' % level)
    wrapper.set_content('wrapped')
    wrapper.add_attachment(nested)
    nested = wrapper
case('nested.eml', nested.as_bytes(), holds='deep.com' + FOUND)

# uuencode and BinHex: in text files, in a text part, as an x-uuencode part.
prose = b'Words before the file, as a newsreader shows them.\n' * 12
case('uu.txt', prose + uuencode('uu.com', SAMPLE) + b'bye\n', True, 'UUE:uu.com' + FOUND)
case('uu64.txt', prose + uuencode('uu64.com', SAMPLE, True), True, 'uu64.com' + FOUND)
in_text = message()
in_text.set_content((prose + uuencode('part.com', SAMPLE)).decode(), cte='base64')
case('uu-in-text.eml', in_text.as_bytes(), True, 'part.com' + FOUND)
x_uu = message()
x_uu.set_content(uuencode('x.com', SAMPLE), maintype='application', subtype='octet-stream', cte='7bit')
case('x-uuencode.eml', x_uu.as_bytes().replace(b'Content-Transfer-Encoding: 7bit', b'Content-Transfer-Encoding: x-uuencode'),
     holds='x.com' + FOUND)
case('data.hqx', prose + binhex(b'data.com', SAMPLE, b'resource bytes'), True, 'data.com' + FOUND)
case('resource.hqx', binhex(b'res.com', b'plain data ' * 40, SAMPLE), True, 'res.com=0;res.com.rsrc' + FOUND)
# Runs in both forks; the resource fork's sum holds only if 0x90 runs decode right.
case('runs.hqx', binhex(b'runs.com', SAMPLE + b' ' * 50, b'\x90' * 300 + b'a' * 300 + b'\x90\x00'), True,
     'runs.com' + FOUND + ';runs.com.rsrc=0;end')
case('crc.hqx', binhex(b'crc.txt', b'plain data ' * 40, bad_data_sum=True), holds='crc.txt=2000')
case('crc-found.hqx', binhex(b'crc.com', SAMPLE, bad_data_sum=True), True, 'crc.com' + FOUND)
hqx_in_mail = message()
hqx_in_mail.set_content(binhex(b'mailed.com', SAMPLE).decode(), cte='quoted-printable')
case('hqx.eml', hqx_in_mail.as_bytes(), True, 'mailed.com' + FOUND)
cut_hqx = binhex(b'cut.txt', b'plain data ' * 40)
case('cut.hqx', cut_hqx[:len(cut_hqx) // 2], holds='cut.txt=80')

# Forms parsers read differently: the engine reads them every way.
two = attached('first.com', b'clean').as_bytes()
boundary = re.search(rb'boundary="([^"]*)"', two).group(1)
second = (b'--B2\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n'
          b'Content-Disposition: attachment; filename="second.com"\n\n' + b64 + b'\n--B2--\n')
case('boundaries.eml', replace_boundary_header(two, b'Content-Type: multipart/mixed; boundary="' + boundary +
                                               b'"; boundary="B2"') + second, True, 'second.com' + FOUND)
case('comment.eml', replace_boundary_header(two, b'Content-Type: multipart/mixed; (x; boundary="B2") boundary="' +
                                            boundary + b'"') + second, True, 'second.com' + FOUND)
stops = attached('stops.com', b'').as_bytes().replace(b'\n\n\n', b'\n\n' + base64.b64encode(SAMPLE[:31]) +
                                                      base64.b64encode(SAMPLE[31:]) + b'\n', 1)
case('padding.eml', stops, True, 'stops.com' + FOUND)
spaced = attached().as_bytes().replace(b'\n--' + boundary + b'\n', b'\n--' + boundary + b'   \n')
case('delimiter-space.eml', spaced, holds='eicar.com' + FOUND)
doubled = attached('cte.com').as_bytes().replace(b'Content-Transfer-Encoding: base64',
                                                 b'Content-Transfer-Encoding: 7bit\nContent-Transfer-Encoding: base64')
case('encodings.eml', doubled, True, 'cte.com=0;cte.com' + FOUND)
folded = attached('folded.com').as_bytes().replace(b'Content-Transfer-Encoding: base64',
                                                   b'X-Note: see\n Content-Transfer-Encoding: base64')
case('folded.eml', folded, True, 'folded.com=0;folded.com' + FOUND)

# Cut off: never clean.
whole = attached('clean.bin', b'clean bytes ' * 30).as_bytes()
case('cut.eml', whole[:whole.rfind(b'\n--' + re.search(rb'boundary="([^"]*)"', whole).group(1) + b'--')],
     holds='clean.bin=80;header=80')

with open(folder + '/manifest.txt', 'w') as manifest:
    for name, data, must, holds in cases:
        with open(folder + '/' + name, 'wb') as f:
            f.write(data)
        manifest.write('%s\t%d\t%d\t%s\n' % (name, must, extracts(data), holds))
