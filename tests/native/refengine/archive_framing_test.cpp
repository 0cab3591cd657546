// What extractors unpack, the engine checks: archives with odd framing, a
// stub in front, ZIP64 records, and the archive's own bytes.
#include <cstdlib>
#include <sstream>

#include "common/eicar.h"
#include "digest/md5.h"
#include "refengine/archive_fixture.h"

namespace {

const char kFound[] = "eicar.com=1(Eicar-Test-Signature);";

std::string HexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The archive with the method field of the member's local header, or of its
// directory entry, replaced.
std::string WithMethod(std::string zip, bool local, uint16_t method) {
    size_t at = local ? zip.find("PK\x03\x04") : zip.rfind("PK\x01\x02");
    size_t field = at + (local ? 8 : 10);
    zip[field] = static_cast<char>(method & 0xFF);
    zip[field + 1] = static_cast<char>(method >> 8);
    return zip;
}

}  // namespace

TEST_F(ArchiveTest, AMemberIsReadByTheMethodOfItsLocalHeaderAndOfItsEntry) {
    for (bool deflated : {false, true}) {
        std::string zip = BuildZip({Member("eicar.com", EicarText(), deflated)});
        // Either field may be the one that tells the truth.
        for (bool local : {false, true}) {
            EXPECT_EQ(WalkZip(WithMethod(zip, local, deflated ? 0 : 8)), std::string("ZIP:") + kFound + "end")
                << deflated << local;
        }
        // A reading that fails keeps a member that another reads clean from
        // being clean; an unknown method is such a reading.
        std::string clean = BuildZip({Member("clean.txt", Filler(200), deflated)});
        EXPECT_EQ(WalkZip(WithMethod(clean, true, deflated ? 0 : 8)), "ZIP:clean.txt=80;end") << deflated;
        EXPECT_EQ(WalkZip(WithMethod(clean, true, 99)), "ZIP:clean.txt=80;end") << deflated;
    }
    // A nested archive found by one reading is walked.
    std::string inner = BuildZip({Member("eicar.com", EicarText())});
    EXPECT_EQ(WalkZip(WithMethod(BuildZip({Member("in.zip", inner, true)}), true, 0)),
              std::string("ZIP:in.zip=1000[ZIP:") + kFound + "end];end");
}

TEST_F(ArchiveTest, EntryCountsAndDiskNumbersDoNotHideMembers) {
    std::vector<ZipMember> members = {Member("clean.txt", "c"), Member("eicar.com", EicarText())};
    ZipLayout understated;
    understated.declaredEntries = 1;
    EXPECT_EQ(WalkZip(BuildZip(members, understated)), std::string("ZIP:clean.txt=0;") + kFound + "header=4000");
    ZipLayout overstated;
    overstated.declaredEntries = 3;
    EXPECT_EQ(WalkZip(BuildZip(members, overstated)), std::string("ZIP:clean.txt=0;") + kFound + "header=4000");

    // One volume only: a member naming another disk is still here.
    members[1].disk = 1;
    EXPECT_EQ(WalkZip(BuildZip(members)), std::string("ZIP:clean.txt=0;") + kFound + "end");
}

TEST_F(ArchiveTest, ArchivesBehindAStubAreFoundWithOrWithoutAdjustedOffsets) {
    std::vector<ZipMember> members = {Member("clean.txt", Filler(3000)), Member("eicar.com", EicarText(), false)};
    std::string stub = "MZ" + std::string(510, '\x90') + "self-extractor stub";
    for (const std::string& prefix : {std::string(1, '\0'), std::string("X"), stub}) {
        for (bool adjusted : {false, true}) {
            ZipLayout layout;
            layout.prefix = prefix;
            layout.adjustOffsets = adjusted;
            EXPECT_EQ(WalkZip(BuildZip(members, layout)), std::string("ZIP:clean.txt=0;") + kFound + "end")
                << prefix.size() << " bytes in front, adjusted " << adjusted;
        }
    }
    // A self-extractor inside an archive is walked too; a plain executable is not.
    ZipLayout selfExtractor;
    selfExtractor.prefix = stub;
    std::string inner = BuildZip(members, selfExtractor);
    EXPECT_EQ(WalkZip(BuildZip({Member("setup.exe", inner), Member("tool.exe", stub)})),
              std::string("ZIP:setup.exe=1000[ZIP:clean.txt=0;") + kFound + "end];tool.exe=0;end");
    // Bytes that merely look like an end record do not make a file an archive.
    std::string fake = "text\x50\x4b\x05\x06" + std::string(18, '\0');
    EXPECT_EQ(Scan(fake), 0);
}

TEST_F(ArchiveTest, Zip64ArchivesAreWalkedLikeAnyOther) {
    ZipLayout zip64;
    zip64.zip64 = true;
    std::string inner = BuildZip({Member("clean.txt", Filler(70000)), Member("eicar.com", EicarText())}, zip64);
    std::string expected = std::string("ZIP:clean.txt=0;") + kFound + "end";
    EXPECT_EQ(WalkZip(inner), expected);
    zip64.prefix = "stub";
    EXPECT_EQ(WalkZip(BuildZip({Member("inner.zip", inner)}, zip64)), "ZIP:inner.zip=1000[" + expected + "];end");

    ZipMember huge = Member("huge.bin", "x");
    huge.declaredSize = 5ll << 30;
    zip64.prefix.clear();
    EXPECT_EQ(WalkZip(BuildZip({huge}, zip64)), "ZIP:huge.bin=80;end");
}

TEST_F(ArchiveTest, AnArchivesOwnBytesAreMatched) {
    const std::string marker = "ORLIX-RAW-BODY-MARKER";
    ASSERT_EQ(LoadBase("Raw.Body:0:*:" + HexOf(marker) + ":c\n", "raw.vdb"), 1);
    std::string zip = BuildZip({Member("a.txt", "a")});
    ASSERT_EQ(Scan(zip), orlix::ResultArchive);

    ZipLayout commented;
    commented.comment = "see " + marker;
    EXPECT_EQ(Scan(BuildZip({Member("a.txt", "a")}, commented)), 1);
    EXPECT_EQ(VirusName(), "Raw.Body");
    EXPECT_EQ(Scan(zip + marker), 1);
    // A nested archive's own bytes too.
    EXPECT_EQ(WalkZip(BuildZip({Member("inner.zip", zip + marker)})), "ZIP:inner.zip=1(Raw.Body);end");

    // Archives are not cured: the find stays and the file is left whole.
    WriteFileBytes(ObjectPath(), zip + marker);
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure), 0x11);
    EXPECT_EQ(ReadFileBytes(ObjectPath()), zip + marker);

    // A hash record of a whole archive.
    refengine::Md5 md5;
    md5.Update(reinterpret_cast<const unsigned char*>(zip.data()), zip.size());
    unsigned char digest[16];
    md5.Final(digest);
    ASSERT_EQ(LoadBase(HexOf(std::string(reinterpret_cast<const char*>(digest), 16)) + ":" +
                           std::to_string(zip.size()) + ":Whole.Zip\n",
                       "hash.vdb"),
              1);
    EXPECT_EQ(Scan(zip), 1);
    EXPECT_EQ(VirusName(), "Whole.Zip");
}

TEST_F(ArchiveTest, AZipAfterLeadingBytesInAMemberIsWalkedOnlyWhenItChecksOut) {
    std::string inner = BuildZip({Member("eicar.com", EicarText())});
    // The signature straddles two unpacking chunks of 64 KiB.
    EXPECT_EQ(WalkZip(BuildZip({Member("pad.bin", Filler(65534) + inner, false)})),
              std::string("ZIP:pad.bin=1000[ZIP:") + kFound + "end];end");
    EXPECT_EQ(WalkZip(BuildZip({Member("notes.txt", "a bare PK\x03\x04 in text, no archive")})), "ZIP:notes.txt=0;end");
}

// Python's zipfile, tarfile and gzip write the odd forms and say what they
// extract (tests/native/refengine/archive_forms.py); the framings that once
// hid a member are found whatever Python makes of them.
TEST_F(ArchiveTest, WhatPythonsLibrariesExtractIsFound) {
#ifndef ORLIX_PYTHON3
    GTEST_SKIP() << "no python3";
#else
    WriteFileBytes(dir_.File("sample"), EicarText());
    std::string command =
        std::string(ORLIX_PYTHON3) + " " + ORLIX_ARCHIVE_FORMS + " '" + dir_.path() + "' '" + dir_.File("sample") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::istringstream manifest(ReadFileBytes(dir_.File("manifest.txt")));
    int cases = 0;
    for (std::string name, must, python; manifest >> name >> must >> python; ++cases) {
        // The odd forms are valid ones: Python reads each.
        if (must == "0") EXPECT_EQ(python, "1") << name << ": Python extracts nothing";
        int32_t answer = ScanPath(dir_.File(name));
        std::string walk = answer == orlix::ResultArchive ? Walk() : "scan=" + Hex(answer);
        EXPECT_NE(walk.find("=1(Eicar-Test-Signature)"), std::string::npos)
            << name << " (Python extracts it: " << python << "): " << walk;
    }
    EXPECT_GE(cases, 30);
#endif
}
