// The installer helper's clamav.vdb: the folder it accepts, the database
// line it writes and reads back, and the options that name the folder.
#include "clamdb.h"

#include <gtest/gtest.h>

#include "servers.h"

namespace {

using orlixinst::ClamDbFolderProblem;
using orlixinst::ClamDbOf;
using orlixinst::CommandLineTail;
using orlixinst::MergeClamDb;

TEST(ClamDbFolder, RefusesWhatTheEngineWouldReadOtherwise) {
    for (const char* fine : {"C:\\Program Files\\ClamAV\\database", "c:/clamav/db", "C:\\", "\\\\server\\share\\db",
                             "C:\\a #1\\b", "C:\\ClamAV\\main.cvd"}) {
        EXPECT_EQ("", ClamDbFolderProblem(fine)) << fine;
    }
    for (const char* bad : {"", " C:\\db", "C:\\db ", "C:\\db\t", "db", "\\db", "C:db", "\\\\", "C:\\a\"b", "C:\\a|b",
                            "C:\\a?", "C:\\a:b", "C:\\a\nb", "C:\\a\rb"}) {
        EXPECT_NE("", ClamDbFolderProblem(bad)) << bad;
    }
    // Every database file the engine opens in it must stay within MAX_PATH.
    const std::string longest = "C:\\" + std::string(243, 'a');
    EXPECT_EQ("", ClamDbFolderProblem(longest));
    EXPECT_NE("", ClamDbFolderProblem(longest + "a"));
    EXPECT_EQ("", ClamDbFolderProblem(longest + "\\"));
}

TEST(ClamDbVdb, WritesOneLineTheEngineReadsBack) {
    const std::string fresh = MergeClamDb("", "C:\\Program Files\\ClamAV\\database\\");
    EXPECT_NE(std::string::npos, fresh.find("\r\ndatabase C:\\Program Files\\ClamAV\\database\r\n")) << fresh;
    EXPECT_EQ("C:\\Program Files\\ClamAV\\database", ClamDbOf(fresh));
    // A '#' is part of the path; a dotted last name gets a separator, or
    // the engine would take "db.cvd" for a container.
    const char* const folders[][2] = {
        {"C:\\a #1 b", "database C:\\a #1 b\r\n"},
        {"C:\\x\\db.cvd", "database C:\\x\\db.cvd\\\r\n"},
        {"C:\\x.y\\db", "database C:\\x.y\\db\r\n"},
        {"C:\\", "database C:\\\r\n"},
        {"D:\\\\", "database D:\\\r\n"},
    };
    for (const auto& row : folders) {
        const std::string text = MergeClamDb("", row[0]);
        EXPECT_EQ(row[1], text.substr(text.rfind("database"))) << row[0];
        EXPECT_EQ(orlixinst::NormalFolder(row[0]), ClamDbOf(text)) << row[0];
    }
}

TEST(ClamDbVdb, ReplacesOnlyTheFirstDatabaseLine) {
    const std::string old =
        "# mine\n"
        "  database   C:\\old  \r\n"
        "database extra\\local.hdb\r\n"
        "Database C:\\not-a-keyword\r\n"
        "database";
    EXPECT_EQ("C:\\old", ClamDbOf(old));
    EXPECT_EQ(
        "# mine\n"
        "database C:\\new\r\n"
        "database extra\\local.hdb\r\n"
        "Database C:\\not-a-keyword\r\n"
        "database\r\n",
        MergeClamDb(old, "C:\\new"));
    // Without a database line the folder goes at the end.
    EXPECT_EQ("# none\r\ndatabase C:\\db\r\n", MergeClamDb("# none\r\n", "C:\\db"));
    EXPECT_EQ("", ClamDbOf("# database C:\\db\ndatabase \t\r\nDATABASE C:\\db\n"));
}

TEST(ClamDbVdb, TakesTheFolderVerbatimFromTheCommandLine) {
    EXPECT_EQ(" C:\\a b\\ ", CommandLineTail("\"C:\\t m p\\orlixinst.exe\" clamdb-folder  C:\\a b\\ ", 2));
    EXPECT_EQ("C:\\x\\", CommandLineTail("orlixinst.exe write-clamdb \"C:\\my folder\\clamav.vdb\" C:\\x\\", 3));
    EXPECT_EQ("", CommandLineTail("orlixinst.exe clamdb-folder", 2));
}

TEST(Options, TakeTheClamAVFolderForItsOwnChoiceOnly) {
    EXPECT_EQ("", orlixinst::CheckOptions({"/S", "/ENGINE=clamav-db", "/CLAMDB=C:\\some folder\\db"}));
    EXPECT_EQ("", orlixinst::CheckOptions({"/clamdb=C:\\db"}));
    const std::vector<std::vector<std::string>> rejected = {
        {"/CLAMDB="},
        {"/CLAMDB=db"},
        {"/CLAMDB= C:\\db"},
        {"/ENGINE=reference", "/CLAMDB=C:\\db"},
        {"/ENGINE=clamd", "/CLAMDB=C:\\db"},
        {"/SERVERS=a:1", "/CLAMDB=C:\\db"},
        {"/ENGINE=clamav-db", "/SERVERS=a:1"},
    };
    for (const auto& options : rejected) EXPECT_NE("", orlixinst::CheckOptions(options)) << options.back();
    EXPECT_EQ("C:\\one", orlixinst::OptionValueOf({"/S", "/ClamDB=C:\\one", "/CLAMDB=C:\\two"}, "CLAMDB"));
    EXPECT_EQ("", orlixinst::OptionValueOf({"/S"}, "CLAMDB"));
}

}  // namespace
