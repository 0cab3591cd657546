// Base parsing and matching of the reference engine, driven through its
// entry point with the test's own file callbacks.
#include <cstdio>

#include "common/eicar.h"
#include "refengine/engine_fixture.h"

namespace {

std::string HexOf(const std::string& bytes) {
    std::string out;
    char pair[3];
    for (unsigned char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", c);
        out += pair;
    }
    return out;
}

void Statistics(int32_t& records, int32_t& rejected) { ORLIX_BaseStatistics(&records, &rejected); }

std::string Filler(size_t n, char seed = 'a') {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i % 19);
    return s;
}

// The digest md5sum gives for the file at path.
std::string SystemMd5(const std::string& path) {
    std::string out;
    if (FILE* pipe = popen(("md5sum '" + path + "'").c_str(), "r")) {
        char digest[33] = {};
        if (std::fscanf(pipe, "%32s", digest) == 1) out = digest;
        pclose(pipe);
    }
    return out;
}

}  // namespace

TEST_F(RefEngineTest, ReportsVersionAndRefusesAMissingTable) {
    EXPECT_EQ(entry_(0, orlix::EngineGetVersion), 431);
    EXPECT_TRUE(orlix::IsSupportedEngineVersion(entry_(0, orlix::EngineGetVersion)));
    EXPECT_EQ(entry_(0, 99), -1);
    EXPECT_EQ(ORLIX_InitDll(nullptr, orlix::kCallbackSlotCount, &orlix::kPluginVersionRecord, 0), nullptr);
    EXPECT_EQ(ORLIX_InitDll(nativehost::Table(), 20, &orlix::kPluginVersionRecord, 0), nullptr);
}

TEST_F(RefEngineTest, CountsGoodLinesAndRejectsBadOnesWithoutFailing) {
    const std::string base =
        "# comment\r\n"
        "\r\n"
        "Good.One:0:*:414243\r\n"                         // plain body
        "Good.Two:0:10:41??43*4445{2-4}4647:p\n"          // wildcards, gaps, flags
        "Good.Three:0:EOF-3:414243:cms64\n"               // EOF offset, curable modification, size limit
        "0123456789abcdef0123456789ABCDEF:5:Good.Hash\n"  // hash record
        "0123456789abcdef0123456789abcdef:5:Good.Hash2:p\n"
        "Bad.OddHex:0:*:41424\n"
        "Bad.Target:1:*:414243\n"
        "Bad.Offset:0:EOF+3:414243\n"
        "Bad.OnlyWildcards:0:*:????\n"
        "Bad.LeadingGap:0:*:*4142\n"
        "Bad.TrailingGap:0:*:4142{1-2}\n"
        "Bad.Range:0:*:41{5-2}42\n"
        "Bad.Flag:0:*:4142:x\n"
        "Bad.Both:0:*:4142:pm\n"
        "0123456789abcdef0123456789abcdef:5:Bad.CurableHash:c\n"
        "Bad.Fields:0:*\n"
        ":0:*:4142\n" +
        std::string("Bad.TooLongName") + std::string(300, 'x') + ":0:*:4142\n";
    EXPECT_EQ(LoadBase(base), 5);
    int32_t records = 0, rejected = 0;
    Statistics(records, rejected);
    EXPECT_EQ(records, 5);
    EXPECT_EQ(rejected, 13);
    // A second base adds to the first; a missing one is a failure.
    EXPECT_EQ(LoadBase("More:0:*:5a5a5a\n", "more.vdb"), 1);
    EXPECT_EQ(entry_(0, orlix::EngineLoadBase, dir_.File("missing.vdb").c_str()), -1);
    Statistics(records, rejected);
    EXPECT_EQ(records, 6);
}

TEST_F(RefEngineTest, AnOverlongLineIsRejectedAndTheNextOneStillLoads) {
    std::string base = "Long:0:*:" + std::string(70000, 'a') + "\nShort:0:*:4142434445\n";
    EXPECT_EQ(LoadBase(base), 1);
    Finish();
    EXPECT_EQ(Scan("xxABCDExx"), 1);
    EXPECT_EQ(VirusName(), "Short");
}

TEST_F(RefEngineTest, FindsPatternsWithWildcardsAndGaps) {
    ASSERT_EQ(LoadBase("Wild:0:*:6b6579??3d3d\n"
                       "Star:0:*:5354415254*454e44\n"
                       "Range:0:*:3c3c{2-4}3e3e\n"),
              3);
    Finish();
    EXPECT_EQ(Scan("...key?==..."), 1);
    EXPECT_EQ(VirusName(), "Wild");
    EXPECT_EQ(Scan("...key==..."), 0) << "?? stands for exactly one byte";
    EXPECT_EQ(Scan("START" + Filler(100000) + "END"), 1);
    EXPECT_EQ(VirusName(), "Star");
    EXPECT_EQ(Scan("END...START"), 0) << "parts must appear in order";
    EXPECT_EQ(Scan("<<ab>>"), 1);
    EXPECT_EQ(Scan("<<abcd>>"), 1);
    EXPECT_EQ(VirusName(), "Range");
    EXPECT_EQ(Scan("<<a>>"), 0);
    EXPECT_EQ(Scan("<<abcde>>"), 0);
    // A near miss followed by a real match is still found.
    EXPECT_EQ(Scan("<<abcdefg>> <<xyz>>"), 1);
}

TEST_F(RefEngineTest, HonoursOffsetsAndSizeLimits) {
    ASSERT_EQ(LoadBase("AtFour:0:4:4d41524b\n"
                       "AtEnd:0:EOF-4:54414e44\n"
                       "Small:0:*:534d414c4c:s20\n"),
              3);
    Finish();
    EXPECT_EQ(Scan("1234MARK5678"), 1);
    EXPECT_EQ(VirusName(), "AtFour");
    EXPECT_EQ(Scan("12345MARK678"), 0);
    EXPECT_EQ(Scan(Filler(70000) + "TAND"), 1);
    EXPECT_EQ(VirusName(), "AtEnd");
    EXPECT_EQ(Scan(Filler(70000) + "TAND!"), 0);
    EXPECT_EQ(Scan("xxSMALLxx"), 1);
    EXPECT_EQ(VirusName(), "Small");
    EXPECT_EQ(Scan("xxSMALLxx" + Filler(20)), 0);
}

TEST_F(RefEngineTest, MatchesAcrossChunkBoundaries) {
    std::string eicar = EicarText();
    ASSERT_EQ(LoadBase("Split:0:*:" + HexOf(eicar) + "\nSplitGap:0:*:51515151{60000-70000}52525252\n"), 2);
    Finish();
    // The engine reads 64 KiB at a time: put the pattern across that border
    // at every shift.
    for (size_t shift = 1; shift < eicar.size(); shift += 11) {
        std::string bytes = Filler(65536 - shift) + eicar + Filler(1000);
        EXPECT_EQ(Scan(bytes), 1) << "shift " << shift;
    }
    EXPECT_EQ(Scan("QQQQ" + Filler(65000) + "RRRR"), 1);
    EXPECT_EQ(VirusName(), "SplitGap");
    EXPECT_EQ(Scan("QQQQ" + Filler(71000) + "RRRR"), 0);
}

TEST_F(RefEngineTest, AnswersTheFindKindsEachRecordDeclares) {
    ASSERT_EQ(LoadBase("Plain:0:*:504c41494e\nMod:0:*:4d4f44:m\nMaybe:0:*:4d41594245:p\n"), 3);
    Finish();
    EXPECT_EQ(Scan("PLAIN"), orlix::ResultInfected);
    EXPECT_EQ(Scan("MOD"), orlix::ResultModification);
    EXPECT_EQ(VirusName(), "Mod");
    EXPECT_EQ(Scan("MAYBE"), orlix::ResultProbablyInfected);
    EXPECT_EQ(VirusName(), "Maybe");
    EXPECT_EQ(Scan("nothing"), 0);
}

TEST_F(RefEngineTest, MatchesWholeObjectHashes) {
    // MD5 of "abc" is known from the algorithm's reference values.
    ASSERT_EQ(LoadBase("900150983cd24fb0d6963f7d28e17f72:3:Hash.Abc\n"
                       "d41d8cd98f00b204e9800998ecf8427e:0:Hash.Empty:p\n"),
              2);
    Finish();
    EXPECT_EQ(Scan("abc"), 1);
    EXPECT_EQ(VirusName(), "Hash.Abc");
    EXPECT_EQ(Scan("abd"), 0);
    EXPECT_EQ(Scan("abcd"), 0);
    EXPECT_EQ(Scan(""), orlix::ResultProbablyInfected);
}

TEST_F(RefEngineTest, HashesAgreeWithTheSystemMd5OverManyChunks) {
    // Long enough to span many MD5 blocks and several read chunks, with an
    // odd length so the padding lands mid-block.
    std::string big = Filler(200001, 'A');
    WriteFileBytes(ObjectPath(), big);
    std::string digest = SystemMd5(ObjectPath());
    ASSERT_EQ(digest.size(), 32u);
    ASSERT_EQ(LoadBase(digest + ":200001:Hash.Big\n"), 1);
    Finish();
    EXPECT_EQ(Scan(big), 1);
    EXPECT_EQ(VirusName(), "Hash.Big");
    big[100000] ^= 1;
    EXPECT_EQ(Scan(big), 0);
}

TEST_F(RefEngineTest, DefaultBaseFindsTheTestFileAndItsAllowedVariants) {
    ASSERT_EQ(LoadDefaultBase(), 2);
    Finish();
    std::string eicar = EicarText();
    EXPECT_EQ(Scan(eicar), 1);
    EXPECT_EQ(VirusName(), "Eicar-Test-Signature");
    EXPECT_EQ(Scan(eicar + "\r\n"), 1);
    EXPECT_EQ(Scan(eicar + std::string(60, ' ')), 1);
    EXPECT_EQ(Scan(eicar + std::string(61, ' ')), 0) << "longer than 128 bytes";
    EXPECT_EQ(Scan(" " + eicar), 0) << "must start the file";
    std::string broken = eicar;
    broken[30] = 'X';
    EXPECT_EQ(Scan(broken), 0);
}

TEST_F(RefEngineTest, StreamsLargeObjectsInBoundedMemory) {
    ASSERT_EQ(LoadBase("Tail:0:*:" + HexOf(EicarText()) + "\n"), 1);
    Finish();
    // 96 MiB synthesised by the callbacks; the find sits near the end.
    const uint32_t size = 96u << 20;
    std::string name =
        std::string(nativehost::kSyntheticPrefix) + std::to_string(size) + ":" + std::to_string(size - 1000);
    EXPECT_EQ(ScanPath(name), 1);
    // Read once from start to end, not twice.
    EXPECT_GE(nativehost::counters().syntheticRead, static_cast<int64_t>(size));
    EXPECT_LT(nativehost::counters().syntheticRead, static_cast<int64_t>(size) + 65536);
    EXPECT_LT(nativehost::counters().peakAllocated, 1 << 20);
    EXPECT_EQ(nativehost::counters().allocated, 0);
    std::string clean = std::string(nativehost::kSyntheticPrefix) + std::to_string(size) + ":-1";
    EXPECT_EQ(ScanPath(clean), 0);
}

TEST_F(RefEngineTest, AnObjectLongerThanItsToldLengthIsAnErrorNotClean) {
    ASSERT_EQ(LoadBase("Tail:0:*:" + HexOf(EicarText()) + "\n"), 1);
    Finish();
    // Past 4 GB the host's 32-bit length wraps; the tail would go unread.
    std::string clean = std::string(nativehost::kSyntheticPrefix) + "300000:-1:100000";
    EXPECT_EQ(ScanPath(clean), -1);
    std::string infectedEarly = std::string(nativehost::kSyntheticPrefix) + "300000:500:100000";
    EXPECT_EQ(ScanPath(infectedEarly), 1) << "a find in the part read still counts";
}

TEST_F(RefEngineTest, AnObjectThatCannotBeOpenedIsAnError) {
    EXPECT_EQ(ScanPath(dir_.File("no-such-file")), -1);
    EXPECT_EQ(entry_(0, orlix::EngineScanFile, 0, 1, nullptr, 0), -1);
    EXPECT_EQ(entry_(0, orlix::EngineScanFile, 7, 1, ObjectPath().c_str(), 0), -1);
}

TEST_F(RefEngineTest, CuresAnAppendedBodyByTruncation) {
    ASSERT_EQ(LoadBase("Appended:0:*:2a2a424f44592a2a*2a2a454e442a2a:c\n"
                       "Whole:0:0:57484f4c45\n"),
              2);
    Finish();
    std::string host = Filler(5000);
    WriteFileBytes(ObjectPath(), host + "**BODY**payload**END**trailer");
    EXPECT_EQ(ScanPath(ObjectPath()), orlix::ResultInfected);
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure), orlix::ResultInfected | orlix::ResultCured);
    EXPECT_EQ(ReadFileBytes(ObjectPath()), host);
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure), 0);
    EXPECT_EQ(ScanPath(ObjectPath()), 0);

    // A record not marked curable, and a curable find that is the whole
    // object, are incurable; the file is left alone.
    WriteFileBytes(ObjectPath(), "WHOLE and more");
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure), orlix::ResultInfected | orlix::ResultIncurable);
    EXPECT_EQ(ReadFileBytes(ObjectPath()), "WHOLE and more");
    WriteFileBytes(ObjectPath(), "**BODY****END**");
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure), orlix::ResultInfected | orlix::ResultIncurable);
    EXPECT_EQ(ReadFileBytes(ObjectPath()), "**BODY****END**");
}

TEST_F(RefEngineTest, CureOfAFileThatCannotBeWrittenReportsTheWriteFailure) {
    ASSERT_EQ(LoadBase("Appended:0:*:2a2a424f44592a2a:c\n"), 1);
    Finish();
    WriteFileBytes(ObjectPath(), "host**BODY**");
    // As when another process holds the file without write sharing.
    nativehost::RefuseWrites(true);
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure),
              orlix::ResultInfected | orlix::ResultIncurable | orlix::ResultWriteError);
    nativehost::RefuseWrites(false);
    EXPECT_EQ(ReadFileBytes(ObjectPath()), "host**BODY**");
}

// Hundreds of partial matches pending inside one bounded gap must not push
// out the one that completes: padding would hide a record.
TEST_F(RefEngineTest, AFloodOfPartialMatchesInAGapDoesNotHideTheFind) {
    ASSERT_EQ(LoadBase("Flood:0:*:41{500-1000}42\nExact:0:*:5858{300}59\n"), 2);
    Finish();
    EXPECT_EQ(Scan("A" + std::string(199, '.') + std::string(300, 'A') + ".B"), 1);
    EXPECT_EQ(VirusName(), "Flood");
    EXPECT_EQ(Scan("A" + std::string(2000, 'A') + ".B"), 1);
    EXPECT_EQ(Scan(std::string(400, 'A') + "B"), 0) << "no A far enough before the B";
    // An exact gap: only the X pair that ends 300 bytes before the Y
    // completes it, among thousands of pairs before and after it.
    std::string exact = std::string(3000, 'X') + "Y";
    EXPECT_EQ(Scan(exact), 1);
    exact[2699] = '.';
    EXPECT_EQ(Scan(exact), 0);
    EXPECT_EQ(Scan(std::string(3000, 'X') + std::string(301, '.') + "Y"), 0);
}

// A cure cuts only the match that was found: an earlier quote of the
// record's first part must not move the cut to the quote.
TEST_F(RefEngineTest, CureCutsAtTheMatchFoundNotAtAnEarlierQuoteOfItsFirstPart) {
    ASSERT_EQ(LoadBase("Appended:0:*:2a2a424f44592a2a*2a2a454e442a2a:c\n"
                       "Ranged:0:*:3c3c48454144{0-40}3c3c5441494c:c\n"
                       "Wide:0:*:5757{9000}5858:c\n"),
              3);
    Finish();
    const std::string host = "quote **BODY** " + Filler(1000) + " the host ends here";
    WriteFileBytes(ObjectPath(), host + "**BODY**payload**END**");
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure), orlix::ResultInfected | orlix::ResultCured);
    EXPECT_EQ(ReadFileBytes(ObjectPath()), host);
    // With a bounded gap the latest head that reaches the tail starts the cut.
    const std::string second = "<<HEAD <<HEAD" + Filler(100);
    WriteFileBytes(ObjectPath(), second + "<<HEAD12<<HEAD" + Filler(10) + "<<TAIL");
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure), orlix::ResultInfected | orlix::ResultCured);
    EXPECT_EQ(ReadFileBytes(ObjectPath()), second + "<<HEAD12");
    // Thousands of heads open in one wide gap are partly kept as a range:
    // a tail that needs one of those is still found, but where its match
    // starts is no longer known, so nothing is cut.
    const std::string flooded = "host" + std::string(14000, 'W') + "XX";
    WriteFileBytes(ObjectPath(), flooded);
    EXPECT_EQ(ScanPath(ObjectPath(), orlix::kScanModeCure), orlix::ResultInfected | orlix::ResultIncurable);
    EXPECT_EQ(ReadFileBytes(ObjectPath()), flooded);
}
