// 7z archives written by 7-Zip itself, walked through the engine: every
// member found in non-solid and solid folders, the coders we lack and
// encryption answered as such, damage never clean.
#include <cstdlib>
#include <utility>
#include <vector>

#include "common/eicar.h"
#include "refengine/archive_fixture.h"

namespace {

const std::string kFound = "=1(Eicar-Test-Signature)";

class SevenZipTest : public ArchiveTest {
protected:
    // The archive 7-Zip writes of these files with these switches.
    std::string SevenZip(const std::vector<std::pair<std::string, std::string>>& files, const std::string& switches) {
        const std::string folder = dir_.File("in" + std::to_string(++made_));
        EXPECT_EQ(std::system(("mkdir -p '" + folder + "'").c_str()), 0);
        std::string command = "cd '" + folder + "' && " ORLIX_7ZIP " a -bso0 -bsp0 " + switches + " ../out.7z";
        for (const auto& file : files) {
            const std::string path = folder + "/" + file.first;
            if (file.first.back() == '/') {
                EXPECT_EQ(std::system(("mkdir -p '" + path + "'").c_str()), 0);
            } else {
                EXPECT_TRUE(WriteFileBytes(path, file.second)) << path;
            }
            command += " '" + file.first + "'";
        }
        std::remove(dir_.File("out.7z").c_str());
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return ReadFileBytes(dir_.File("out.7z"));
    }
    int made_ = 0;
};

}  // namespace

TEST_F(SevenZipTest, StoredFoldersAreWalkedFileByFile) {
    const std::string eicar = EicarText();
    const std::vector<std::pair<std::string, std::string>> files = {
        {"clean.txt", "clean"}, {"eicar.com", eicar}, {"empty.txt", ""}, {"dir/", ""}, {"dir/after.txt", "after"}};
    // In the order 7-Zip stores them: the files without data first, the
    // others by their extension.
    const std::string expected = "7Z:empty.txt=0;clean.txt=0;dir/after.txt=0;eicar.com" + kFound + ";end";
    for (const char* switches : {"-m0=Copy -mhc=off -ms=off", "-m0=Copy -mhc=off -ms=on"}) {
        EXPECT_EQ(WalkFile("a.7z", SevenZip(files, switches)), expected) << switches;
    }
}

TEST_F(SevenZipTest, NestedInZipAndHoldingZip) {
    const std::string eicar = EicarText();
    const std::string inner = SevenZip({{"eicar.com", eicar}}, "-m0=Copy -mhc=off");
    EXPECT_EQ(WalkFile("a.zip", BuildZip({Member("in.7z", inner)})),
              "ZIP:in.7z=1000[7Z:eicar.com" + kFound + ";end];end");
    // A ZIP stored as it is also ends the 7z, as a ZIP reader searching
    // for its end record sees it: walked as the member and behind the 7z.
    const std::string zip = BuildZip({Member("eicar.com", eicar)});
    EXPECT_EQ(WalkFile("b.7z", SevenZip({{"x.zip", zip}}, "-m0=Copy -mhc=off")),
              "7Z:x.zip=1000[ZIP:eicar.com" + kFound + ";end];eicar.com" + kFound + ";end");
}

TEST_F(SevenZipTest, DamageAndWhatCannotBeUnpackedAreNeverClean) {
    const std::string eicar = EicarText();
    const std::string archive = SevenZip({{"clean.txt", "clean"}, {"eicar.com", eicar}}, "-m0=Copy -mhc=off");
    // The start header's checksum covers where the database is.
    std::string badStart = archive;
    badStart[20] ^= 1;
    EXPECT_EQ(WalkFile("a.7z", badStart), "7Z:header=4000");
    // The database's own checksum.
    std::string badHeader = archive;
    badHeader[badHeader.size() - 3] ^= 1;
    EXPECT_EQ(WalkFile("b.7z", badHeader), "7Z:header=4000");
    // A file's bytes changed: its checksum no longer holds.
    std::string badData = archive;
    badData[32] ^= 1;
    EXPECT_EQ(WalkFile("c.7z", badData), "7Z:clean.txt=2000;eicar.com" + kFound + ";end");
    // Cut off: the database is gone.
    EXPECT_EQ(WalkFile("d.7z", archive.substr(0, archive.size() - 10)), "7Z:header=80");
    // Encrypted files are answered as such; an unknown coder fails closed.
    EXPECT_EQ(WalkFile("e.7z", SevenZip({{"eicar.com", eicar}}, "-m0=Copy -mhc=off -psecret")), "7Z:eicar.com=100;end");
    EXPECT_EQ(WalkFile("f.7z", SevenZip({{"eicar.com", eicar}}, "-m0=PPMd -mhc=off")), "7Z:eicar.com=80;end");
    EXPECT_EQ(WalkFile("g.7z", SevenZip({{"eicar.com", eicar}}, "-mf=BCJ2")), "7Z:eicar.com=80;end");
    // An encrypted header hides even the names.
    EXPECT_EQ(WalkFile("h.7z", SevenZip({{"eicar.com", eicar}}, "-psecret -mhe=on")), "7Z:header=100");
}

TEST_F(SevenZipTest, EveryCoderWeHaveFindsTheTestFileInEveryFile) {
    const std::string eicar = EicarText();
    // Code-like filler, so that the x86 filter has calls to convert.
    std::string code;
    for (int i = 0; i < 4000; ++i) code += std::string("\xE8\x10\x20\x00\x00\x90", 6) + static_cast<char>(i);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.com", eicar}, {"b.txt", std::string(70000, 'b')}, {"code.bin", code}, {"c.com", eicar}};
    struct Case {
        const char* switches;
    } cases[] = {
        {"-m0=LZMA -ms=off"},
        {"-m0=LZMA -ms=on"},
        {"-m0=LZMA2 -ms=on"},
        {"-m0=LZMA2 -ms=on -mhc=off"},
        {"-mf=BCJ -m0=LZMA"},
        {"-mf=BCJ -m0=LZMA2 -ms=on"},
        {"-mf=Delta:4 -m0=LZMA2"},
        {"-m0=Deflate"},
        {"-m0=Deflate64"},
        {"-m0=BZip2 -ms=on"},
        {"-mx=9"},
        {"-mx=1"},
    };
    for (const Case& c : cases) {
        const std::string walk = WalkFile("a.7z", SevenZip(files, c.switches));
        // Every file holding the test file is found, whatever order 7-Zip chose.
        size_t found = 0;
        for (size_t at = walk.find(kFound); at != std::string::npos; at = walk.find(kFound, at + 1)) ++found;
        EXPECT_EQ(found, 2u) << c.switches << ": " << walk;
        EXPECT_NE(walk.find("code.bin=0;"), std::string::npos) << c.switches << ": " << walk;
        EXPECT_NE(walk.find("b.txt=0;"), std::string::npos) << c.switches << ": " << walk;
        EXPECT_EQ(walk.substr(walk.size() - 4), ";end") << c.switches << ": " << walk;
    }
}

TEST_F(SevenZipTest, ABombEndsAtTheMemberBound) {
    // 150 MiB of zeros pack to a few kilobytes; the member bound is 100 MiB.
    // The file after it in the solid folder is still reached, its bytes
    // unpacked past the bomb's within the check's bound.
    const std::string zeros(150u << 20, '\0');
    EXPECT_EQ(WalkFile("bomb.7z", SevenZip({{"a-zeros.bin", zeros}, {"b-eicar.com", EicarText()}}, "-m0=LZMA2 -ms=on")),
              "7Z:a-zeros.bin=80;b-eicar.com" + kFound + ";end");
}
