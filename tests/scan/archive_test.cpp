// The archive walk: its report lines, its limits, each engine operation
// failing, and the level count back at 0 after every path.
#include "engine_fixture.h"

class ArchiveWalk : public EngineFixture {
protected:
    int probes = 0;

    // Checks file as an archive (scan answer 0x1000) and returns the result.
    int32_t CheckArchiveFile(const std::string& file) {
        te.QueueScan(file.c_str(), 0, 0x1000);
        ClearRecords();
        MarkStatus();
        return api.CheckFile(file.c_str(), status);
    }

    // A walk of the deepest nest allowed still reaches its bottom: no level
    // was left counted by what ran before.
    void ExpectFullDepthAvailable() {
        const std::string probe = "C:\\probe" + std::to_string(++probes) + ".zip";
        DefineChain(probe, 65);
        EXPECT_EQ(0, CheckArchiveFile(probe)) << "archive levels left open";
        EXPECT_STREQ("Ok", status);
        ScanLines();
    }
};

TEST_F(ArchiveWalk, NestedExampleReportsSevenLinesAndStopsAtTheFind) {
    PrepareEngine();
    const std::string a = "C:\\m\\A.zip";
    te.VirusName("*", "W32.Nest");
    te.SetArchiverName(a.c_str(), "ZIP", -1, 0);
    te.SetArchiverName("A/N", "RAR", -1, 0);
    te.DefineArchive(a.c_str(), 0, 0);
    te.DefineArchive("A/N", 0, 0);
    te.Member(a, "first.txt", 0, 0);
    te.Member(a, "N.rar", 0, 0x1000, "A/N");
    te.Member(a, "after.txt", 0, 0);
    te.Member("A/N", "n1.txt", 0, 0);
    te.Member("A/N", "bad.exe", 0, 0x1);
    te.Member("A/N", "n3.txt", 0, 0);
    StartEngine();

    EXPECT_EQ(1, CheckArchiveFile(a));
    EXPECT_STREQ("Infected by W32.Nest", status);
    std::vector<std::string> expected = {
        "CheckFile: C:\\m\\A.zip",
        "CheckArchive: C:\\m\\A.zip - Archive ZIP",
        "CheckArchive: C:\\m\\A.zip\\first.txt - Ok",
        "CheckArchive: C:\\m\\A.zip\\N.rar - Archive RAR",
        "CheckArchive: C:\\m\\A.zip\\N.rar\\n1.txt - Ok",
        "CheckArchive: C:\\m\\A.zip\\N.rar\\bad.exe - Infected by W32.Nest",
        "CheckArchive: C:\\m\\A.zip\\N.rar - Archive RAR - Infected by W32.Nest",
        "CheckArchive: C:\\m\\A.zip - Archive ZIP - Infected by W32.Nest",
    };
    EXPECT_EQ(expected, ScanLines());
    // Two members examined at each level, nothing after the find.
    EXPECT_EQ(4, CountOps("GetNextFileHeader 512"));
    EXPECT_EQ(4, CountOps("ExtractNextFile 1"));
    EXPECT_EQ(2, CountOps("OpenArchive 1"));
    EXPECT_EQ(2, CountOps("CloseArchive"));
    ExpectFullDepthAvailable();
}

TEST_F(ArchiveWalk, EmptyArchiveAndSkippedMembers) {
    PrepareEngine();
    te.DefineArchive("C:\\e.zip", 0, 0);
    te.DefineArchive("C:\\p.zip", 0, 0);
    te.Member("C:\\p.zip", "a.txt", 0, 0);
    te.Member("C:\\p.zip", "locked.doc", 0, 0x100);
    te.Member("C:\\p.zip", "part.r01", 0, 0x20000);
    te.Member("C:\\p.zip", "end.txt", 0, 0x8000);
    te.Member("C:\\p.zip", "b.txt", 0, 0);
    StartEngine();

    EXPECT_EQ(0, CheckArchiveFile("C:\\e.zip"));
    EXPECT_STREQ("Ok", status);
    std::vector<std::string> empty = {"CheckFile: C:\\e.zip", "CheckArchive: C:\\e.zip - Archive ZIP",
                                      "CheckArchive: C:\\e.zip - Archive ZIP - Ok"};
    EXPECT_EQ(empty, ScanLines());

    EXPECT_EQ(0, CheckArchiveFile("C:\\p.zip"));
    EXPECT_STREQ("Ok", status);
    std::vector<std::string> skipped = {
        "CheckFile: C:\\p.zip",
        "CheckArchive: C:\\p.zip - Archive ZIP",
        "CheckArchive: C:\\p.zip\\a.txt - Ok",
        "CheckArchive: Incomplete or password protected file",
        "CheckArchive: Incomplete or password protected file",
        "CheckArchive: C:\\p.zip\\end.txt - Ok",
        "CheckArchive: C:\\p.zip\\b.txt - Ok",
        "CheckArchive: C:\\p.zip - Archive ZIP - Ok",
    };
    EXPECT_EQ(skipped, ScanLines());
    EXPECT_EQ(6, CountOps("GetNextFileHeader"));
}

TEST_F(ArchiveWalk, EventsOnlyDropsTheCleanSummaryWithNothingPending) {
    PrepareEngine();
    Flag(setting::kLogEventsOnly);
    te.DefineArchive("C:\\c.zip", 0, 0);
    te.Member("C:\\c.zip", "one.txt", 0, 0);
    te.Member("C:\\c.zip", "two.txt", 0, 0);
    te.DefineArchive("C:\\f.zip", 0, 0);
    te.Member("C:\\f.zip", "x", 0, 0x20);
    StartEngine();
    EXPECT_EQ(0, CheckArchiveFile("C:\\c.zip"));
    EXPECT_STREQ("Ok", status);
    EXPECT_EQ(-3, CheckArchiveFile("C:\\f.zip"));
    std::vector<std::string> expected = {
        "CheckFile: C:\\c.zip",
        "CheckArchive: C:\\c.zip - Archive ZIP",
        "CheckArchive: C:\\c.zip\\one.txt - Ok",
        "CheckArchive: C:\\c.zip\\two.txt - Ok",
        // The next line starts with its own text: no prefix was left behind.
        "CheckFile: C:\\f.zip",
        "CheckArchive: C:\\f.zip - Archive ZIP",
        "CheckArchive: C:\\f.zip - Archive ZIP - read error ",
    };
    EXPECT_EQ(expected, ScanLines());
}

TEST_F(ArchiveWalk, SixtyFiveLevelsWalkedAndTheSixtySixthRefused) {
    PrepareEngine();
    DefineChain("C:\\d65.zip", 65, "bottom.txt");
    DefineChain("C:\\d66.zip", 66, "bottom.txt");
    StartEngine();

    EXPECT_EQ(0, CheckArchiveFile("C:\\d65.zip"));
    EXPECT_STREQ("Ok", status);
    std::vector<std::string> lines = ScanLines();
    ASSERT_EQ(1u + 65 * 2 + 1, lines.size());
    EXPECT_EQ("CheckArchive: C:\\d65.zip\\L64.zip\\bottom.txt - Ok", lines[1 + 65]);
    EXPECT_EQ(65, CountOps("OpenArchive"));
    EXPECT_EQ(65, CountOps("CloseArchive"));

    EXPECT_EQ(-3, CheckArchiveFile("C:\\d66.zip"));
    EXPECT_STREQ("Archive level is too deep, skipped", status);
    lines = ScanLines();
    ASSERT_EQ(1u + 66 + 1 + 65, lines.size());
    EXPECT_EQ("CheckArchive: C:\\d66.zip\\L65.zip - Archive ZIP", lines[66]);
    EXPECT_EQ("Archive level is too deep, skipped", lines[67]);
    EXPECT_EQ("CheckArchive: C:\\d66.zip\\L64.zip - Archive ZIP - Archive level is too deep, skipped", lines[68]);
    EXPECT_EQ("CheckArchive: C:\\d66.zip - Archive ZIP - Archive level is too deep, skipped", lines.back());
    EXPECT_EQ(65, CountOps("OpenArchive"));
    EXPECT_EQ(65, CountOps("CloseArchive"));
    EXPECT_EQ(65, CountOps("GetNextFileHeader 512"));
    ExpectFullDepthAvailable();
}

TEST_F(ArchiveWalk, ThousandLevelsDeepIsStoppedByTheDepthLimit) {
    PrepareEngine();
    DefineChain("C:\\deep.zip", 1000);
    StartEngine();
    EXPECT_EQ(-3, CheckArchiveFile("C:\\deep.zip"));
    EXPECT_STREQ("Archive level is too deep, skipped", status);
    EXPECT_EQ(65, CountOps("OpenArchive"));
    ExpectFullDepthAvailable();
}

TEST_F(ArchiveWalk, EveryFailingOperationEndsTheWalkWithItsText) {
    struct Case {
        const char* name;
        void (*script)(TestEngineApi& te, const std::string& key);
        const char* status;
        std::vector<std::string> lines;  // after "CheckFile: <key>"; %K is the key
    };
    const Case cases[] = {
        {"archiver name",
         [](TestEngineApi& te, const std::string& k) { te.SetArchiverName(k.c_str(), "", -1, -1); },
         "<unknown status>",
         {"ERROR: Engine error (EngineLastArchiverName)"}},
        {"nested archiver name",
         [](TestEngineApi& te, const std::string& k) {
             te.DefineArchive(k.c_str(), 0, 0);
             te.Member(k, "in.zip", 0, 0x1000, (k + "/in").c_str());
             te.SetArchiverName((k + "/in").c_str(), "", -1, -1);
             te.Member(k, "never.txt", 0, 0);
         },
         "Engine error (EngineLastArchiverName)",
         {"CheckArchive: %K - Archive ZIP", "ERROR: Engine error (EngineLastArchiverName)",
          "CheckArchive: %K - Archive ZIP - Engine error (EngineLastArchiverName)"}},
        {"open error",
         [](TestEngineApi& te, const std::string& k) { te.DefineArchive(k.c_str(), -1, 0); },
         "Engine error (EngineOpenArchive)",
         {"CheckArchive: %K - Archive ZIP", "ERROR: Engine error (EngineOpenArchive)",
          "CheckArchive: %K - Archive ZIP - Engine error (EngineOpenArchive)"}},
        {"nothing to walk",
         [](TestEngineApi& te, const std::string& k) { te.DefineArchive(k.c_str(), 3, 0); },
         "",
         {"CheckArchive: %K - Archive ZIP", "CheckArchive: %K - Archive ZIP - "}},
        {"header error",
         [](TestEngineApi& te, const std::string& k) {
             te.DefineArchive(k.c_str(), 0, 0);
             te.Member(k, "x", -1, 0);
         },
         "Engine error (EngineGetNextFileHeader)",
         {"CheckArchive: %K - Archive ZIP", "Engine error (EngineGetNextFileHeader)",
          "CheckArchive: %K - Archive ZIP - Engine error (EngineGetNextFileHeader)"}},
        {"header bits",
         [](TestEngineApi& te, const std::string& k) {
             te.DefineArchive(k.c_str(), 0, 0);
             te.Member(k, "x", 0x6000, 0);
         },
         "CRC error invalid archive header ",
         {"CheckArchive: %K - Archive ZIP", "CRC error invalid archive header ",
          "CheckArchive: %K - Archive ZIP - CRC error invalid archive header "}},
        {"extract error",
         [](TestEngineApi& te, const std::string& k) {
             te.DefineArchive(k.c_str(), 0, 0);
             te.Member(k, "x", 0, -1);
         },
         "Engine error (EngineExtractNextFile)",
         {"CheckArchive: %K - Archive ZIP", "ERROR: Engine error (EngineExtractNextFile)",
          "CheckArchive: %K - Archive ZIP - Engine error (EngineExtractNextFile)"}},
        {"password and read error",
         [](TestEngineApi& te, const std::string& k) {
             te.DefineArchive(k.c_str(), 0, 0);
             te.Member(k, "x", 0, 0x120);
             te.Member(k, "never.txt", 0, 0);
         },
         "read error password protected, skipped ",
         {"CheckArchive: %K - Archive ZIP",
          "CheckArchive: %K - Archive ZIP - read error password protected, skipped "}},
        {"every status bit in order",
         [](TestEngineApi& te, const std::string& k) {
             te.DefineArchive(k.c_str(), 0, 0);
             te.Member(k, "x", 0, 0x263F8);
         },
         " - cured - incurableread error write error unpacking error password protected, skipped splitted, skipped "
         "CRC error invalid archive header ",
         {"CheckArchive: %K - Archive ZIP",
          "CheckArchive: %K - Archive ZIP -  - cured - incurableread error write error unpacking error password "
          "protected, skipped splitted, skipped CRC error invalid archive header "}},
    };
    PrepareEngine();
    int n = 0;
    for (const Case& c : cases) {
        const std::string key = "C:\\fail" + std::to_string(++n) + ".zip";
        c.script(te, key);
    }
    StartEngine();
    n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = "C:\\fail" + std::to_string(++n) + ".zip";
        EXPECT_EQ(-3, CheckArchiveFile(key));
        EXPECT_STREQ(c.status, status);
        std::vector<std::string> expected = {"CheckFile: " + key};
        for (std::string line : c.lines) {
            size_t at = line.find("%K");
            if (at != std::string::npos) line.replace(at, 2, key);
            expected.push_back(line);
        }
        EXPECT_EQ(expected, ScanLines());
        // Opened levels are closed, also when the open failed.
        EXPECT_EQ(CountOps("OpenArchive"), CountOps("CloseArchive"));
        ExpectFullDepthAvailable();
    }
}

TEST_F(ArchiveWalk, NamesFromTheEngineAreReadWithinTheirBuffers) {
    PrepareEngine();
    te.DefineArchive("C:\\n.zip", 0, 0);
    const std::string longMember(1024, 'm');
    te.AddMember("C:\\n.zip", longMember.data(), 1024, 0, 0, "long");
    te.AddMember("C:\\n.zip", longMember.data(), 1024, 0, 0x1000, "nested");
    te.DefineArchive("nested", 0, 0);
    const std::string longArchiver(21, 'R');
    te.SetArchiverName("nested", longArchiver.data(), 21, 0);
    StartEngine();
    EXPECT_EQ(0, CheckArchiveFile("C:\\n.zip"));
    std::vector<std::string> lines = ScanLines();
    ASSERT_EQ(6u, lines.size());
    const std::string member512(512, 'm');
    EXPECT_EQ("CheckArchive: C:\\n.zip\\" + member512 + " - Ok", lines[2]);
    const std::string nestedHead = "CheckArchive: C:\\n.zip\\" + member512 + " - Archive ";
    ASSERT_EQ(0u, lines[3].compare(0, nestedHead.size(), nestedHead));
    const std::string archiver = lines[3].substr(nestedHead.size());
    EXPECT_GE(archiver.size(), 20u);
    EXPECT_LE(archiver.size(), 21u);
    EXPECT_EQ(std::string(archiver.size(), 'R'), archiver);
}

TEST_F(ArchiveWalk, EndlessMemberListIsBounded) {
    PrepareEngine();
    te.DefineArchive("C:\\loop.zip", 0, TE_ARCHIVE_ENDLESS);
    te.Member("C:\\loop.zip", "again.txt", 0, 0x100);
    StartEngine();
    te.SetRecording(0);
    EXPECT_EQ(-3, CheckArchiveFile("C:\\loop.zip"));
    te.SetRecording(1);
    EXPECT_STREQ("Archive lists too many members, walk stopped", status);
    std::vector<std::string> lines = ScanLines();
    // Each member examined writes one line; the bound is 65536 members.
    ASSERT_EQ(2u + 65536 + 2, lines.size());
    EXPECT_EQ("CheckArchive: Incomplete or password protected file", lines[2 + 65535]);
    EXPECT_EQ("Archive lists too many members, walk stopped", lines[lines.size() - 2]);
    EXPECT_EQ("CheckArchive: C:\\loop.zip - Archive ZIP - Archive lists too many members, walk stopped", lines.back());
    ExpectFullDepthAvailable();
}

TEST_F(ArchiveWalk, FaultInsideTheCloseIsTracedAndTheWalkGoesOnButTheCheckFails) {
    PrepareEngine();
    te.DefineArchive("C:\\close.zip", 0, 0);
    te.Member("C:\\close.zip", "a.txt", 0, 0);
    te.SetFault(15, TE_FAULT_ACCESS_VIOLATION, nullptr);
    StartEngine();
    // The engine faulted: its "clean" is not trusted.
    EXPECT_EQ(-3, CheckArchiveFile("C:\\close.zip"));
    EXPECT_STREQ("Engine error", status);
    std::vector<std::string> lines = ScanLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("CheckArchive: C:\\close.zip - Archive ZIP - Ok", lines.back());
    bool traced = false;
    for (const std::string& e : recorder->Events()) traced |= e.compare(0, 18, "trace: EXCEPTION: ") == 0;
    EXPECT_TRUE(traced);
}
