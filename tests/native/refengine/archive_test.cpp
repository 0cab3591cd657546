// ZIP archives through the reference engine: walking, every failure bit,
// nesting, decompression limits and spooling to temporary files.
#include <cstring>

#include "common/eicar.h"
#include "formats/zip/zip_reader.h"
#include "refengine/archive_fixture.h"

TEST_F(ArchiveTest, WalksStoredAndDeflatedMembersAndFindsTheInfectedOne) {
    std::string zip = BuildZip({Member("a.txt", "hello", false), Member("b.txt", Filler(100000)),
                                Member("dir/c.com", EicarText()), Member("d.txt", "")});
    EXPECT_EQ(WalkZip(zip), "ZIP:a.txt=0;b.txt=0;dir/c.com=1(Eicar-Test-Signature);d.txt=0;end");
    EXPECT_EQ(WalkZip(BuildZip({})), "ZIP:end");
}

TEST_F(ArchiveTest, ReportsEachMemberConditionWithItsBit) {
    ZipMember encrypted = Member("secret.txt", EicarText());
    encrypted.flags = 1;
    ZipMember badCrc = Member("crc.txt", Filler(5000));
    badCrc.badCrc = true;
    ZipMember badLocal = Member("local.txt", "x");
    badLocal.badLocalHeader = true;
    ZipMember method = Member("method.txt", "x", false);
    method.method = 99;
    ZipMember garbage = Member("garbage.txt", Filler(100));
    garbage.packed = std::string(40, '\xff');
    ZipMember shortData = Member("short.txt", Filler(3000), false);
    shortData.declaredSize = 4000;
    std::string zip = BuildZip({encrypted, badCrc, badLocal, method, garbage, shortData, Member("ok.txt", "fine")});
    EXPECT_EQ(WalkZip(zip),
              "ZIP:secret.txt=100;crc.txt=2000;local.txt=4000;method.txt=80;garbage.txt=80;short.txt=80;ok.txt=0;end");
}

TEST_F(ArchiveTest, DamagedDirectoriesAreInvalidHeaders) {
    ZipLayout badCentral;
    badCentral.badCentralHeader = true;
    EXPECT_EQ(WalkZip(BuildZip({Member("a.txt", "a")}, badCentral)), "ZIP:header=4000");
    ZipLayout noEnd;
    noEnd.omitEndRecord = true;
    EXPECT_EQ(WalkZip(BuildZip({Member("a.txt", "a")}, noEnd)), "ZIP:header=4000");
    std::string truncated = BuildZip({Member("a.txt", Filler(2000)), Member("b.txt", "b")});
    truncated.resize(truncated.size() - 30);
    EXPECT_EQ(WalkZip(truncated), "ZIP:header=4000");
}

TEST_F(ArchiveTest, OnlyWhatLiesOnAnotherVolumeIsReportedSplit) {
    ZipLayout directoryElsewhere;
    directoryElsewhere.disk = 1;
    directoryElsewhere.directoryDisk = 0;
    directoryElsewhere.badCentralHeader = true;
    EXPECT_EQ(WalkZip(BuildZip({Member("a.txt", "a")}, directoryElsewhere)), "ZIP:header=20000");
    ZipLayout firstVolume;
    firstVolume.spanMarker = true;
    firstVolume.omitEndRecord = true;
    EXPECT_EQ(WalkZip(BuildZip({Member("a.txt", "a")}, firstVolume)), "ZIP:header=20000");
    // The last volume: a member of an earlier one is not here and is
    // skipped; one whose local header is here is checked, whatever its disk.
    ZipLayout lastVolume;
    lastVolume.disk = 1;
    lastVolume.directoryDisk = 1;
    ZipMember earlier = Member("early.txt", "e");
    earlier.badLocalHeader = true;
    ZipMember here = Member("here.com", EicarText());
    EXPECT_EQ(WalkZip(BuildZip({earlier, here}, lastVolume)),
              "ZIP:early.txt=20000;here.com=1(Eicar-Test-Signature);end");
}

TEST_F(ArchiveTest, CompressibleMembersAreCheckedWholeWithinBoundedMemory) {
    // Zeros that fill the inflate window exactly leave output pending after
    // the last input byte; 8 MiB of zeros or text expand thousands of times.
    std::string text;
    while (text.size() < (8u << 20)) text += "Dear customer, your order has shipped. ";
    std::string zip = BuildZip(
        {Member("64k.bin", std::string(65537, '\0')), Member("128k.bin", std::string(131073, '\0')),
         Member("zeros.bin", std::string(8u << 20, '\0')), Member("text.txt", text), Member("eicar.com", EicarText())});
    text.clear();
    text.shrink_to_fit();
    EXPECT_EQ(WalkZip(zip), "ZIP:64k.bin=0;128k.bin=0;zeros.bin=0;text.txt=0;eicar.com=1(Eicar-Test-Signature);end");
    EXPECT_LT(nativehost::counters().peakAllocated, 2 << 20);
    EXPECT_EQ(nativehost::counters().tempFilesCreated, 0);

    // A member that unpacks past the size its header declares stops there.
    ZipMember liar = Member("liar.bin", Filler(200000));
    liar.declaredSize = 1000;
    EXPECT_EQ(WalkZip(BuildZip({liar})), "ZIP:liar.bin=80;end");
}

TEST_F(ArchiveTest, UnpackingIsBoundedPerMemberPerCheckAndInTimeAndOverBoundIsNotClean) {
    ZipMember huge = Member("huge.bin", "x");
    huge.declaredSize = static_cast<int64_t>(refengine::kUnpackLimits.memberBytes) + 1;
    EXPECT_EQ(WalkZip(BuildZip({huge, Member("after.txt", "still walked")})), "ZIP:huge.bin=80;after.txt=0;end");

    std::string zip = BuildZip({Member("a", std::string(600000, '\0')), Member("b", std::string(600000, '\0')),
                                Member("c", std::string(3000000, '\0')), Member("d", "")});
    auto walk = [&](const refengine::UnpackLimits& limits) {
        refengine::ZipReader reader(ReaderHost(), SpoolOf(zip));
        return WalkReader(reader, limits);
    };
    EXPECT_EQ(walk({1u << 20, 8u << 20, 60000}), "a=0;b=0;c=80;d=0;");
    EXPECT_EQ(walk({4u << 20, 1u << 20, 60000}), "a=0;b=80;c=80;d=0;");
    EXPECT_EQ(walk({4u << 20, 8u << 20, 0}), "a=80;b=80;c=80;d=0;");
}

TEST_F(ArchiveTest, EntriesSharingTheirDataAreDamageAtOnce) {
    std::vector<ZipMember> members = {Member("big.bin", std::string(1u << 20, 'z'))};
    std::string expected = "ZIP:big.bin=0;";
    for (int i = 0; i < 20; ++i) {
        ZipMember alias;
        alias.name = "copy" + std::to_string(i);
        alias.aliasOf = 0;
        members.push_back(alias);
        expected += alias.name + "=4000;";
    }
    EXPECT_EQ(WalkZip(BuildZip(members)), expected + "end");

    // An entry whose header lies inside another member's data.
    std::string inner = BuildZip({Member("eicar.com", EicarText(), false)});
    ZipMember inside;
    inside.name = "eicar.com";
    inside.data = EicarText();
    inside.aliasOf = 0;
    inside.aliasShift = 30 + 9;
    EXPECT_EQ(WalkZip(BuildZip({Member("a.zip.txt", inner, false), inside})),
              "ZIP:a.zip.txt=1000[ZIP:eicar.com=1(Eicar-Test-Signature);end];eicar.com=4000;end");
}

TEST_F(ArchiveTest, NestedArchivesAreOpenedLevelByLevel) {
    std::string inner = BuildZip({Member("clean.txt", "c"), Member("eicar.com", EicarText())});
    std::string expected = "ZIP:clean.txt=0;eicar.com=1(Eicar-Test-Signature);end";
    for (int level = 5; level >= 1; --level) {
        std::string name = "level" + std::to_string(level) + ".zip";
        inner = BuildZip({Member("x.txt", "x"), Member(name, inner, level % 2 == 0)});
        expected = "ZIP:x.txt=0;" + name + "=1000[" + expected + "];end";
    }
    EXPECT_EQ(WalkZip(inner), expected);
    EXPECT_EQ(nativehost::counters().allocated, 0);
}

TEST_F(ArchiveTest, LargeNestedArchivesGoThroughATemporaryFile) {
    std::string inner = BuildZip({Member("big.txt", Filler(400000), false), Member("eicar.com", EicarText())});
    std::string outer = BuildZip({Member("inner.zip", inner)});
    EXPECT_EQ(WalkZip(outer), "ZIP:inner.zip=1000[ZIP:big.txt=0;eicar.com=1(Eicar-Test-Signature);end];end");
    EXPECT_EQ(nativehost::counters().tempFilesCreated, 1);
    EXPECT_EQ(nativehost::counters().tempFilesDeleted, 1);
    EXPECT_EQ(CountFiles(dir_.path(), "orx"), 0);
    EXPECT_LT(nativehost::counters().peakAllocated, 1 << 20);
}

TEST_F(ArchiveTest, RefusesNestingBeyondItsOwnLimit) {
    std::string inner = BuildZip({Member("bottom.txt", "b", false)});
    for (int level = 0; level < 100; ++level) inner = BuildZip({Member("n.zip", inner, false)});
    std::string walk = WalkZip(inner);
    EXPECT_NE(walk.find("open=FFFFFFFF"), std::string::npos);
    EXPECT_EQ(walk.find("bottom.txt"), std::string::npos);
}

TEST_F(ArchiveTest, AFailedOpenClosesOnlyItsOwnLevel) {
    EXPECT_EQ(Scan("plain text"), 0);
    int32_t answer = 0;
    ArchiverName(&answer);
    EXPECT_EQ(answer, -1);

    ASSERT_EQ(Scan(BuildZip({Member("a.txt", "a"), Member("b.txt", "b")})), orlix::ResultArchive);
    orlix::ArchiveMemberHeader header = {};
    ASSERT_EQ(entry_(0, orlix::EngineOpenArchive, 1), 0);
    ASSERT_EQ(entry_(0, orlix::EngineGetNextFileHeader, &header, 512), 0);
    ASSERT_EQ(entry_(0, orlix::EngineExtractNextFile, &header, 1), 0);
    // Nothing is waiting to be opened: this open fails, and its close must
    // leave the enclosing archive where it was.
    EXPECT_EQ(entry_(0, orlix::EngineOpenArchive, 1), -1);
    entry_(0, orlix::EngineCloseArchive, &header);
    ASSERT_EQ(entry_(0, orlix::EngineGetNextFileHeader, &header, 512), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(header.bytes + orlix::kMemberNameOffset), "b.txt");
    entry_(0, orlix::EngineCloseArchive, &header);
    EXPECT_EQ(entry_(0, orlix::EngineGetNextFileHeader, &header, 512), -1);
}

TEST_F(ArchiveTest, LongMemberNamesAreCutInsideTheHeader) {
    std::string longName(700, 'n');
    ASSERT_EQ(Scan(BuildZip({Member(longName, "x")})), orlix::ResultArchive);
    orlix::ArchiveMemberHeader header;
    std::memset(&header, 0x55, sizeof header);
    ASSERT_EQ(entry_(0, orlix::EngineOpenArchive, 1), 0);
    ASSERT_EQ(entry_(0, orlix::EngineGetNextFileHeader, &header, 512), 0);
    const char* name = reinterpret_cast<const char*>(header.bytes + orlix::kMemberNameOffset);
    EXPECT_EQ(std::string(name), std::string(511, 'n'));
    EXPECT_EQ(header.bytes[orlix::kMemberNameOffset + 512], 0x55) << "nothing written past 512 bytes";
    entry_(0, orlix::EngineCloseArchive, &header);
}

TEST_F(ArchiveTest, ArchivesAreNotCured) {
    std::string zip = BuildZip({Member("eicar.com", EicarText())});
    WriteFileBytes(ObjectPath(), zip);
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure), orlix::ResultArchive);
    EXPECT_EQ(ReadFileBytes(ObjectPath()), zip);
    EXPECT_EQ(Walk(), "ZIP:eicar.com=1(Eicar-Test-Signature);end");
}
