// gzip and tar through the engine: walked member by member like ZIP,
// nested in each other, damage answered with its bit, never clean.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "common/eicar.h"
#include "formats/gzip/gzip_reader.h"
#include "digest/md5.h"
#include "refengine/archive_fixture.h"

namespace {

const std::string kFound = "=1(Eicar-Test-Signature)";

TarMember Entry(const std::string& name, const std::string& data, char type = '0',
                TarMember::LongName longName = TarMember::LongName::Ustar) {
    TarMember m;
    m.name = name;
    m.data = data;
    m.type = type;
    m.longName = longName;
    return m;
}

struct FileCase {
    const char* file;
    std::string bytes;
    std::string expected;
};

}  // namespace

TEST_F(ArchiveTest, GzipAndTarAreWalkedLikeZip) {
    const std::string eicar = EicarText();
    const std::string tar = BuildTar({Entry("clean.txt", "c"), Entry("dir/eicar.com", eicar)});
    const std::string tarWalk = "TAR:clean.txt=0;dir/eicar.com" + kFound + ";end";
    GzipLayout named;
    named.name = "stored-name.com";
    GzipLayout everyField;
    everyField.name = "e.com";
    everyField.comment = "a comment";
    everyField.extra = std::string("AB\x02\0xy", 6);
    everyField.headerCrc = true;
    everyField.members = 3;  // the test file split over three gzip members
    const std::string gnuName = std::string(150, 'g') + ".txt";
    const std::string paxName = std::string(130, 'p') + "/" + std::string(110, 'q');
    const std::string ustarName = std::string(120, 'u') + "/eicar.com";
    std::string sparse = "sparse";
    const FileCase cases[] = {
        {"a.gz", BuildGzip(eicar, named), "GZIP:stored-name.com" + kFound + ";end"},
        {"eicar.com.gz", BuildGzip(eicar), "GZIP:eicar.com" + kFound + ";end"},
        {"fields.gz", BuildGzip(eicar, everyField), "GZIP:e.com" + kFound + ";end"},
        {"a.tar", tar, tarWalk},
        {"a.tgz", BuildGzip(tar), "GZIP:a.tar=1000[" + tarWalk + "];end"},
        {"a.tar.gz", BuildGzip(tar), "GZIP:a.tar=1000[" + tarWalk + "];end"},
        {"names.tar",
         BuildTar({Entry("dir/", "", '5'), Entry("link", "", '2'), Entry(gnuName, "g", '0', TarMember::LongName::Gnu),
                   Entry(paxName, "p", '0', TarMember::LongName::Pax), Entry(ustarName, "u"),
                   Entry("holes.bin", eicar, 'S')}),
         "TAR:" + gnuName + "=0;" + paxName + "=0;" + ustarName + "=0;holes.bin" + kFound + ";end"},
        {"in.zip", BuildZip({Member("x.tar.gz", BuildGzip(tar))}),
         "ZIP:x.tar.gz=1000[GZIP:x.tar=1000[" + tarWalk + "];end];end"},
        // The last member's ZIP also ends the tar, as a ZIP reader sees it:
        // walked as the tar's member, then as the ZIP behind the tar.
        {"zip.tar", BuildTar({Entry("readme.txt", "r"), Entry("inner.zip", BuildZip({Member("eicar.com", eicar)}))}),
         "TAR:readme.txt=0;inner.zip=1000[ZIP:eicar.com" + kFound + ";end];eicar.com" + kFound + ";end"},
    };
    for (const FileCase& c : cases) EXPECT_EQ(WalkFile(c.file, c.bytes), c.expected) << c.file;
}

TEST_F(ArchiveTest, DamagedGzipAndTarAreNeverClean) {
    GzipLayout badCrc;
    badCrc.badCrc = true;
    std::string cutGzip = BuildGzip(Filler(50000));
    cutGzip.resize(cutGzip.size() / 2);
    std::string cutTrailer = BuildGzip(Filler(5000));
    cutTrailer.resize(cutTrailer.size() - 3);
    TarMember badSum = Entry("b.txt", "b");
    badSum.badChecksum = true;
    TarMember overstated = Entry("big.bin", "data");
    overstated.declaredSize = 100000;
    std::string cutHeader = BuildTar({Entry("a.txt", "a"), Entry("b.txt", "b")});
    cutHeader.resize(1024 + 300);
    GzipLayout headerCrc;
    headerCrc.name = "n";
    headerCrc.headerCrc = true;
    std::string badHeaderCrc = BuildGzip("text", headerCrc);
    badHeaderCrc[12] ^= 1;  // behind the fixed header and the name
    const FileCase cases[] = {
        {"crc.gz", BuildGzip(Filler(5000), badCrc), "GZIP:crc=2000;end"},
        {"hcrc.gz", badHeaderCrc, "GZIP:n=2000;end"},
        {"cut.gz", cutGzip, "GZIP:cut=80;end"},
        {"trailer.gz", cutTrailer, "GZIP:trailer=80;end"},
        {"sum.tar", BuildTar({Entry("a.txt", "a"), badSum}), "TAR:a.txt=0;header=4000"},
        {"short.tar", BuildTar({overstated}), "TAR:big.bin=80;header=80"},
        {"cut.tar", cutHeader, "TAR:a.txt=0;header=80"},
    };
    for (const FileCase& c : cases) EXPECT_EQ(WalkFile(c.file, c.bytes), c.expected) << c.file;
}

TEST_F(ArchiveTest, AGzipBombEndsAtTheBoundsOfTheCheck) {
    // 16 MiB of zeros in about 16 KiB: each bound ends it, not the ratio.
    const std::string bomb = BuildGzip(std::string(16u << 20, '\0'));
    ASSERT_LT(bomb.size(), 64u << 10);
    for (const refengine::UnpackLimits& limits :
         {refengine::UnpackLimits{1u << 20, 64u << 20, 60000}, refengine::UnpackLimits{64u << 20, 1u << 20, 60000},
          refengine::UnpackLimits{64u << 20, 64u << 20, 0}}) {
        refengine::GzipReader reader(ReaderHost(), SpoolOf(bomb), "bomb.gz");
        EXPECT_EQ(WalkReader(reader, limits), "bomb=80;") << limits.memberBytes << " " << limits.checkBytes;
    }
    refengine::GzipReader reader(ReaderHost(), SpoolOf(bomb), "bomb.gz");
    EXPECT_EQ(WalkReader(reader, refengine::kUnpackLimits), "bomb=0;");
    EXPECT_LT(nativehost::counters().peakAllocated, 2 << 20);
}

// A gzip header read as Python's gzip reads it: reserved flag bits set,
// also in a second member, and a stored name of megabytes that costs a few
// reads, not one a byte.
TEST_F(ArchiveTest, GzipHeadersAreReadLikePythonsGzip) {
    const std::string eicar = EicarText();
    std::string reserved = BuildGzip(eicar);
    reserved[3] |= 0xE0;
    std::string second = BuildGzip(eicar.substr(30));
    second[3] |= 0x20;
    EXPECT_EQ(WalkFile("reserved.com.gz", reserved), "GZIP:reserved.com" + kFound + ";end");
    EXPECT_EQ(WalkFile("second.com.gz", BuildGzip(eicar.substr(0, 30)) + second), "GZIP:second.com" + kFound + ";end");

    GzipLayout longName;
    longName.name = std::string(16u << 20, 'n');
    std::string named = BuildGzip(eicar, longName);
    nativehost::ResetCounters();
    EXPECT_EQ(WalkFile("long.gz", named), "GZIP:" + std::string(orlix::kMemberNameMaxChars - 1, 'n') + kFound + ";end");
    // Three passes over the header (the name, the length, the check) in
    // reads of up to 64 KiB, and the scan of the object itself.
    RecordProperty("readCallbacks", std::to_string(nativehost::counters().reads));
    EXPECT_LT(nativehost::counters().reads, 3 * (16 << 4) + 3 * 16 + 600) << "read callbacks";
}

namespace {

std::string HexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += std::string{digits[c >> 4], digits[c & 15]};
    return out;
}

std::string Octal(uint64_t value, int width) {
    char field[24];
    std::snprintf(field, sizeof field, "%0*llo", width, static_cast<unsigned long long>(value));
    return field;
}

// A header block's checksum made right again after its fields changed.
void Resum(std::string& tar, size_t header) {
    tar.replace(header + 148, 8, "        ");
    unsigned sum = 0;
    for (size_t i = header; i < header + 512; ++i) sum += static_cast<unsigned char>(tar[i]);
    tar.replace(header + 148, 7, Octal(sum, 6) + '\0');
}

// A sparse file: its bytes at their offsets, holes between them.
struct SparseFile {
    std::string name;
    std::vector<std::pair<uint64_t, std::string>> pieces;
    uint64_t size;
    std::string Expanded() const {
        std::string out(static_cast<size_t>(size), '\0');
        for (const auto& p : pieces) out.replace(static_cast<size_t>(p.first), p.second.size(), p.second);
        return out;
    }
};

// The old GNU form: type 'S', four regions in the header, the rest in
// extension blocks of 21.
std::string OldGnuSparse(const SparseFile& file) {
    std::string stored;
    for (const auto& p : file.pieces) stored += p.second;
    TarMember m;
    m.name = file.name;
    m.data = stored;
    m.type = 'S';
    std::string tar = BuildTar({m});
    tar.resize(tar.size() - 1024);  // without the end blocks
    tar.replace(257, 8, "ustar  \0", 8);
    std::string extensions;
    for (size_t i = 0; i < file.pieces.size(); ++i) {
        std::string entry = Octal(file.pieces[i].first, 11) + '\0' + Octal(file.pieces[i].second.size(), 11) + '\0';
        if (i < 4) {
            tar.replace(386 + 24 * i, 24, entry);
        } else {
            if ((i - 4) % 21 == 0) {
                if (!extensions.empty()) extensions[extensions.size() - 512 + 504] = 1;
                extensions += std::string(512, '\0');
            }
            extensions.replace(extensions.size() - 512 + 24 * ((i - 4) % 21), 24, entry);
        }
    }
    tar[482] = extensions.empty() ? 0 : 1;
    tar.replace(483, 12, Octal(file.size, 11) + '\0');
    Resum(tar, 0);
    return tar.substr(0, 512) + extensions + tar.substr(512) + std::string(1024, '\0');
}

}  // namespace

// GNU tar skips a header whose checksum is wrong to the next valid one and
// extracts what follows: so is it walked, the damage reported after it.
TEST_F(ArchiveTest, TarHeadersWithABadChecksumAreSkippedToTheNextHeader) {
    const std::string eicar = EicarText();
    TarMember bad = Entry("bad.txt", Filler(2000));
    bad.badChecksum = true;
    std::string badFirst = BuildTar({bad, Entry("eicar.com", eicar)});
    std::string noMagic = badFirst;
    noMagic.replace(257, 8, std::string(8, '\0'));  // a v7 header
    const FileCase cases[] = {
        {"first.tar", badFirst, "TAR:eicar.com" + kFound + ";header=4000"},
        {"v7.tar", noMagic, "TAR:eicar.com" + kFound + ";header=4000"},
        {"middle.tar", BuildTar({Entry("a.txt", "a"), bad, Entry("eicar.com", eicar)}),
         "TAR:a.txt=0;eicar.com" + kFound + ";header=4000"},
        // A zero block ends the search, as it ends GNU tar's.
        {"end.tar", BuildTar({Entry("a.txt", "a"), bad}), "TAR:a.txt=0;header=4000"},
    };
    for (const FileCase& c : cases) EXPECT_EQ(WalkFile(c.file, c.bytes), c.expected) << c.file;
    // Files that only resemble a damaged header are no tar.
    std::string digits(2048, '0'), spaces(2048, ' ');
    for (const std::string& bytes : {digits, spaces, Filler(4096), badFirst.substr(512, 2000)})
        EXPECT_EQ(Scan(bytes), 0) << bytes.substr(0, 20);
}

// Extractors write a sparse member with its holes as zeros: records of the
// whole file (anchored at an offset, spanning a hole, its hash) find it,
// whether GNU tar wrote it old GNU or pax style, or the test did.
TEST_F(ArchiveTest, SparseTarMembersAreCheckedWithTheirHoles) {
    const SparseFile files[] = {
        {"o", {{65536, "OFFSET-MARK"}}, 65536 + 11},
        {"s", {{0, "SPAN-START"}, {8192, "SPAN-END"}}, 8192 + 8},
        {"h", {{0, "HASHED"}, {20000, "X"}}, 20001},
    };
    refengine::Md5 md5;
    std::string hashed = files[2].Expanded();
    md5.Update(reinterpret_cast<const unsigned char*>(hashed.data()), hashed.size());
    unsigned char digest[16];
    md5.Final(digest);
    ASSERT_EQ(LoadBase("Sparse.Offset:0:65536:" + HexOf("OFFSET-MARK") + "\nSparse.Span:0:*:" + HexOf("SPAN-START") +
                           "{8182}" + HexOf("SPAN-END") + "\n" +
                           HexOf(std::string(reinterpret_cast<const char*>(digest), 16)) + ":20001:Sparse.Hash\n",
                       "sparse.vdb"),
              3);
    const std::string found = "TAR:o=1(Sparse.Offset);s=1(Sparse.Span);h=1(Sparse.Hash);end";
#ifdef ORLIX_GNU_TAR
    for (const SparseFile& f : files) {
        int fd = open(dir_.File(f.name).c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
        ASSERT_NE(fd, -1);
        for (const auto& p : f.pieces)
            ASSERT_EQ(pwrite(fd, p.second.data(), p.second.size(), static_cast<off_t>(p.first)),
                      static_cast<ssize_t>(p.second.size()));
        ASSERT_EQ(ftruncate(fd, static_cast<off_t>(f.size)), 0);
        close(fd);
    }
    for (const char* options :
         {"--format=gnu", "--format=pax", "--format=pax --sparse-version=0.0", "--format=pax --sparse-version=0.1"}) {
        std::string tar = dir_.File("gnu-tar.tar");
        std::string command =
            std::string(ORLIX_GNU_TAR) + " --sparse " + options + " -C '" + dir_.path() + "' -cf '" + tar + "' o s h";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(WalkFile("gnu-tar.tar", ReadFileBytes(tar)), found) << options;
    }
#endif
    std::string own;
    for (const SparseFile& f : files) {
        std::string one = OldGnuSparse(f);
        own += one.substr(0, one.size() - 1024);
    }
    EXPECT_EQ(WalkFile("own.tar", own + std::string(1024, '\0')), found);

    // Maps in extension blocks; a map that does not fit, or a file past the
    // member bound, is checked as stored and not clean.
    SparseFile many{"many", {}, 65536 + 11};
    for (int i = 0; i < 30; ++i) many.pieces.push_back({uint64_t(i) * 1024, "piece" + std::to_string(i)});
    many.pieces.push_back({65536, "OFFSET-MARK"});
    SparseFile overlapping{"overlap", {{0, "abcdef"}, {3, "ghi"}}, 100};
    SparseFile huge{"huge", {{0, "abc"}}, 200ull << 20};
    EXPECT_EQ(WalkFile("many.tar", OldGnuSparse(many)), "TAR:many=1(Sparse.Offset);end");
    EXPECT_EQ(WalkFile("overlap.tar", OldGnuSparse(overlapping)), "TAR:overlap=4000;end");
    EXPECT_EQ(WalkFile("huge.tar", OldGnuSparse(huge)), "TAR:huge=80;end");
}
