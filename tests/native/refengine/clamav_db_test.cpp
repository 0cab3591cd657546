// The open signature databases loaded through a base file's "database"
// lines: the same objects judged by clamscan and by the engine, containers
// written in the documented layout and rejected when damaged, and damaged
// lines skipped and counted.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "match/clam_records.h"
#include "match/database.h"
#include "match/stream_scanner.h"
#include "refengine/engine_fixture.h"

namespace {

#if defined(ORLIX_PYTHON3) && defined(ORLIX_CLAMAV_DB_SCRIPT)
constexpr bool kHaveGenerator = true;
#else
constexpr bool kHaveGenerator = false;
#define ORLIX_PYTHON3 ""
#define ORLIX_CLAMAV_DB_SCRIPT ""
#endif

bool Generate(const std::string& what, const std::string& folder) {
    const std::string command =
        std::string("'") + ORLIX_PYTHON3 + "' '" + ORLIX_CLAMAV_DB_SCRIPT + "' " + what + " '" + folder + "'";
    return std::system(command.c_str()) == 0;
}

std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// clamscan's verdict per object file name: the virus name without the
// suffix it gives records of databases outside its signed containers, or
// "" for a clean one.
std::map<std::string, std::string> ClamscanVerdicts(const std::string& db, const std::string& objects) {
    std::map<std::string, std::string> verdicts;
    const std::string command = "clamscan --no-summary -d '" + db + "' '" + objects + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return verdicts;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        const size_t colon = text.rfind(": ");
        if (colon == std::string::npos) continue;
        std::string file = text.substr(0, colon), verdict = text.substr(colon + 2);
        file = file.substr(file.find_last_of('/') + 1);
        if (verdict == "OK") {
            verdicts[file] = "";
        } else if (verdict.size() > 6 && verdict.compare(verdict.size() - 6, 6, " FOUND") == 0) {
            verdict.resize(verdict.size() - 6);
            const std::string suffix = ".UNOFFICIAL";
            if (verdict.size() > suffix.size() &&
                verdict.compare(verdict.size() - suffix.size(), suffix.size(), suffix) == 0)
                verdict.resize(verdict.size() - suffix.size());
            verdicts[file] = verdict;
        }
    }
    pclose(pipe);
    return verdicts;
}

orlix::BaseStatisticsEx StatisticsEx() {
    orlix::BaseStatisticsEx s = {};
    s.structSize = sizeof s;
    ORLIX_BaseStatisticsEx(&s);
    return s;
}

class ClamDbTest : public RefEngineTest {
protected:
    void SetUp() override {
        RefEngineTest::SetUp();
        if (!kHaveGenerator) GTEST_SKIP() << "no python3 for the database generator";
    }
    // The virus name, "" for clean, or "failed" and what failed: a damaged
    // container is no clean object whatever clamscan says of it.
    std::string Verdict(const std::string& path) {
        const int32_t answer = ScanPath(path);
        if (answer < 0) return "failed " + std::to_string(answer);
        if (answer & orlix::kVirusFoundBits) return VirusName();
        if (!(answer & orlix::ResultArchive)) return "";
        const std::string walk = Walk();
        const size_t find = walk.find('(');
        if (find != std::string::npos) return walk.substr(find + 1, walk.find(')', find) - find - 1);
        // Each nested walk that reached its end closes with "end]", the outer one with "end".
        size_t nested = 0, ended = 0;
        for (size_t at = 0; (at = walk.find("end]", at)) != std::string::npos; at += 4) ++ended;
        for (char c : walk) nested += c == '[';
        const bool outerEnded = walk.size() >= 3 && walk.compare(walk.size() - 3, 3, "end") == 0;
        return outerEnded && ended == nested ? "" : "failed " + walk;
    }
};

}  // namespace

TEST_F(ClamDbTest, LooseDatabasesGiveClamscansVerdictsAndNames) {
    if (std::system("command -v clamscan >/dev/null 2>&1") != 0) GTEST_SKIP() << "clamscan is not installed";
    const std::string gen = dir_.File("gen");
    ASSERT_TRUE(Generate("loose", gen));
    const std::map<std::string, std::string> expected = ClamscanVerdicts(gen + "/db", gen + "/objects");
    const std::vector<std::string> objects = FileNames(gen + "/objects");
    ASSERT_EQ(expected.size(), objects.size()) << "clamscan judged every object";
    // A relative path is taken from the base file's folder.
    ASSERT_GT(LoadBase("# ClamAV's databases\ndatabase gen/db/test.hdb\ndatabase gen/db/test.hsb\n"
                       "database gen/db/test.fp\ndatabase gen/db/test.sfp\ndatabase gen/db/test.ign2\n"
                       "database gen/db/test.ndb\ndatabase gen/db/test.mdb\ndatabase gen/db/test.msb\n",
                       "clamav.vdb"),
              0);
    Finish();
    int found = 0, clean = 0;
    for (const std::string& object : objects) {
        const std::string verdict = Verdict(gen + "/objects/" + object);
        EXPECT_EQ(verdict, expected.at(object)) << object;
        ++(verdict.empty() ? clean : found);
    }
    // Both kinds are well represented: hits and narrow misses of every record.
    EXPECT_GT(found, 20);
    EXPECT_GT(clean, 20);
    const orlix::BaseStatisticsEx s = StatisticsEx();
    EXPECT_EQ(s.databasesLoaded, 8);
    EXPECT_EQ(s.allowRecords, 3);
    EXPECT_EQ(s.ignoredNames, 2);
    EXPECT_EQ(s.skipped[orlix::SkippedOtherLevel], 2);
    EXPECT_EQ(s.skipped[orlix::SkippedTypedBody], 2) << "only the normalised HTML and text records";
    EXPECT_EQ(s.rejectedLines, 0);
}

// The records that need the object's head (its type, its PE layout), and
// those whose boundaries read bytes beside a part, decide alike however the
// object's bytes arrive: a member's come in small pieces.
TEST_F(ClamDbTest, TypedPeAndBoundaryRecordsDecideAlikeInAnyChunking) {
    if (std::system("command -v clamscan >/dev/null 2>&1") != 0) GTEST_SKIP() << "clamscan is not installed";
    const std::string gen = dir_.File("gen");
    ASSERT_TRUE(Generate("loose", gen));
    const std::map<std::string, std::string> expected = ClamscanVerdicts(gen + "/db/test.ndb", gen + "/objects");
    refengine::Database db;
    std::string text = ReadFileBytes(gen + "/db/test.ndb");
    std::vector<refengine::BodySignature> bodies;
    for (size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
        if (ParseBodyLine(text.data() + from, end - from, bodies) == refengine::RecordStatus::Accepted)
            db.AddBodies(bodies);
    }
    db.Finish();
    ASSERT_TRUE(db.needsHead());
    int checked = 0;
    for (const std::string& object : FileNames(gen + "/objects")) {
        if (object.compare(0, 3, "pe_") != 0 && object.compare(0, 4, "type") != 0 &&
            object.compare(0, 7, "section") != 0 && object.compare(0, 6, "bound_") != 0)
            continue;
        const std::string bytes = ReadFileBytes(gen + "/objects/" + object);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        for (size_t chunk : {size_t{1}, size_t{7}, size_t{1000}, bytes.size()}) {
            refengine::StreamScanner scanner(db, bytes.size(), chunk != 7);
            for (size_t at = 0; at < bytes.size() && scanner.Feed(data + at, std::min(chunk, bytes.size() - at));)
                at += chunk;
            scanner.Finish();
            EXPECT_EQ(scanner.found() ? scanner.verdict().name : "", expected.at(object)) << object << " by " << chunk;
        }
        ++checked;
    }
    EXPECT_GT(checked, 140);
}

TEST_F(ClamDbTest, ContainersLoadWithTheirHeadersAndFailingOnesAreRejectedWhole) {
    const std::string gen = dir_.File("gen");
    ASSERT_TRUE(Generate("container", gen));
    // A folder: the well-known container names in it.
    ASSERT_GT(LoadBase("database " + gen + "/good\n", "clamav.vdb"), 0);
    Finish();
    EXPECT_EQ(Verdict(gen + "/daily_hit.bin"), "Test.Daily.Hash-2-0");
    EXPECT_EQ(Verdict(gen + "/main_hit.bin"), "") << "daily.fp allows what main.hdb finds";
    EXPECT_EQ(Verdict(gen + "/body_hit.bin"), "") << "daily.ign2 leaves out main.ndb's record";
    orlix::BaseStatisticsEx s = StatisticsEx();
    ASSERT_EQ(s.databaseCount, 2);
    EXPECT_STREQ(s.databases[0].name, "main.cvd");
    EXPECT_EQ(s.databases[0].version, 61);
    EXPECT_EQ(s.databases[0].signatures, 4);
    EXPECT_EQ(s.databases[0].functionalityLevel, 90);
    EXPECT_EQ(s.databases[0].buildSeconds, 1796810400);
    EXPECT_STREQ(s.databases[0].builder, "orlix-test");
    EXPECT_STREQ(s.databases[0].buildTime, "09 Dec 2026 10-00 +0000");
    EXPECT_EQ(s.databases[0].rejected, 0);
    EXPECT_STREQ(s.databases[1].name, "daily.cld");
    EXPECT_EQ(s.databases[1].version, 27000);
    EXPECT_EQ(s.skipped[orlix::SkippedLogical], 1);
    EXPECT_EQ(s.skipped[orlix::SkippedBytecode], 1);
    EXPECT_EQ(s.databasesRejected, 0);

    // Each damaged copy is rejected and adds nothing; the good ones stay.
    const int32_t before = s.records;
    for (const std::string& bad : FileNames(gen + "/bad")) {
        LoadBase("database bad/" + bad + "\n", "gen/bad.vdb");
        s = StatisticsEx();
        EXPECT_EQ(s.records, before) << bad;
        EXPECT_EQ(s.databases[s.databaseCount - 1].rejected, 1) << bad;
    }
    EXPECT_EQ(s.databasesRejected, 6);
    Finish();
    EXPECT_EQ(Verdict(gen + "/daily_hit.bin"), "Test.Daily.Hash-2-0");
}

TEST_F(ClamDbTest, ACompressedCldLoadsAsAnUncompressedOne) {
    const std::string gen = dir_.File("gen");
    ASSERT_TRUE(Generate("container", gen));
    ASSERT_EQ(LoadBase("database " + gen + "/gzipped/daily.cld\n", "clamav.vdb"), 1);
    Finish();
    EXPECT_EQ(Verdict(gen + "/daily_hit.bin"), "Test.Daily.Hash-2-0");
    EXPECT_EQ(StatisticsEx().databases[0].version, 27001);
}

TEST_F(RefEngineTest, DamagedDatabaseLinesAreSkippedAndCountedNeverFatal) {
    const std::string md5 = "900150983cd24fb0d6963f7d28e17f72";  // of "abc"
    const std::string lines[] = {
        md5 + ":3:Good.Abc",                        // the one good record
        md5.substr(1) + ":3:Bad.ShortHash",         // every field wrong in turn
        "x" + md5.substr(1) + ":3:Bad.HashDigit",   //
        md5 + ":three:Bad.Size",                    //
        md5 + ":99999999999:Bad.HugeSize",          //
        md5 + ":3:",                                // no name
        md5 + ":3:Bad.Level:x",                     //
        md5 + ":3:Bad.MaxLevel:1:y",                //
        md5 + ":*:Bad.AnySizeWithoutLevel",         //
        md5 + ":*:Bad.AnySizeTooEarly:72",          //
        md5 + ":3:Bad.TooManyFields:1:300:4",       //
        md5,                                        //
        md5 + ":3:" + std::string(300, 'N'),        // an overlong name
        md5 + ":3:Long" + std::string(70000, 'x'),  // an overlong line
    };
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    WriteFileBytes(dir_.File("damaged.hdb"), text);
    ASSERT_EQ(LoadBase("database damaged.hdb\n", "clamav.vdb"), 1);
    Finish();
    EXPECT_EQ(Scan("abc"), 1);
    EXPECT_EQ(VirusName(), "Good.Abc");
    int32_t records = 0, rejected = 0;
    ORLIX_BaseStatistics(&records, &rejected);
    EXPECT_EQ(records, 1);
    EXPECT_EQ(rejected, 13);
    // A database that cannot be read adds nothing and fails nothing else.
    EXPECT_EQ(LoadBase("database missing.hdb\ndatabase nowhere\n", "more.vdb"), 0);
}

// Body records the matcher cannot take are skipped and counted, never
// matched: a part the filter could only find by trying every position
// among them. Records the open format forbids are damaged lines.
TEST_F(RefEngineTest, OpenBodyRecordsBeyondTheMatcherAreCountedApart) {
    WriteFileBytes(dir_.File("syntax.ndb"),
                   "Good.Choice:0:*:616263(6465|66)67\n"         // two bodies, one record
                   "Skip.OnlyNibbles:0:*:616263*a?b?\n"          // a part of no fixed byte
                   "Skip.NotChoice:0:*:616263!(6465|6667)68\n"   // a negated alternative of several bytes
                   "Good.Boundaries:0:*:(L)78797a(B)\n"          // boundaries the matcher takes
                   "Skip.NotBoundary:0:*:616263!(B)64\n"         // a negated boundary
                   "Skip.BoundaryChoice:0:*:(B)(6162|6364)65\n"  // a boundary beside a choice of several bytes
                   "Skip.BoundaryAnchor:0:*:(B)61[1-2]626364\n"  // a boundary on an anchored byte
                   "Skip.TwoBoundariesAtEnd:0:*:616263(B)(L)\n"  // the first may take the object's end
                   "Skip.Html:3:*:616263\n"                      // normalised HTML
                   "Skip.ElfEntry:6:EP+0:616263\n"               // entry points of other executables
                   "Skip.Version:1:VI:616263\n"                  //
                   "Bad.EntryOfAny:0:EP+0:616263\n"              // entry points are for executables
                   "Bad.Anchored:0:*:6162[1-2]6364\n"            // an anchored byte needs one byte beside it
                   "Bad.Float:0:10,x:616263\n");
    ASSERT_EQ(LoadBase("database syntax.ndb\n", "clamav.vdb"), 2);
    Finish();
    EXPECT_EQ(Scan("abcfg"), 1);
    EXPECT_EQ(VirusName(), "Good.Choice");
    EXPECT_EQ(Scan("abcdeg"), 1);
    EXPECT_EQ(Scan("abcdg"), 0);
    // The object's start and end are boundaries too.
    EXPECT_EQ(Scan("xyz"), 1);
    EXPECT_EQ(VirusName(), "Good.Boundaries");
    EXPECT_EQ(Scan("\r\nxyz-"), 1);
    EXPECT_EQ(Scan("\rxyz-"), 0);
    EXPECT_EQ(Scan("\nxyz!"), 0);
    orlix::BaseStatisticsEx s = {};
    s.structSize = sizeof s;
    ORLIX_BaseStatisticsEx(&s);
    EXPECT_EQ(s.bodyRecords, 2);
    EXPECT_EQ(s.skipped[orlix::SkippedTypedBody], 9);
    EXPECT_EQ(s.rejectedLines, 3);
}

TEST_F(RefEngineTest, HashKindsAndSizesAreKeptApart) {
    // SHA-1 and SHA-256 of "abc" from FIPS 180's examples.
    WriteFileBytes(dir_.File("kinds.hsb"),
                   "a9993e364706816aba3e25717850c26c9cd0d89d:3:Sha1.Abc\n"
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad:4:Sha256.Abcd.WrongSize\n"
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad:*:Sha256.Any:73\n");
    ASSERT_EQ(LoadBase("database kinds.hsb\n", "clamav.vdb"), 3);
    Finish();
    EXPECT_EQ(Scan("abc"), 1);
    EXPECT_EQ(VirusName(), "Sha1.Abc");
    EXPECT_EQ(Scan("abd"), 0);
    // Records sharing a name stem keep their own numbers.
    WriteFileBytes(dir_.File("stems.hdb"),
                   "900150983cd24fb0d6963f7d28e17f72:3:Win.Test.Stem-123-0\n"
                   "e2fc714c4727ee9395f324cd2e7f331f:4:Win.Test.Stem-124-10\n");
    ASSERT_EQ(LoadBase("database stems.hdb\n", "stems.vdb"), 2);
    Finish();
    EXPECT_EQ(Scan("abcd"), 1);
    EXPECT_EQ(VirusName(), "Win.Test.Stem-124-10");
}
