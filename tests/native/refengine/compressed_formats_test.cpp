// bzip2, xz and .lzma files, and ZIP members in Deflate64, bzip2, LZMA and
// xz, as Debian's compressors, Python's libraries and 7-Zip write them
// (compressed_forms.py): walked to the test file, never clean when damaged
// or cut, bombs ended at the bounds, look-alikes left to be plain files.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/eicar.h"
#include "formats/compressed/compressed_reader.h"
#include "host/files.h"
#include "refengine/archive_fixture.h"

namespace {

const std::string kFound = "=1(Eicar-Test-Signature)";

uint32_t Le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The packed bytes of a compressed file as a ZIP member of that method.
ZipMember Packed(const std::string& name, const std::string& packed, uint16_t method, const std::string& data) {
    ZipMember m = Member(name, data, false);
    m.packed = packed;
    m.method = method;
    return m;
}

// A .lzma file's stream as ZIP's method 14 holds it: version, properties
// size, the five properties, then the raw stream (with its end marker).
std::string ZipLzma(const std::string& alone) {
    return std::string("\x10\x02\x05\x00", 4) + alone.substr(0, 5) + alone.substr(13);
}

}  // namespace

class CompressedTest : public ArchiveTest {
protected:
    // The forms the compressors write, once for all the tests.
    static void SetUpTestSuite() {
        forms_ = new TempDir;
#if !defined(ORLIX_SYSTEM_PYTHON3) || !defined(ORLIX_7ZIP)
        ADD_FAILURE() << "the forms need /usr/bin/python3 and 7-Zip";
#else
        WriteFileBytes(forms_->File("sample"), EicarText());
        std::string command = std::string(ORLIX_SYSTEM_PYTHON3) + " " + ORLIX_COMPRESSED_FORMS + " '" +
                              forms_->File("forms") + "' '" + forms_->File("sample") + "' '" ORLIX_7ZIP "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
#endif
    }
    static void TearDownTestSuite() {
        delete forms_;
        forms_ = nullptr;
    }
    static std::string Form(const std::string& name) { return ReadFileBytes(forms_->File("forms/" + name)); }
    // What a reader of format answers for the file under these bounds.
    static std::string Read(const refengine::ArchiveFormat& format, const std::string& name,
                            const refengine::UnpackLimits& limits) {
        std::unique_ptr<refengine::ArchiveReader> reader = format.open(ReaderHost(), SpoolOf(Form(name)), name);
        return WalkReader(*reader, limits);
    }

private:
    static TempDir* forms_;
};

TempDir* CompressedTest::forms_ = nullptr;

TEST_F(CompressedTest, EveryCompressorsFormIsWalkedToTheTestFile) {
    const std::string tarWalk = "TAR:a.txt=0;eicar.com" + kFound + ";end";
    const std::string inTar = "eicar.tar=1000[TAR:eicar.com" + kFound + ";end]";
    const std::string sevenZip = "ZIP:a.txt=0;" + inTar + ";end";
    const struct {
        const char* file;
        std::string expected;
    } cases[] = {
        {"bz1.com.bz2", "BZIP2:bz1.com" + kFound + ";end"},
        {"bz9.com.bz2", "BZIP2:bz9.com" + kFound + ";end"},
        {"py.com.bz2", "BZIP2:py.com" + kFound + ";end"},
        {"pycat.com.bz2", "BZIP2:pycat.com" + kFound + ";end"},
        {"tool.tar.bz2", "BZIP2:tool.tar=1000[" + tarWalk + "];end"},
        {"tool.tbz2", "BZIP2:tool.tar=1000[" + tarWalk + "];end"},
        {"xz0.com.xz", "XZ:xz0.com" + kFound + ";end"},
        {"xz9e.com.xz", "XZ:xz9e.com" + kFound + ";end"},
        {"sha.com.xz", "XZ:sha.com" + kFound + ";end"},
        {"none.com.xz", "XZ:none.com" + kFound + ";end"},
        {"x86.com.xz", "XZ:x86.com" + kFound + ";end"},
        {"delta.com.xz", "XZ:delta.com" + kFound + ";end"},
        {"py.com.xz", "XZ:py.com" + kFound + ";end"},
        {"calls.bin.xz", "XZ:calls.bin=0;end"},
        {"tool.tar.xz", "XZ:tool.tar=1000[" + tarWalk + "];end"},
        {"tool.txz", "XZ:tool.tar=1000[" + tarWalk + "];end"},
        {"alone.com.lzma", "LZMA:alone.com" + kFound + ";end"},
        {"alone9.com.lzma", "LZMA:alone9.com" + kFound + ";end"},
        {"py.com.lzma", "LZMA:py.com" + kFound + ";end"},
        {"tool.tlz", "LZMA:tool.tar=1000[" + tarWalk + "];end"},
        {"py.zip",
         "ZIP:a.txt=0;eicar.com" + kFound + ";lzma.com" + kFound + ";lzma.txt=0;empty.bz2.txt=0;empty.lzma.txt=0;end"},
        // An empty bzip2 stream is told by its end-of-stream magic.
        {"empty.bz2", "BZIP2:empty=0;end"},
        {"empty.xz", "XZ:empty=0;end"},
        {"empty.lzma", "LZMA:empty=0;end"},
        {"deflate64.zip", sevenZip},
        {"bzip2.zip", sevenZip},
        {"lzma.zip", sevenZip},
        {"lzma-noeos.zip", sevenZip},
        {"xz.zip", sevenZip},
    };
    for (const auto& c : cases) EXPECT_EQ(WalkFile(c.file, Form(c.file)), c.expected) << c.file;
    // Nested in a ZIP and holding one.
    EXPECT_EQ(WalkFile("in.zip", BuildZip({Member("tool.tar.xz", Form("tool.tar.xz"), false)})),
              "ZIP:tool.tar.xz=1000[XZ:tool.tar=1000[" + tarWalk + "];end];end");
}

TEST_F(CompressedTest, DamagedAndCutStreamsAreNeverClean) {
    const std::string bz = Form("clean.txt.bz2"), xz = Form("clean.txt.xz"), lz = Form("clean.txt.lzma");
    std::string bzCrc = bz, bzLevel = bz, xzCheck = xz, xzFlags = xz;
    bzCrc[10] ^= 1;    // the first block's CRC
    bzLevel[3] = '0';  // no block size
    // The CRC64 of the one block lies in front of the index, which the
    // footer's backward size measures.
    size_t index = xz.size() - 12 - (Le32(xz, xz.size() - 8) + 1) * 4;
    xzCheck[index - 8] ^= 1;
    xzFlags[7] ^= 1;  // the stream flags, which their CRC32 covers
    const struct {
        const char* file;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"crc.txt.bz2", bzCrc, "BZIP2:crc.txt=2000;end"},
        {"level.txt.bz2", bzLevel, "BZIP2:header=4000"},
        {"cut.txt.bz2", bz.substr(0, bz.size() / 2), "BZIP2:cut.txt=80;end"},
        {"end.txt.bz2", bz.substr(0, bz.size() - 1), "BZIP2:end.txt=80;end"},
        {"check.txt.xz", xzCheck, "XZ:check.txt=2000;end"},
        {"flags.txt.xz", xzFlags, "XZ:header=4000"},
        {"cut.txt.xz", xz.substr(0, xz.size() / 2), "XZ:cut.txt=80;end"},
        {"footer.txt.xz", xz.substr(0, xz.size() - 4), "XZ:footer.txt=80;end"},
        {"arm.txt.xz", Form("arm.txt.xz"), "XZ:arm.txt=80;end"},
        {"cut.txt.lzma", lz.substr(0, lz.size() / 2), "LZMA:cut.txt=80;end"},
        {"end.txt.lzma", lz.substr(0, lz.size() - 2), "LZMA:end.txt=80;end"},
    };
    for (const auto& c : cases) EXPECT_EQ(WalkFile(c.file, c.bytes), c.expected) << c.file;
    // Bytes changed anywhere in the data: damage or a checksum, never clean.
    for (const std::string* form : {&bz, &xz, &lz}) {
        const std::string file = form == &bz ? "flip.txt.bz2" : form == &xz ? "flip.txt.xz" : "flip.txt.lzma";
        for (size_t at = 20; at + 20 < form->size(); at += form->size() / 7) {
            std::string flipped = *form;
            flipped[at] ^= 0x10;
            std::string walk = WalkFile(file, flipped);
            EXPECT_EQ(walk.find("flip.txt=0;"), std::string::npos) << file << " at " << at << ": " << walk;
        }
    }
}

TEST_F(CompressedTest, ZipMembersInEachMethodAreReadWhicheverHeaderNamesIt) {
    const std::string eicar = EicarText();
    const std::string bz = Form("py.com.bz2"), xz = Form("py.com.xz"), lz = ZipLzma(Form("py.com.lzma"));
    ZipMember lzma = Packed("lzma.com", lz, 14, eicar);
    lzma.flags = 2;  // the end marker
    EXPECT_EQ(WalkZip(BuildZip({Packed("bz.com", bz, 12, eicar), Packed("xz.com", xz, 95, eicar), lzma})),
              "ZIP:bz.com" + kFound + ";xz.com" + kFound + ";lzma.com" + kFound + ";end");
    // Damage in a member is its own answer; the others are still checked.
    ZipMember wrongCrc = Packed("crc.com", bz, 12, eicar);
    wrongCrc.crc = 0x12345678;
    ZipMember shortSize = lzma;  // the directory's size ends the member before the stream
    shortSize.name = "size.com";
    shortSize.declaredSize = 10;
    ZipMember badProperties = lzma;
    badProperties.name = "props.com";
    badProperties.packed[2] = 4;
    EXPECT_EQ(WalkZip(BuildZip({Packed("cut.com", bz.substr(0, bz.size() / 2), 12, eicar),
                                Packed("cut.xz", xz.substr(0, xz.size() / 2), 95, eicar), wrongCrc, shortSize,
                                badProperties, Packed("ok.com", xz, 95, eicar)})),
              "ZIP:cut.com=80;cut.xz=80;crc.com" + kFound + ";size.com=80;props.com=80;ok.com" + kFound + ";end");
    // A member whose local header and directory name other methods is read
    // by each: the bzip2 reading finds what the stored one does not.
    for (size_t header : {size_t{8}, size_t{10}}) {
        std::string zip = BuildZip({Packed("eicar.com", bz, 12, eicar)});
        zip[header == 8 ? 8 : zip.rfind("PK\x01\x02") + 10] = 0;
        EXPECT_EQ(WalkZip(zip), "ZIP:eicar.com" + kFound + ";end")
            << "stored in the " << (header == 8 ? "local" : "central") << " header";
    }
}

TEST_F(CompressedTest, BombsAndLargeDictionariesEndAtTheBounds) {
    using refengine::UnpackLimits;
    const struct {
        const refengine::ArchiveFormat& format;
        const char* file;
        const char* member;
    } bombs[] = {{refengine::kBzip2Format, "bomb.bz2", "bomb"},
                 {refengine::kXzFormat, "bomb.xz", "bomb"},
                 {refengine::kLzmaFormat, "bomb.lzma", "bomb"}};
    for (const auto& b : bombs) {
        ASSERT_LT(Form(b.file).size(), 4096u) << b.file;
        for (const UnpackLimits& limits :
             {UnpackLimits{1u << 20, 64u << 20, 60000}, UnpackLimits{64u << 20, 1u << 20, 60000},
              UnpackLimits{64u << 20, 64u << 20, 0}}) {
            EXPECT_EQ(Read(b.format, b.file, limits), std::string(b.member) + "=80;") << b.file;
        }
        EXPECT_EQ(Read(b.format, b.file, refengine::kUnpackLimits), std::string(b.member) + "=0;") << b.file;
    }
    // xz -9 asks for a 64 MiB dictionary: past a smaller decoder limit the
    // member is not unpacked.
    UnpackLimits small = refengine::kUnpackLimits;
    small.decoderMemory = 16u << 20;
    EXPECT_EQ(Read(refengine::kXzFormat, "big.txt.xz", small), "big.txt=80;");
    EXPECT_EQ(Read(refengine::kLzmaFormat, "big.txt.lzma", small), "big.txt=80;");
    EXPECT_EQ(Read(refengine::kXzFormat, "big.txt.xz", refengine::kUnpackLimits), "big.txt=0;");
    EXPECT_EQ(Read(refengine::kLzmaFormat, "big.txt.lzma", refengine::kUnpackLimits), "big.txt=0;");
}

TEST_F(CompressedTest, FilesThatOnlyStartLikeACompressedStreamAreCheckedAsThemselves) {
    EXPECT_EQ(Scan("BZh9 is how a bzip2 file starts, and this one does not go on like one."), 0);
    EXPECT_EQ(Scan(std::string("BZh91AY&SZ", 10) + Filler(300)), 0);
    // .lzma headers as encoders write them, in front of bytes no LZMA
    // encoder wrote: the trial decode of the head tells them apart.
    const std::string headers[] = {std::string("\x5D\x00\x00\x80\x00\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x00", 14),
                                   std::string("\x5D\x00\x00\x00\x04\x20\x00\x00\x00\x00\x00\x00\x00\x00", 14)};
    uint32_t seed = 7;
    for (const std::string& header : headers) {
        for (int i = 0; i < 20; ++i) {
            std::string bytes = header;
            for (int j = 0; j < 600; ++j) {
                seed = seed * 1103515245u + 12345u;
                bytes += static_cast<char>(seed >> 16);
            }
            EXPECT_EQ(Scan(bytes), 0) << i;
        }
        EXPECT_EQ(Scan(header + Filler(600)), 0);
    }
    // The same header in front of a real stream is one.
    const std::string real = Form("clean.txt.lzma");
    EXPECT_EQ(Scan(real), orlix::ResultArchive);
}
