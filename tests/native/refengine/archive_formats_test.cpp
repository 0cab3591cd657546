// gzip and tar through the engine: walked member by member like ZIP,
// nested in each other, damage answered with its bit, never clean.
#include "common/eicar.h"
#include "formats/gzip/gzip_reader.h"
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
