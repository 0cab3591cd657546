// The report log, exercised on the code the plug-in links.
#include "report/log.h"

#include <gtest/gtest.h>

#include <regex>

#include "base/path.h"
#include "common/scratch.h"
#include "settings/settings.h"

namespace {

class ReportLog : public ::testing::Test {
protected:
    void SetUp() override {
        saved = CurrentSettings();
        CurrentSettings().LogEnabled = true;
        CurrentSettings().LogPath = dir.path();
        DiscardPendingLogText();
    }
    void TearDown() override {
        DiscardPendingLogText();
        CurrentSettings() = saved;
    }
    std::vector<std::string> Lines() { return ReadLogLines(dir.path()); }
    TempDir dir;
    Settings saved;
};

}  // namespace

TEST_F(ReportLog, PiecesBecomeOneLine) {
    LogAppend("A");
    LogAppend("B");
    LogLine("C");
    EXPECT_EQ(std::vector<std::string>{"ABC"}, Lines());
    EXPECT_EQ("", PendingLogText());
}

TEST_F(ReportLog, FlushWithNothingPendingWritesTimestampOnly) {
    LogFlush();
    std::vector<std::string> raw = ReadRawLogLines(dir.path());
    ASSERT_EQ(1u, raw.size());
    EXPECT_TRUE(std::regex_match(raw[0], std::regex(R"(\S+ \S+( \S+)?  )"))) << raw[0];
    EXPECT_EQ(LogTimestamp().size(), raw[0].size());
    std::string bytes = ReadFileBytes(dir.File("orxbat!.log"));
    EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2));
}

TEST_F(ReportLog, FlushWritesPendingText) {
    LogAppend("X");
    LogFlush();
    LogLine("Y");
    EXPECT_EQ((std::vector<std::string>{"X", "Y"}), Lines());
}

TEST_F(ReportLog, ErrorLineLeavesPendingTextAlone) {
    LogAppend("P");
    LogError("E");
    EXPECT_EQ("P", PendingLogText());
    LogLine("Q");
    EXPECT_EQ((std::vector<std::string>{"ERROR: E", "PQ"}), Lines());
}

TEST_F(ReportLog, TimestampFollowsRegionalFormats) {
    CaptureRegionalSettings();
    for (int attempt = 0; attempt < 5; ++attempt) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char date[128] = "", time[128] = "";
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date);
        GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof time);
        std::string stamp = LogTimestamp();
        SYSTEMTIME after;
        GetLocalTime(&after);
        if (after.wSecond != now.wSecond) continue;
        EXPECT_EQ(std::string(date) + " " + time + "  ", stamp);
        return;
    }
    FAIL() << "clock kept crossing a second";
}

TEST_F(ReportLog, DisabledOrEmptyPathWritesNothing) {
    CurrentSettings().LogEnabled = false;
    LogAppend("dropped");
    LogLine("too");
    EXPECT_EQ("", PendingLogText());
    LogError("no");
    CurrentSettings().LogEnabled = true;
    CurrentSettings().LogPath.clear();
    LogLine("nowhere");
    LogFlush();
    EXPECT_FALSE(FileExists(dir.File("orxbat!.log")));
}

TEST_F(ReportLog, TrailingSeparatorGetsSecondBackslash) {
    CurrentSettings().LogPath = dir.path() + "\\";
    LogLine("doubled");
    // C:\Logs\ + \orxbat!.log: the system folds the doubled separator.
    EXPECT_EQ(std::vector<std::string>{"doubled"}, Lines());
}

TEST_F(ReportLog, MissingFolderLosesLineSilently) {
    CurrentSettings().LogPath = dir.File("missing");
    LogLine("lost");
    EXPECT_FALSE(FileExists(dir.File("missing")));
    EXPECT_EQ("", PendingLogText());
}

TEST_F(ReportLog, AppendsToExistingFile) {
    ASSERT_TRUE(WriteFileBytes(dir.File("orxbat!.log"), "old content\r\n"));
    LogLine("new");
    std::string bytes = ReadFileBytes(dir.File("orxbat!.log"));
    EXPECT_EQ(0u, bytes.find("old content\r\n"));
    EXPECT_EQ(std::vector<std::string>({"old content", "new"}), Lines());
}

TEST_F(ReportLog, LockedFileLosesLineButKeepsGoing) {
    HANDLE locked = CreateFileA(dir.File("orxbat!.log").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    LogLine("blocked");
    CloseHandle(locked);
    LogLine("after");
    EXPECT_EQ(std::vector<std::string>{"after"}, Lines());
}

TEST(JoinPath, JoinsWithOneSeparator) {
    EXPECT_EQ("x", JoinPath("", "x"));
    EXPECT_EQ("C:\\a\\x", JoinPath("C:\\a", "x"));
    EXPECT_EQ("C:\\a/x", JoinPath("C:\\a/", "x"));
    EXPECT_EQ("C:\\a\\x", JoinPath("C:\\a\\", "x"));
    EXPECT_EQ("C:\\a\\", JoinPath("C:\\a", ""));
    EXPECT_EQ("", JoinPath("", ""));
}
