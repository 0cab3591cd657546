// The AMSI engine over the native host and a fake of the AMSI functions:
// what is sent (names, lengths, sessions), how answers map to the
// contract's, and that every failure fails the check.
#include <gtest/gtest.h>

#include <memory>

#include "amsi_engine.h"
#include "common/eicar.h"
#include "common/zip_writer.h"
#include "fake_amsi.h"
#include "host/engine_driver.h"
#include "host/files.h"
#include "host/native_host.h"

namespace {

using namespace amsitest;
using nativehost::Hex;

ZipMember Deflated(const std::string& name, const std::string& data) {
    ZipMember m;
    m.name = name;
    m.data = data;
    return m;
}

std::string Filler(size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    return s;
}

class AmsiEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        nativehost::SetTempFolder(dir_.path());
        nativehost::ResetCounters();
        providers_.registered = {DefenderLike()};
        ASSERT_TRUE(engine_->Bind(nativehost::Table(), orlix::kCallbackSlotCount));
    }
    void TearDown() override {
        EXPECT_EQ(nativehost::counters().opened, 0);
        nativehost::ForgetMemoryObjects();
    }

    int32_t Load(const std::string& text = "") {
        const std::string path = dir_.File("amsi.vdb");
        WriteFileBytes(path, text);
        return engine_->LoadBase(path.c_str());
    }
    int32_t Scan(const std::string& name, const std::string& bytes, int32_t mode = orlix::kScanModeCheck) {
        WriteFileBytes(dir_.File(name), bytes);
        return engine_->ScanFile(mode, dir_.File(name).c_str());
    }
    std::string Walk() { return nativehost::Walk(*engine_); }
    std::string VirusName() {
        char name[orlix::kVirusNameBufferSize] = {};
        engine_->LastVirusName(name);
        return name;
    }
    // The content names sent, with the scratch folder cut off.
    std::vector<std::string> SentNames() const {
        std::vector<std::string> names;
        for (const ScanCall& call : api_.scans)
            names.push_back(call.name.compare(0, dir_.path().size() + 1, dir_.path() + "/") == 0
                                ? call.name.substr(dir_.path().size() + 1)
                                : call.name);
        return names;
    }
    std::string EicarZip() { return BuildZip({Deflated("readme.txt", "hello"), Deflated("eicar.com", EicarText())}); }

    TempDir dir_;
    FakeAmsi api_;
    FakeProviders providers_;
    RecordedTrace trace_;
    std::unique_ptr<amsiengine::AmsiEngine> engine_{new amsiengine::AmsiEngine(api_, providers_, trace_)};
};

TEST_F(AmsiEngineTest, ProvidersAreTheRecords) {
    providers_.registered.push_back(Provider{"{11111111-2222-3333-4444-555555555555}", "Other AV", "C:\\o.dll"});
    EXPECT_EQ(Load("max-object 8M\nbogus line\nmembers maybe\n"), 2);
    int32_t records = -1, rejected = -1;
    engine_->Statistics(&records, &rejected);
    EXPECT_EQ(records, 2);
    EXPECT_EQ(rejected, 2);
    EXPECT_TRUE(trace_.Holds("Microsoft Defender Antimalware"));
    EXPECT_TRUE(trace_.Holds("{11111111-2222-3333-4444-555555555555} \"Other AV\""));
    EXPECT_TRUE(trace_.Holds("2 lines rejected (the first is line 2)"));
    EXPECT_EQ(engine_->settings().maxObject, 8ull << 20);
}

TEST_F(AmsiEngineTest, NoProviderNoRecordsAndNoVerdicts) {
    providers_.registered.clear();
    EXPECT_EQ(Load(), 0);
    int32_t records = -1, rejected = -1;
    engine_->Statistics(&records, &rejected);
    EXPECT_EQ(records, 0);
    // AMSI without a provider answers "not detected" for everything: no
    // check may read that as clean.
    EXPECT_EQ(Scan("clean.txt", "hello"), -1);
    EXPECT_EQ(Scan("eicar.com", EicarText()), -1);
    EXPECT_TRUE(api_.scans.empty());
    EXPECT_TRUE(api_.log.empty());

    providers_.readable = false;
    providers_.reason = "amsi.dll is not in C:\\Windows\\system32 (Windows before 10)";
    EXPECT_EQ(Load(), 0);
    EXPECT_TRUE(trace_.Holds("Windows before 10"));
    EXPECT_EQ(Scan("clean.txt", "hello"), -1);
}

TEST_F(AmsiEngineTest, RequiredProvider) {
    EXPECT_EQ(Load("require-provider {99999999-2222-3333-4444-555555555555}\n"), 0);
    EXPECT_TRUE(trace_.Holds("{99999999-2222-3333-4444-555555555555} is not registered"));
    EXPECT_EQ(Scan("clean.txt", "hello"), -1);

    engine_.reset(new amsiengine::AmsiEngine(api_, providers_, trace_));
    ASSERT_TRUE(engine_->Bind(nativehost::Table(), orlix::kCallbackSlotCount));
    EXPECT_EQ(Load("require-provider microsoft defender ANTIMALWARE\n"
                   "require-provider {2781761e-28e0-4109-99fe-b9d127c57afe}\n"),
              1);
    EXPECT_EQ(Scan("clean.txt", "hello"), 0);
}

TEST_F(AmsiEngineTest, FindInPlainObject) {
    ASSERT_EQ(Load(), 1);
    EXPECT_EQ(Scan("clean.txt", "hello"), 0);
    EXPECT_EQ(Hex(Scan("eicar.com", EicarText())), "1");
    EXPECT_EQ(VirusName(), "AMSI.Detected");
    EXPECT_TRUE(trace_.Holds("eicar.com: AMSI.Detected (AMSI_RESULT 0x8000)"));
    EXPECT_EQ(SentNames(), (std::vector<std::string>{"clean.txt", "eicar.com"}));
    EXPECT_EQ(api_.scans[1].length, EicarText().size());
    EXPECT_EQ(api_.appName, u"Orlix for TheBAT!");
    // Not offered for cure: the find stays.
    EXPECT_EQ(Hex(Scan("eicar.com", EicarText(), orlix::kScanModeCure)), "11");
    EXPECT_EQ(ReadFileBytes(dir_.File("eicar.com")), EicarText());
    // Empty objects hold nothing to judge and are not sent.
    EXPECT_EQ(Scan("empty.txt", ""), 0);
    EXPECT_EQ(api_.scans.size(), 3u);
}

TEST_F(AmsiEngineTest, FindInMemberAndNestedMember) {
    ASSERT_EQ(Load(), 1);
    const std::string zip = EicarZip();
    EXPECT_EQ(Hex(Scan("a.zip", zip)), "1000");
    EXPECT_EQ(Walk(), "ZIP:readme.txt=0;eicar.com=1(AMSI.Detected);end");
    EXPECT_EQ(SentNames(), (std::vector<std::string>{"a.zip", "a.zip\\readme.txt", "a.zip\\eicar.com"}));
    EXPECT_EQ(api_.scans[0].length, zip.size());
    EXPECT_TRUE(trace_.Holds("a.zip\\eicar.com: AMSI.Detected"));

    api_.scans.clear();
    const std::string outer = BuildZip({Deflated("note.txt", "hi"), Deflated("inner.zip", zip)});
    EXPECT_EQ(Hex(Scan("outer.zip", outer)), "1000");
    EXPECT_EQ(Walk(), "ZIP:note.txt=0;inner.zip=1000[ZIP:readme.txt=0;eicar.com=1(AMSI.Detected);end];end");
    EXPECT_EQ(SentNames(),
              (std::vector<std::string>{"outer.zip", "outer.zip\\note.txt", "outer.zip\\inner.zip",
                                        "outer.zip\\inner.zip\\readme.txt", "outer.zip\\inner.zip\\eicar.com"}));
}

TEST_F(AmsiEngineTest, OneContextOneSessionPerCheck) {
    ASSERT_EQ(Load(), 1);
    ASSERT_EQ(Scan("a.zip", EicarZip()), static_cast<int32_t>(orlix::ResultArchive));
    Walk();
    ASSERT_EQ(Scan("clean.txt", "hello"), 0);
    ASSERT_EQ(api_.scans.size(), 4u);
    // Every object and member of the first check in its session, the next
    // check in a new one of the same context.
    EXPECT_EQ(api_.log, (std::vector<std::string>{"init 1", "open 1/2", "close 1/2", "open 1/3"}));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(api_.scans[i].context, 1u);
        EXPECT_EQ(api_.scans[i].session, 2u);
    }
    EXPECT_EQ(api_.scans[3].session, 3u);
    engine_.reset();
    EXPECT_EQ(api_.log.back(), "uninit 1");
    EXPECT_EQ(api_.openSessions, 0);
    EXPECT_EQ(api_.openContexts, 0);
    engine_.reset(new amsiengine::AmsiEngine(api_, providers_, trace_));
}

TEST_F(AmsiEngineTest, ResultMapping) {
    ASSERT_EQ(Load(), 1);
    struct Case {
        uint32_t amsiResult;
        const char* answer;
        const char* name;
    } cases[] = {
        {0, "0", ""},
        {1, "0", ""},
        {2, "0", ""},
        {0x3FFF, "0", ""},
        {0x4000, "4", "AMSI.BlockedByAdmin"},
        {0x4ABC, "4", "AMSI.BlockedByAdmin"},
        {0x4FFF, "4", "AMSI.BlockedByAdmin"},
        {0x5000, "0", ""},
        {0x7FFF, "0", ""},
        {0x8000, "1", "AMSI.Detected"},
        {0x8001, "1", "AMSI.Detected"},
        {0xFFFFFFFF, "1", "AMSI.Detected"},
    };
    for (const Case& c : cases) {
        api_.rule = [&](const std::string&, const std::vector<unsigned char>&) { return c.amsiResult; };
        EXPECT_EQ(Hex(Scan("object.bin", "some bytes")), c.answer) << c.amsiResult;
        EXPECT_EQ(VirusName(), c.name) << c.amsiResult;
    }
    // Values other than the documented clean ones are traced.
    EXPECT_TRUE(trace_.Holds("AMSI_RESULT 0x3FFF, taken as clean"));
    EXPECT_FALSE(trace_.Holds("AMSI_RESULT 0x1, taken as clean"));
    // Blocked by the administrator in a member is that member's answer.
    api_.rule = [](const std::string& name, const std::vector<unsigned char>&) {
        return name.size() > 9 && name.compare(name.size() - 9, 9, "eicar.com") == 0 ? 0x4001u : 1u;
    };
    ASSERT_EQ(Scan("a.zip", EicarZip()), static_cast<int32_t>(orlix::ResultArchive));
    EXPECT_EQ(Walk(), "ZIP:readme.txt=0;eicar.com=4(AMSI.BlockedByAdmin);end");
}

TEST_F(AmsiEngineTest, FailedCallsFailTheCheck) {
    ASSERT_EQ(Load(), 1);
    api_.initializeAnswer = amsiengine::kFail;
    EXPECT_EQ(Scan("clean.txt", "hello"), -1);
    EXPECT_TRUE(trace_.Holds("AmsiInitialize failed: 0x80004005"));
    api_.initializeAnswer = amsiengine::kOk;  // a later check tries again
    EXPECT_EQ(Scan("clean.txt", "hello"), 0);

    api_.openAnswer = amsiengine::kInvalidArgument;
    EXPECT_EQ(Scan("clean.txt", "hello"), -1);
    EXPECT_TRUE(trace_.Holds("AmsiOpenSession failed: 0x80070057"));
    api_.openAnswer = amsiengine::kOk;

    api_.scanAnswer = amsiengine::kFail;
    EXPECT_EQ(Scan("clean.txt", "hello"), -1);
    api_.scanAnswer = amsiengine::kOk;
    api_.throwOnScan = true;
    EXPECT_EQ(Scan("clean.txt", "hello"), -1);
    EXPECT_TRUE(trace_.Holds("clean.txt: not checked: AmsiScanBuffer threw"));
    api_.throwOnScan = false;

    // A member that cannot be judged answers error bits, never clean.
    api_.failOn = "readme.txt";
    api_.scanAnswer = amsiengine::kFail;
    ASSERT_EQ(Scan("a.zip", EicarZip()), static_cast<int32_t>(orlix::ResultArchive));
    EXPECT_EQ(Walk(), "ZIP:readme.txt=20;eicar.com=1(AMSI.Detected);end");
    api_.scanAnswer = amsiengine::kOk;
    api_.throwOnScan = true;
    ASSERT_EQ(Scan("a.zip", EicarZip()), static_cast<int32_t>(orlix::ResultArchive));
    EXPECT_EQ(Walk(), "ZIP:readme.txt=20;eicar.com=1(AMSI.Detected);end");
}

TEST_F(AmsiEngineTest, TimeoutFailsTheCheckAndLeavesTheCallItsHandles) {
    ASSERT_EQ(Load("time-limit 7s\n"), 1);
    const auto before = amsiengine::Clock::now();
    api_.hangOnScan = true;
    api_.failOn = "readme.txt";
    ASSERT_EQ(Scan("a.zip", EicarZip()), static_cast<int32_t>(orlix::ResultArchive));
    const auto after = amsiengine::Clock::now();
    // Once a call of the check hung, its later members fail unsent.
    EXPECT_EQ(Walk(), "ZIP:readme.txt=20;eicar.com=20;end");
    ASSERT_EQ(api_.scans.size(), 2u);
    EXPECT_GE(api_.scans[1].deadline, before + std::chrono::seconds(7));
    EXPECT_LE(api_.scans[1].deadline, after + std::chrono::seconds(7));
    EXPECT_EQ(api_.scans[0].deadline, api_.scans[1].deadline);  // one deadline for the check
    EXPECT_TRUE(trace_.Holds("did not answer within time-limit"));

    // The hung call may still use its session and context: neither is
    // closed; the next check runs in a new context.
    api_.failOn = "hang.txt";
    EXPECT_EQ(Scan("clean.txt", "hello"), 0);
    EXPECT_EQ(api_.log, (std::vector<std::string>{"init 1", "open 1/2", "init 3", "open 3/4"}));
    EXPECT_EQ(Scan("hang.txt", "hello"), -1);

    // Calls that never answer do not pile up without end.
    for (int i = 0; i < amsiengine::kMaxAbandonedContexts; ++i) Scan("hang.txt", "hello");
    const size_t sent = api_.scans.size();
    EXPECT_EQ(Scan("clean.txt", "hello"), -1);
    EXPECT_EQ(api_.scans.size(), sent);
}

TEST_F(AmsiEngineTest, ObjectsOverTheLimitFail) {
    ASSERT_EQ(Load("max-object 1K\n"), 1);
    EXPECT_EQ(Scan("small.txt", Filler(1024)), 0);
    EXPECT_EQ(Scan("large.txt", Filler(1025)), -1);
    EXPECT_EQ(SentNames(), (std::vector<std::string>{"small.txt"}));
    EXPECT_TRUE(trace_.Holds("large.txt: not checked: 1025 bytes, above max-object 1024"));
    // A member unpacked past the limit: not judged, never clean.
    const std::string zip = BuildZip({Deflated("big.txt", std::string(4096, 'x')), Deflated("ok.txt", "fine")});
    ASSERT_LT(zip.size(), 1024u);
    ASSERT_EQ(Scan("b.zip", zip), static_cast<int32_t>(orlix::ResultArchive));
    EXPECT_EQ(Walk(), "ZIP:big.txt=20;ok.txt=0;end");
}

TEST_F(AmsiEngineTest, MembersOff) {
    ASSERT_EQ(Load("members off\n"), 1);
    // The whole object goes to the provider, which may unpack it itself;
    // nothing is walked.
    EXPECT_EQ(Scan("a.zip", EicarZip()), 0);
    char archiver[orlix::kArchiverNameBufferSize] = {};
    EXPECT_EQ(engine_->LastArchiverName(archiver), -1);
    EXPECT_EQ(SentNames(), (std::vector<std::string>{"a.zip"}));
    api_.rule = [](const std::string&, const std::vector<unsigned char>&) { return kAmsiResultDetected; };
    EXPECT_EQ(Scan("a.zip", EicarZip()), 1);
}

}  // namespace
