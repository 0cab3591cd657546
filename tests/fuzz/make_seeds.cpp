// Writes the fuzz targets' seed corpora: archives of every shape the ZIP,
// gzip and tar readers know, TNEF streams and compound files, bases of
// every record form, and records with data. They are made at build time so that no file of the project holds
// the test file.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/eicar.h"
#include "common/mail_writer.h"
#include "common/outlook_writer.h"
#include "common/zip_writer.h"
#include "digest/sha.h"
#include "host/files.h"
#include "liblzma_oracle.h"
#include "reference_codecs.h"

namespace {

ZipMember Member(const std::string& name, const std::string& data, bool deflate = true) {
    ZipMember m;
    m.name = name;
    m.data = data;
    m.deflate = deflate;
    return m;
}

std::vector<std::string> Archives() {
    std::string eicar = EicarText();
    std::vector<std::string> out;
    out.push_back(BuildZip({}));
    out.push_back(BuildZip({Member("a.txt", "hello", false), Member("b.txt", std::string(3000, 'b'))}));
    out.push_back(BuildZip({Member("eicar.com", eicar)}));
    out.push_back(BuildZip({Member("zeros.bin", std::string(65537, '\0'))}));
    std::string inner = BuildZip({Member("clean.txt", "c"), Member("eicar.com", eicar)});
    out.push_back(BuildZip({Member("x.txt", "x"), Member("inner.zip", inner, false)}));
    out.push_back(BuildZip({Member("inner.zip", inner)}));
    ZipMember encrypted = Member("secret.txt", "secret");
    encrypted.flags = 1;
    ZipMember badCrc = Member("crc.txt", "abcdef");
    badCrc.badCrc = true;
    ZipMember method = Member("method.txt", "m", false);
    method.method = 99;
    out.push_back(BuildZip({encrypted, badCrc, method, Member("ok.txt", "fine")}));
    ZipLayout split;
    split.disk = 1;
    split.directoryDisk = 1;
    ZipMember here = Member("here.txt", "here");
    here.disk = 1;
    out.push_back(BuildZip({Member("early.txt", "e"), here}, split));
    ZipLayout marker;
    marker.spanMarker = true;
    out.push_back(BuildZip({Member("a.txt", "a")}, marker));
    out.push_back("stub in front " + BuildZip({Member("t.txt", "fuzz body START <<ab>> END")}));
    out.push_back("MZ not an archive, fuzzAbody START END <<abc>> TAND");
    out.push_back("GIF89a" + BuildZip({Member("t.txt", "fuzz body")}));

    TarMember plain;
    plain.name = "dir/t.txt";
    plain.data = "fuzz START END";
    TarMember gnu = plain;
    gnu.name = std::string(120, 'g');
    gnu.longName = TarMember::LongName::Gnu;
    TarMember pax = plain;
    pax.name = std::string(130, 'p');
    pax.longName = TarMember::LongName::Pax;
    TarMember sparse = plain;
    sparse.type = 'S';
    TarMember eicarMember = plain;
    eicarMember.data = eicar;
    std::string tar = BuildTar({plain, gnu, pax, sparse, eicarMember});
    out.push_back(tar);
    out.push_back(BuildGzip(tar));
    GzipLayout fields;
    fields.name = "n";
    fields.comment = "c";
    fields.extra = "XY";
    fields.headerCrc = true;
    fields.members = 2;
    out.push_back(BuildGzip("fuzz body <<ab>> " + eicar, fields));
    out.push_back(BuildTar({[&] {
        TarMember m = plain;
        m.name = "in.zip";
        m.data = inner;
        return m;
    }()}));

    // Framings read more than one way: tar headers with a bad checksum
    // (first, and between members), a sparse member with its map, gzip
    // reserved flags and a long name, ZIP methods that disagree, a decoy
    // directory where the end record points.
    TarMember bad = plain;
    bad.badChecksum = true;
    out.push_back(BuildTar({bad, eicarMember}));
    out.push_back(BuildTar({plain, bad, eicarMember}));
    std::string sparseTar = BuildTar({sparse});
    sparseTar.replace(257, 8, "ustar  \0", 8);
    sparseTar.replace(386, 24, std::string("00000001000") + '\0' + "00000000016" + '\0');
    sparseTar.replace(483, 12, std::string("00000002000") + '\0');
    unsigned sum = 8 * ' ';
    for (size_t i = 0; i < 512; ++i) sum += i >= 148 && i < 156 ? 0 : static_cast<unsigned char>(sparseTar[i]);
    char field[8];
    std::snprintf(field, sizeof field, "%06o", sum);
    sparseTar.replace(148, 7, field, 7);
    out.push_back(sparseTar);
    std::string reserved = BuildGzip(eicar);
    reserved[3] |= 0x20;
    out.push_back(BuildGzip("first") + reserved);
    GzipLayout longName;
    longName.name = std::string(5000, 'n');
    out.push_back(BuildGzip("fuzz body", longName));
    std::string methods = BuildZip({Member("eicar.com", eicar, false)});
    methods[methods.rfind("PK\x01\x02") + 10] = 8;
    out.push_back(methods);
    std::string decoy = "PK\x01\x02" + std::string(42, '\xff');
    std::string real = BuildZip({Member("a.txt", "a"), Member("eicar.com", eicar)});
    size_t end = real.rfind("PK\x05\x06");
    uint32_t directory = static_cast<unsigned char>(real[end + 16]) | static_cast<unsigned char>(real[end + 17]) << 8;
    std::string shifted = real.substr(0, directory) + decoy + real.substr(directory);
    uint32_t moved = directory + static_cast<uint32_t>(decoy.size());
    for (int i = 0; i < 4; ++i) shifted[end + decoy.size() + 16 + i] = static_cast<char>(moved >> (8 * i));
    out.push_back(std::string(decoy.size(), 's') + shifted);

    // The compressors mail carries besides gzip, alone and around a tar,
    // and as ZIP methods 9 (a stored-block stream, which Deflate64 reads
    // as Deflate does), 12, 14 (its header, then the raw stream) and 95.
    const std::string body = "fuzz body START <<ab>> END " + eicar;
    out.push_back(codectest::Bzip2Compress(body, 1));
    out.push_back(codectest::Bzip2Compress(tar, 9));
    out.push_back(oracle::XzEncode(body));
    oracle::XzOptions x86;
    x86.x86 = true;
    x86.check = LZMA_CHECK_SHA256;
    out.push_back(oracle::XzEncode(tar, x86));
    const std::string alone = oracle::LzmaAloneEncode(body, 1);
    out.push_back(alone);
    auto packed = [&](const char* name, uint16_t method, uint16_t flags, const std::string& bytes) {
        ZipMember m = Member(name, body, false);
        m.method = method;
        m.flags = flags;
        m.packed = bytes;
        return m;
    };
    const std::string zipLzma = std::string("\x10\x02\x05\x00", 4) + alone.substr(0, 5) + alone.substr(13);
    out.push_back(BuildZip({packed("d64.txt", 9, 0, codectest::DeflateCompress(body, 0, 0)),
                            packed("bz.txt", 12, 0, codectest::Bzip2Compress(body, 9)),
                            packed("lz.txt", 14, 2, zipLzma), packed("xz.txt", 95, 0, oracle::XzEncode(body))}));
    return out;
}

std::vector<std::string> TnefFiles() {
    std::string eicar = EicarText();
    TnefAttachment plain;
    plain.title = "a.txt";
    plain.data = "fuzz body START <<ab>> END";
    TnefAttachment named = plain;
    named.longName = "long name.com";
    named.data = eicar;
    TnefAttachment object;
    object.hasData = false;
    object.object = "object data";
    TnefMessage inner;
    inner.attachments = {plain};
    TnefAttachment embedded;
    embedded.hasData = false;
    embedded.object = BuildTnef(inner);
    embedded.objectIsEmbedded = true;
    TnefMessage message;
    message.body = "body";
    message.propsBody = "props body";
    message.attachments = {plain, named, object, embedded};
    TnefMessage bad;
    bad.attachments = {plain};
    bad.attachments[0].badChecksum = true;
    return {BuildTnef(message), BuildTnef(bad), BuildTnef(TnefMessage())};
}

std::vector<std::string> CompoundFiles() {
    MsgAttachment file;
    file.longName = "a.com";
    file.data = EicarText();
    MsgAttachment forwarded;
    forwarded.isEmbedded = true;
    forwarded.embedded = {file};
    std::vector<CfbNode> document = {{"WordDocument", false, std::string(5000, 'w')},
                                     {"ObjectPool", true, ""},
                                     {"ObjectPool/_1", true, ""},
                                     {"ObjectPool/_1/\x01Ole10Native", false, "fuzz body START END"}};
    CfbLayout large;
    large.sectorSize = 4096;
    return {BuildCompoundFile(MsgNodes({file, forwarded})), BuildCompoundFile(document),
            BuildCompoundFile(document, large)};
}

std::vector<std::string> Mails() {
    const std::string eicar = EicarText();
    const std::string head = "From: a@example.com\nTo: b@example.com\nSubject: s\nMIME-Version: 1.0\n";
    const std::string attachment =
        "Content-Type: application/octet-stream; name=\"a.com\"\n"
        "Content-Transfer-Encoding: base64\n\n" +
        Base64(eicar);
    const std::string multipart = head +
                                  "Content-Type: multipart/mixed; boundary=\"B\"; boundary=\"C \"\n\n"
                                  "--B\nContent-Type: text/plain\nContent-Transfer-Encoding: quoted-printable\n\n"
                                  "caf=C3=A9 =\nsoft\n--B \n" +
                                  attachment + "--B--\n";
    const std::string forward = head +
                                "Content-Type: multipart/mixed; boundary=F\n\n--F\nContent-Type: message/rfc822\n\n" +
                                head + attachment + "--F--\n";
    return {
        multipart,
        forward,
        "From x Mon Jan  1 00:00:00 2024\n" + head + "\nbody\n\nFrom y Mon Jan  1 00:00:00 2024\n" + head + attachment,
        head +
            "Content-Type: multipart/mixed; (c; boundary=\"K\") boundary=\"J\"\n X-F: y\n\n--J\n"
            "Content-Disposition: attachment; filename*0*=utf-8''%E2%82%AC; filename*1=\".c\"\n\nx\n--Jz\n\n",
        head + "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\n" +
            Base64("text\n" + Uuencode("u.com", eicar) + BinHex("h.com", eicar, "r")),
        "news\n" + Uuencode("u.txt", "fuzz body START <<ab>> END"),
        BinHex("h.txt", "fuzz body", std::string("\x90\x90\x90", 3)),
    };
}

std::vector<std::string> Bases() {
    return {
        "Plain:0:*:414243\n",
        "Wild:0:10:41??43*4445{2-4}4647:p\n",
        "End:0:EOF-3:414243:cms64\n",
        "Gaps:0:*:41{-5}42{3}43{2-}44\r\n",
        "0123456789abcdef0123456789ABCDEF:5:Hash.One\n# comment\n\nBad:1:*:41\n",
        "Bad.OddHex:0:*:41424\nBad.Range:0:*:41{5-2}42\nBad.Flag:0:*:4142:x\n",
    };
}

// A container in the documented layout: header, then an uncompressed tar
// holding the .info list and one hash list.
std::string Container() {
    const std::string hdb = "900150983cd24fb0d6963f7d28e17f72:3:Seed.Abc-1-0\n";
    unsigned char digest[32];
    refengine::Sha256 sha;
    sha.Update(reinterpret_cast<const unsigned char*>(hdb.data()), hdb.size());
    sha.Final(digest);
    std::string info = "ClamAV-VDB:x:1:1:90:X:X:seed:0\nseed.hdb:" + std::to_string(hdb.size()) + ":";
    char hex[3];
    for (unsigned char b : digest) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        info += hex;
    }
    info += "\n";
    auto member = [](const std::string& name, const std::string& body) {
        std::string block(512, '\0');
        block.replace(0, name.size(), name);
        std::snprintf(&block[100], 8, "%07o", 0644);
        std::snprintf(&block[124], 12, "%011o", static_cast<unsigned>(body.size()));
        block.replace(148, 8, 8, ' ');
        block[156] = '0';
        unsigned sum = 0;
        for (unsigned char c : block) sum += c;
        std::snprintf(&block[148], 8, "%06o", sum);
        return block + body + std::string((512 - body.size() % 512) % 512, '\0');
    };
    std::string header = "ClamAV-VDB:09 Dec 2026:1:1:90:X:X:seed:0";
    header.resize(512, ' ');
    return header + member("seed.info", info) + member("seed.hdb", hdb) + std::string(1024, '\0');
}

void Put(std::string& out, size_t at, uint32_t value, int bytes) {
    if (out.size() < at + bytes) out.resize(at + bytes, '\0');
    for (int k = 0; k < bytes; ++k) out[at + k] = static_cast<char>(value >> (8 * k));
}

// A PE image: headers in 0x200 bytes, sections of 0x200 bytes after them,
// the entry point in the first.
std::string PeImage(bool plus, uint16_t sections) {
    std::string out = "MZ";
    Put(out, 0x3C, 0x80, 4);
    out.resize(0x80, '\0');
    out += std::string("PE\0\0", 4);
    const size_t coff = 0x84, optional = coff + 20, optionalSize = plus ? 240 : 224;
    Put(out, coff, plus ? 0x8664 : 0x14C, 2);
    Put(out, coff + 2, sections, 2);
    Put(out, coff + 16, static_cast<uint32_t>(optionalSize), 2);
    Put(out, optional, plus ? 0x20B : 0x10B, 2);
    Put(out, optional + 16, 0x1010, 4);
    Put(out, optional + 60, 0x200, 4);
    for (uint16_t i = 0; i < sections; ++i) {
        const size_t entry = optional + optionalSize + 40u * i;
        Put(out, entry, 0x7330u + i, 4);
        Put(out, entry + 8, 0x200, 4);
        Put(out, entry + 12, 0x1000u * (i + 1), 4);
        Put(out, entry + 16, 0x200, 4);
        Put(out, entry + 20, 0x200u * (i + 1), 4);
    }
    out.resize(0x200u * (sections + 1u), 'x');
    return out;
}

bool Write(const std::string& folder, int index, const std::string& bytes) {
    char name[32];
    std::snprintf(name, sizeof name, "/seed-%03d", index);
    return WriteFileBytes(folder + name, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
        return 2;
    }
    std::string root = argv[1];
    for (const char* sub : {"", "/zip", "/base", "/match", "/tnef", "/ole2", "/mime", "/clamdb", "/pe"})
        mkdir((root + sub).c_str(), 0755);
    int n = 0;
    bool ok = true;
    for (const std::string& zip : Archives()) ok = Write(root + "/zip", n++, zip) && ok;
    for (const std::string& mail : Mails()) ok = Write(root + "/mime", n++, mail) && ok;
    for (const std::string& base : Bases()) ok = Write(root + "/base", n++, base) && ok;
    for (const std::string& tnef : TnefFiles()) ok = Write(root + "/tnef", n++, tnef) && ok;
    for (const std::string& ole2 : CompoundFiles()) ok = Write(root + "/ole2", n++, ole2) && ok;
    const std::vector<std::string> data = {"xxABCxx", "A.C..DE..FG", "0123ABC", "A...B...C....D", "abc"};
    for (size_t i = 0; i < data.size(); ++i) {
        std::string input = Bases()[i % Bases().size()];
        input += '\0';
        ok = Write(root + "/match", n++, input + data[i]) && ok;
    }
    ok = Write(root + "/match", n++,
               std::string("Zip.Member:0:*:6865726521\n") + '\0' + BuildZip({Member("m.txt", "here!")})) &&
         ok;
    // The first byte picks the kind: hdb, hsb, fp, sfp, ign2, ndb, cld, cvd.
    const std::string clamdb[] = {
        std::string(1, 0) +
            "900150983cd24fb0d6963f7d28e17f72:3:Seed.Md5-1-0\n900150983cd24fb0d6963f7d28e17f72:*:S:73\n",
        std::string(1, 1) + "a9993e364706816aba3e25717850c26c9cd0d89d:3:Seed.Sha1:1:300\n",
        std::string(1, 2) + "900150983cd24fb0d6963f7d28e17f72:3:Good\n",
        std::string(1, 4) + "Seed.Md5-1-0\nOther:0123\n",
        std::string(1, 5) + "Seed.Body:0:*:616263\nTyped:1:*:616263\nAlt:0:EOF-3:61(62|63)63:51:255\n",
        // Boundaries at a part's ends, inside it and beside gaps: the sample "abc" meets the first.
        std::string(1, 5) + "Bound:0:*:(B)616263(L)\nIn:0:*:61(B)62(L)63{2}(B)64*(L)65\nNo:0:*:61!(B)62(B)(L)\n",
        std::string(1, 6) + Container(),
    };
    for (const std::string& input : clamdb) ok = Write(root + "/clamdb", n++, input) && ok;
    // PE images: PE32 and PE32+, sound, cut short, and with the signature
    // and the entry point off; a PDF and a mail head for the probe.
    std::string unmapped = PeImage(false, 2), badSignature = PeImage(false, 2);
    Put(unmapped, 0x98 + 16, 0x9000, 4);
    badSignature[0x81] = 'X';
    for (const std::string& pe : {PeImage(false, 3), PeImage(true, 2), PeImage(false, 1).substr(0, 0x180), unmapped,
                                  badSignature, std::string("%PDF-1.4\n"), std::string("Received: from x\n")})
        ok = Write(root + "/pe", n++, pe) && ok;
    return ok ? 0 : 1;
}
