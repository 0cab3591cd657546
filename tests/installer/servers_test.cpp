// The installer helper's texts: the server list, the clamd.vdb it merges
// into and the options it accepts.
#include "servers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "config.h"

namespace {

using orlixinst::CheckOptions;
using orlixinst::MergeServers;
using orlixinst::ParseServerList;
using orlixinst::ServersOf;

TEST(ServerList, TakesWhatTheBridgeTakes) {
    std::vector<std::string> servers;
    std::string bad;
    ASSERT_TRUE(ParseServerList(" a:3310,,[::1]:3311; b.example:1 ", &servers, &bad));
    EXPECT_EQ((std::vector<std::string>{"a:3310", "[::1]:3311", "b.example:1"}), servers);

    const char* const rejected[][2] = {
        {"", ""}, {" , ", " , "}, {"a:3310,b", "b"}, {"::1:3310", "::1:3310"}, {"a:0", "a:0"}, {"a:70000", "a:70000"},
    };
    for (const auto& row : rejected) {
        EXPECT_FALSE(ParseServerList(row[0], &servers, &bad)) << row[0];
        EXPECT_EQ(row[1], bad) << row[0];
    }
}

TEST(ClamdVdb, ReplacesOnlyTheServerLines) {
    const std::string old =
        "# mine\r\n"
        "  Server old1:3310   # first\r\n"
        "reply-timeout 30s\r\n"
        "server old2:3310\r\n"
        "serverless yes\r\n"
        "chunk 128K";
    EXPECT_EQ(
        "# mine\r\n"
        "server new:3310\r\n"
        "server [::1]:3310\r\n"
        "reply-timeout 30s\r\n"
        "serverless yes\r\n"
        "chunk 128K\r\n",
        MergeServers(old, {"new:3310", "[::1]:3310"}));
    // Without a server line the servers go at the end.
    EXPECT_EQ("chunk 128K\nserver a:1\r\n", MergeServers("chunk 128K\n", {"a:1"}));
    // A new file names the servers and the timeouts.
    std::string fresh = MergeServers("", {"a:1", "b:2"});
    EXPECT_EQ("a:1,b:2", ServersOf(fresh));
    EXPECT_NE(std::string::npos, fresh.find("reply-timeout")) << fresh;
}

// The default file: what a new installation gets for the local clamd, and
// the portable zip's sample.
TEST(ClamdVdb, TheDefaultIsWhatTheInstallerWrites) {
    std::ifstream in(ORLIX_ROOT "/engines/clamd/clamd.vdb", std::ios::binary);
    const std::string shipped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(shipped.empty());
    EXPECT_EQ(shipped, MergeServers("", {"127.0.0.1:3310"}));
    // Windows line ends, as existing installations have them (a checkout must not convert them).
    clamdbridge::Settings settings;
    size_t i = 0;
    while (i < shipped.size()) {
        size_t end = shipped.find("\r\n", i);
        ASSERT_NE(std::string::npos, end) << "a line without CRLF at " << i;
        std::string line = shipped.substr(i, end - i);
        EXPECT_EQ(std::string::npos, line.find('\n')) << line;
        EXPECT_TRUE(clamdbridge::ApplyConfigLine(line, settings)) << line;
        i = end + 2;
    }
    EXPECT_EQ("127.0.0.1:3310", ServersOf(shipped));
}

TEST(ClamdVdb, ServersOfSkipsWhatTheBridgeRejects) {
    EXPECT_EQ("a:1,[::1]:2", ServersOf("server a:1\nserver nope\n# server c:3\nSERVER [::1]:2 # x\r\n"));
    EXPECT_EQ("", ServersOf("reply-timeout 2s\n"));
}

TEST(Options, AcceptsTheInstallersOwnAndNamesTheFirstBadOne) {
    EXPECT_EQ("", CheckOptions({}));
    EXPECT_EQ("", CheckOptions({"/S", "/ncrc", "/engine=CLAMD", "/SERVERS=a:3310,b:3310"}));
    EXPECT_EQ("", CheckOptions({"/SERVERS=a:3310"}));
    const std::vector<std::vector<std::string>> rejected = {
        {"/ENGINE=fast"}, {"/SERVERS=a"}, {"/ENGINE=reference", "/SERVERS=a:1"}, {"/X"}, {"/D=C:\\My Folder"}, {"S"},
    };
    for (const auto& options : rejected) EXPECT_NE("", CheckOptions(options)) << options.back();
    EXPECT_NE(std::string::npos, CheckOptions({"/D=C:\\My Folder"}).find("last and without quotes"));
}

}  // namespace
