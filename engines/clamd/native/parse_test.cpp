// The base file, its configuration lines and clamd's replies, as the bridge reads them.
#include <gtest/gtest.h>

#include <algorithm>

#include "base_file.h"
#include "config.h"
#include "reply.h"

using namespace clamdbridge;

TEST(ClamdConfig, LinesSetTheirValuesAndMalformedOnesChangeNothing) {
    Settings s;
    for (const char* line :
         {"# a comment", "", "   ", "server 127.0.0.1:3310", "server clamd.example.org:3311  # second",
          "server [::1]:3312\r", "connect-timeout 500ms", "reply-timeout 3", "down-time 2s", "max-object 10M",
          "chunk 16K", "MAX-OBJECT 1048576", "session-idle 5s", "balance Spread"}) {
        EXPECT_TRUE(ApplyConfigLine(line, s)) << line;
    }
    ASSERT_EQ(s.servers.size(), 3u);
    EXPECT_EQ(Describe(s.servers[0]), "127.0.0.1:3310");
    EXPECT_EQ(s.servers[1].host, "clamd.example.org");
    EXPECT_EQ(s.servers[2].host, "::1");
    EXPECT_EQ(Describe(s.servers[2]), "[::1]:3312");
    EXPECT_EQ(s.connectTimeoutMs, 500u);
    EXPECT_EQ(s.replyTimeoutMs, 3000u);
    EXPECT_EQ(s.downTimeMs, 2000u);
    EXPECT_EQ(s.maxObject, 1048576u);
    EXPECT_EQ(s.chunk, 16384u);
    EXPECT_EQ(s.sessionIdleMs, 5000u);
    EXPECT_TRUE(s.spread);
    EXPECT_TRUE(ApplyConfigLine("session-idle off", s));
    EXPECT_EQ(s.sessionIdleMs, 0u);
    EXPECT_TRUE(ApplyConfigLine("balance order", s));
    EXPECT_FALSE(s.spread);

    Settings before = s;
    for (const char* line : {"server",
                             "server 127.0.0.1",
                             "server :3310",
                             "server host:0",
                             "server host:65536",
                             "server ::1:3310",
                             "server host:33x",
                             "server a b:1",
                             "server ho/st:1",
                             "connect-timeout 0",
                             "connect-timeout 2h",
                             "reply-timeout -1",
                             "reply-timeout 99999999999999999999",
                             "max-object 0",
                             "max-object 5G",
                             "max-object 4097M",
                             "chunk 1",
                             "chunk 9M",
                             "servers 127.0.0.1:1",
                             "max-object",
                             "chunk 64 K",
                             "session-idle 0",
                             "session-idle never",
                             "balance random"}) {
        EXPECT_FALSE(ApplyConfigLine(line, s)) << line;
    }
    EXPECT_EQ(s.servers.size(), before.servers.size());
    EXPECT_EQ(s.connectTimeoutMs, before.connectTimeoutMs);
    EXPECT_EQ(s.replyTimeoutMs, before.replyTimeoutMs);
    EXPECT_EQ(s.maxObject, before.maxObject);
    EXPECT_EQ(s.chunk, before.chunk);
    EXPECT_EQ(s.sessionIdleMs, before.sessionIdleMs);
    EXPECT_EQ(s.spread, before.spread);
}

TEST(ClamdBaseFile, LinesSplitTheSameInAnyPiecesAndBadOnesAreCountedFromTheFirst) {
    // A CRLF line, a bad keyword on line 3, an overlong line on line 5, and a
    // last line without its line end.
    const std::string text = "server 127.0.0.1:3310\r\n# comment\nbogus 1\n\nserver " + std::string(5000, 'a') +
                             ":1\nchunk 16K\nserver [::1]:3311";
    for (size_t piece : {size_t(1), size_t(7), size_t(4096), text.size()}) {
        Settings settings;
        BaseFileParser parser(settings);
        for (size_t at = 0; at < text.size(); at += piece) {
            size_t size = std::min(piece, text.size() - at);
            parser.Feed(reinterpret_cast<const unsigned char*>(text.data() + at), size);
        }
        parser.Finish();
        ASSERT_EQ(settings.servers.size(), 2u) << piece;
        EXPECT_EQ(Describe(settings.servers[1]), "[::1]:3311") << piece;
        EXPECT_EQ(settings.chunk, 16384u) << piece;
        EXPECT_EQ(parser.rejected(), 2) << piece;
        EXPECT_EQ(parser.firstRejected(), 3) << piece;
    }
    // A file that ends with its line end has no empty last line; an empty file no line at all.
    Settings settings;
    BaseFileParser parser(settings);
    parser.Feed(reinterpret_cast<const unsigned char*>("bogus\n"), 6);
    parser.Finish();
    EXPECT_EQ(parser.rejected(), 1);
    BaseFileParser empty(settings);
    empty.Finish();
    EXPECT_EQ(empty.rejected(), 0);
    EXPECT_EQ(empty.firstRejected(), 0);
}

TEST(ClamdReply, VerdictsFindsAndEverythingThatIsNotAVerdict) {
    struct Case {
        const char* text;
        ReplyKind kind;
        const char* name;
    } cases[] = {
        {"stream: OK", ReplyKind::Clean, ""},
        {"stream: OK\n", ReplyKind::Clean, ""},
        {"stream: Eicar-Test-Signature FOUND", ReplyKind::Found, "Eicar-Test-Signature"},
        {"stream: Win.Test.EICAR_HDB-1 FOUND", ReplyKind::Found, "Win.Test.EICAR_HDB-1"},
        {"stream: Heuristics.Encrypted.Zip FOUND", ReplyKind::Heuristic, "Heuristics.Encrypted.Zip"},
        {"stream: Heuristics.Limits.Exceeded.MaxFileSize FOUND", ReplyKind::LimitsExceeded, ""},
        {"INSTREAM size limit exceeded. ERROR", ReplyKind::Error, ""},
        {"stream: Can't allocate memory ERROR", ReplyKind::Error, ""},
        {"", ReplyKind::Garbage, ""},
        {"PONG", ReplyKind::Garbage, ""},
        {"stream: ", ReplyKind::Garbage, ""},
        {"stream: FOUND", ReplyKind::Garbage, ""},
        {"stream:  FOUND", ReplyKind::Garbage, ""},
        {"stream: two words FOUND", ReplyKind::Garbage, ""},
        {"stream: OKAY", ReplyKind::Garbage, ""},
        {"1: stream: OK", ReplyKind::Garbage, ""},
        {"stream: \x01\xff FOUND", ReplyKind::Garbage, ""},
        {"HTTP/1.1 400 Bad Request", ReplyKind::Garbage, ""},
    };
    for (const Case& c : cases) {
        Reply reply = ParseReply(c.text);
        EXPECT_EQ(reply.kind, c.kind) << c.text;
        if (c.kind == ReplyKind::Found || c.kind == ReplyKind::Heuristic) EXPECT_EQ(reply.name, c.name) << c.text;
    }
}

TEST(ClamdReplyInSession, OnlyALeadingRequestNumberCounts) {
    uint32_t number = 0;
    std::string reply;
    EXPECT_TRUE(SplitRequestNumber("12: stream: OK", &number, &reply));
    EXPECT_EQ(number, 12u);
    EXPECT_EQ(reply, "stream: OK");
    EXPECT_TRUE(SplitRequestNumber("4294967295: x", &number, &reply));
    EXPECT_EQ(number, 4294967295u);
    for (const char* text : {"stream: OK", "COMMAND READ TIMED OUT\n", "0: stream: OK", "12:stream: OK", ": x", "",
                             "4294967296: stream: OK", "99999999999: stream: OK", " 1: stream: OK"}) {
        EXPECT_FALSE(SplitRequestNumber(text, &number, &reply)) << text;
    }
}
