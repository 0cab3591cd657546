// The scripted engine that the scanning tests rely on, driven through the
// plug-in's engine operations: archive trees, nested levels, object reads.
#include <cstring>

#include "engine/engine.h"
#include "engine_in_process.h"

namespace {

class ScriptedEngine : public EngineInProcess {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(EngineInProcess::SetUp());
        engine->Reset();
    }
    static std::string MemberName(const orlix::ArchiveMemberHeader& h) {
        return std::string(reinterpret_cast<const char*>(h.bytes + orlix::kMemberNameOffset));
    }
};

}  // namespace

TEST_F(ScriptedEngine, AnswersQueuedScansThenTheFallback) {
    engine->QueueScan("a", 0, 1);
    engine->QueueScan("a", 0, 4);
    engine->SetScanFallback("a", 0, 0x20);
    engine->QueueScan("a", 1, 9);
    engine->SetScanFallback("*", 0, 2);
    EXPECT_EQ(1, EngineScanObject(0, "a"));
    EXPECT_EQ(9, EngineScanObject(1, "a"));
    EXPECT_EQ(4, EngineScanObject(0, "a"));
    EXPECT_EQ(0x20, EngineScanObject(0, "a"));
    EXPECT_EQ(0, EngineScanObject(1, "a"));
    EXPECT_EQ(2, EngineScanObject(0, "other"));
}

TEST_F(ScriptedEngine, WalksNestedArchivesLevelByLevel) {
    engine->QueueScan("outer.zip", 0, 0x1000);
    engine->SetArchiverName("outer.zip", "ZIP", -1, 0);
    engine->Member("outer.zip", "readme.txt", 0, 0);
    engine->Member("outer.zip", "inner.rar", 0, 0x1000, "inner");
    engine->Member("outer.zip", "last.exe", 0, 1, "last");
    engine->SetArchiverName("inner", "RAR", -1, 0);
    engine->DefineArchive("inner", 0, 0);
    engine->Member("inner", "deep.com", 0, 0x2, "deep");
    engine->VirusName("deep", "Deep.Mod");
    engine->VirusName("last", "Last.Virus");

    orlix::ArchiveMemberHeader outer = {}, inner = {};
    char archiver[orlix::kArchiverNameBufferSize];
    char virus[orlix::kVirusNameBufferSize];
    ASSERT_EQ(0x1000, EngineScanObject(0, "outer.zip"));
    EXPECT_EQ(0, EngineGetLastArchiverName(archiver));
    EXPECT_STREQ("ZIP", archiver);
    ASSERT_EQ(0, EngineOpenArchiveLevel());
    ASSERT_EQ(0, EngineNextMember(&outer));
    EXPECT_EQ("readme.txt", MemberName(outer));
    EXPECT_EQ(0, EngineExtractMember(&outer));
    ASSERT_EQ(0, EngineNextMember(&outer));
    EXPECT_EQ("inner.rar", MemberName(outer));
    ASSERT_EQ(0x1000, EngineExtractMember(&outer));
    EXPECT_EQ(0, EngineGetLastArchiverName(archiver));
    EXPECT_STREQ("RAR", archiver);
    ASSERT_EQ(0, EngineOpenArchiveLevel());
    ASSERT_EQ(0, EngineNextMember(&inner));
    EXPECT_EQ("deep.com", MemberName(inner));
    EXPECT_EQ(2, EngineExtractMember(&inner));
    EngineGetLastVirusName(virus);
    EXPECT_STREQ("Deep.Mod", virus);
    EXPECT_EQ(0x8000, EngineNextMember(&inner));
    EngineCloseArchiveLevel(&inner);
    ASSERT_EQ(0, EngineNextMember(&outer));
    EXPECT_EQ("last.exe", MemberName(outer));
    EXPECT_EQ(1, EngineExtractMember(&outer));
    EngineGetLastVirusName(virus);
    EXPECT_STREQ("Last.Virus", virus);
    EXPECT_EQ(0x8000, EngineNextMember(&outer));
    EngineCloseArchiveLevel(&outer);
}

TEST_F(ScriptedEngine, OpenAnswersHeaderErrorsEndlessListsAndLongNames) {
    engine->QueueScan("bad", 0, 0x1000);
    engine->DefineArchive("bad", -1, 0);
    EngineScanObject(0, "bad");
    EXPECT_EQ(-1, EngineOpenArchiveLevel());

    engine->QueueScan("loop", 0, 0x1000);
    engine->DefineArchive("loop", 0, TE_ARCHIVE_ENDLESS);
    engine->Member("loop", "again", 0, 0);
    engine->Member("loop", "broken", 0x4000, 0);
    const std::string longName(1024, 'n');  // fills the header, no terminator
    engine->AddMember("loop", longName.data(), 1024, 0, 0, "long");
    orlix::ArchiveMemberHeader header = {};
    EngineScanObject(0, "loop");
    ASSERT_EQ(0, EngineOpenArchiveLevel());
    for (int round = 0; round < 50; ++round) {
        EXPECT_EQ(0, EngineNextMember(&header));
        EXPECT_EQ(0x4000, EngineNextMember(&header));
        EXPECT_EQ(0, EngineNextMember(&header));
    }
    EXPECT_EQ(0, memcmp(header.bytes + 8, longName.data(), 1024));
    EngineCloseArchiveLevel(&header);
}

TEST_F(ScriptedEngine, ReadsTheCheckedMemoryBlockThroughTheCallbacks) {
    char block[300];
    for (int i = 0; i < 300; ++i) block[i] = static_cast<char>(i * 7);
    char name[32];
    wsprintfA(name, orlix::kMemoryObjectNameFormat, static_cast<unsigned>(reinterpret_cast<uintptr_t>(block)), 300u);
    engine->SetReadObject(1);
    SetCheckedMemoryBlock(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block)), 300);
    EngineScanObject(0, name);
    char seen[400] = {};
    int32_t handle = 0;
    EXPECT_EQ(300, engine->LastObjectRead(seen, sizeof seen, &handle));
    EXPECT_NE(-1, handle);
    EXPECT_EQ(0, memcmp(block, seen, 300));

    ClearCheckedMemoryBlock();
    EngineScanObject(0, name);
    EXPECT_EQ(-1, engine->LastObjectRead(seen, sizeof seen, &handle));
    EXPECT_EQ(-1, handle);
}

TEST_F(ScriptedEngine, RandomAnswersAreReproducibleAndHarmless) {
    std::vector<int32_t> first, second;
    for (std::vector<int32_t>* answers : {&first, &second}) {
        engine->SetRandom(12345);
        orlix::ArchiveMemberHeader header = {};
        char virus[orlix::kVirusNameBufferSize];
        char archiver[orlix::kArchiverNameBufferSize];
        for (int i = 0; i < 100; ++i) {
            answers->push_back(EngineScanObject(0, "x"));
            answers->push_back(EngineGetLastArchiverName(archiver));
            EXPECT_LE(strlen(archiver), 20u);
            EngineGetLastVirusName(virus);
            EXPECT_LE(strlen(virus), 257u);
            answers->push_back(EngineOpenArchiveLevel());
            answers->push_back(EngineNextMember(&header));
            answers->push_back(EngineExtractMember(&header));
        }
    }
    EXPECT_EQ(first, second);
    EXPECT_TRUE(EngineReady());
}
