// The file check: every row of the classification, its precedences, the
// verdict texts and lines, and names that do not fit their buffers.
#include "engine_fixture.h"

namespace {
struct Row {
    int32_t answer;
    int32_t result;
    const char* status;
    const char* verdictLine;  // after the heading; null for none
    int virusNameFetches;
};
}  // namespace

class CheckFileTest : public EngineFixture {};

TEST_F(CheckFileTest, EveryRowWithItsTextsAndLines) {
    const Row rows[] = {
        {-1, -3, "Engine error", "ERROR: CheckFile: C:\\m\\f - Engine error", 0},
        {0, 0, "Ok", "CheckFile: C:\\m\\f - Ok", 0},
        {0x4, 2, "Probably infected byW32.Test", "CheckFile: C:\\m\\f - Probably infected byW32.Test", 1},
        {0x1, 1, "Infected by W32.Test", "CheckFile: C:\\m\\f - Infected by W32.Test", 1},
        {0x2, 1, "Infected by modification of W32.Test", "CheckFile: C:\\m\\f - Infected by modification of W32.Test",
         1},
        // Precedences: 0x4 over 0x1 over 0x2.
        {0x5, 2, "Probably infected byW32.Test", "CheckFile: C:\\m\\f - Probably infected byW32.Test", 1},
        {0x3, 1, "Infected by W32.Test", "CheckFile: C:\\m\\f - Infected by W32.Test", 1},
        {0x6, 2, "Probably infected byW32.Test", "CheckFile: C:\\m\\f - Probably infected byW32.Test", 1},
        // Error bits alone fail the check with their texts; a find outranks them.
        {0x20, -3, "read error ", "CheckFile: C:\\m\\f - read error ", 0},
        {0x61C0, -3, "write error unpacking error password protected, skipped CRC error invalid archive header ",
         "CheckFile: C:\\m\\f - write error unpacking error password protected, skipped CRC error invalid archive "
         "header ",
         0},
        {0x20000, -3, "splitted, skipped ", "CheckFile: C:\\m\\f - splitted, skipped ", 0},
        {0x21, 1, "Infected by W32.Test", "CheckFile: C:\\m\\f - Infected by W32.Test", 1},
        // A lone password bit passes, with the line a skipped member gets.
        {0x100, 0, "<unknown status>", "CheckArchive: Incomplete or password protected file", 0},
        // Bits this check does not read: clean without a verdict line.
        {0x8, 0, "<unknown status>", nullptr, 0},
        {static_cast<int32_t>(0x7FFD0E00), 0, "<unknown status>", nullptr, 0},
    };
    PrepareEngine();
    te.VirusName("*", "W32.Test");
    StartEngine();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answer);
        te.QueueScan("C:\\m\\f", 0, row.answer);
        ClearRecords();
        MarkStatus();
        EXPECT_EQ(row.result, api.CheckFile("C:\\m\\f", status));
        EXPECT_STREQ(row.status, status);
        std::vector<std::string> expected = {"CheckFile: C:\\m\\f"};
        if (row.verdictLine) expected.push_back(row.verdictLine);
        EXPECT_EQ(expected, ScanLines());
        EXPECT_EQ(row.virusNameFetches, CountOps("LastVirusName"));
        std::vector<std::string> ops = Ops();
        ASSERT_FALSE(ops.empty());
        EXPECT_EQ("ScanFile 0 1 C:\\m\\f 0", ops[0]);
    }
}

TEST_F(CheckFileTest, ArchiveBitOutranksVirusBitsAndObeysCheckArchives) {
    PrepareEngine();
    Flag(setting::kCheckArchives, false);
    te.VirusName("*", "W32.Test");
    StartEngine();
    te.QueueScan("C:\\m\\a.zip", 0, 0x1001);
    MarkStatus();
    EXPECT_EQ(0, api.CheckFile("C:\\m\\a.zip", status));
    EXPECT_STREQ("<unknown status>", status);
    std::vector<std::string> expected = {"CheckFile: C:\\m\\a.zip",
                                         "CheckFile: C:\\m\\a.zip - Archive not scanned, disabled by a user"};
    EXPECT_EQ(expected, ScanLines());
    EXPECT_EQ(0, CountOps("LastVirusName"));
    EXPECT_EQ(0, CountOps("OpenArchive"));
}

TEST_F(CheckFileTest, ArchiveWithVirusBitsIsWalked) {
    PrepareEngine();
    te.DefineArchive("C:\\m\\a.zip", 0, 0);
    StartEngine();
    te.QueueScan("C:\\m\\a.zip", 0, 0x1005);
    EXPECT_EQ(0, api.CheckFile("C:\\m\\a.zip", status));
    EXPECT_STREQ("Ok", status);
    EXPECT_EQ(1, CountOps("OpenArchive"));
}

TEST_F(CheckFileTest, EventsOnlyLeavesOutOnlyTheCleanLine) {
    PrepareEngine();
    Flag(setting::kLogEventsOnly);
    Flag(setting::kCheckArchives, false);
    te.VirusName("*", "W32.Test");
    StartEngine();
    te.QueueScan("C:\\m\\c", 0, 0);
    EXPECT_EQ(0, api.CheckFile("C:\\m\\c", status));
    EXPECT_STREQ("Ok", status);
    te.QueueScan("C:\\m\\v", 0, 0x1);
    EXPECT_EQ(1, api.CheckFile("C:\\m\\v", status));
    te.QueueScan("C:\\m\\d", 0, 0x1000);
    EXPECT_EQ(0, api.CheckFile("C:\\m\\d", status));
    te.QueueScan("C:\\m\\e", 0, -1);
    EXPECT_EQ(-3, api.CheckFile("C:\\m\\e", status));
    std::vector<std::string> expected = {"CheckFile: C:\\m\\c",
                                         "CheckFile: C:\\m\\v",
                                         "CheckFile: C:\\m\\v - Infected by W32.Test",
                                         "CheckFile: C:\\m\\d",
                                         "CheckFile: C:\\m\\d - Archive not scanned, disabled by a user",
                                         "CheckFile: C:\\m\\e",
                                         "ERROR: CheckFile: C:\\m\\e - Engine error"};
    EXPECT_EQ(expected, ScanLines());
}

TEST_F(CheckFileTest, NamesBeginningWithHashesAreShownAsMemoryObjects) {
    PrepareEngine();
    te.VirusName("*", "Mem.Virus");
    StartEngine();
    te.QueueScan("##notes.txt", 0, 0x1);
    EXPECT_EQ(1, api.CheckFile("##notes.txt", status));
    std::vector<std::string> expected = {"CheckFile: (Object is in memory)",
                                         "CheckFile: [memory object] - Infected by Mem.Virus"};
    EXPECT_EQ(expected, ScanLines());
    EXPECT_EQ("ScanFile 0 1 ##notes.txt 0", Ops().at(0));  // the engine gets the real name
}

TEST_F(CheckFileTest, UnterminatedVirusNameStaysInsideStatusText) {
    PrepareEngine();
    const std::string longName(260, 'V');
    te.SetVirusName("*", longName.data(), 260);
    StartEngine();
    te.QueueScan("C:\\m\\g", 0, 0x2);
    memset(status, 'Z', sizeof status);
    EXPECT_EQ(1, api.CheckFile("C:\\m\\g", status));
    const std::string expected = "Infected by modification of " + std::string(257, 'V');
    EXPECT_EQ(expected, std::string(status));
    EXPECT_EQ(285u, strlen(status));
    for (size_t i = 286; i < sizeof status; ++i) ASSERT_EQ('Z', status[i]) << "byte " << i << " written";
    std::vector<std::string> lines = ScanLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("CheckFile: C:\\m\\g - " + expected, lines[1]);
}
