// The cure: the repeat while the engine cures, each answer's row, the
// incurable sound and the bound on the repeats.
#include "engine_fixture.h"

class Cure : public EngineFixture {
protected:
    const std::string file = "C:\\in\\x.exe";

    void Start(bool incurableSound = false) {
        PrepareEngine();
        Flag(setting::kSoundIncurable, incurableSound);
        key.Text(setting::kSoundFileIncurable, "C:\\snd\\bad.wav");
        StartEngine();
    }
    int32_t CureWith(std::vector<int32_t> answers) {
        for (int32_t a : answers) te.QueueScan(file.c_str(), 1, a);
        ClearRecords();
        recorder->Clear();
        MarkStatus();
        return api.CureFile(file.c_str(), status);
    }
    bool SoundsObservable() { return ModuleImports(api.module, "winmm.dll", "PlaySoundA"); }
    std::vector<std::string> Sounds() {
        std::vector<std::string> sounds;
        for (const std::string& e : recorder->Events()) {
            if (e.compare(0, 10, "PlaySoundA") == 0) sounds.push_back(e);
        }
        return sounds;
    }
};

TEST_F(Cure, CuredThenCleanAsksTwiceAndSaysCured) {
    Start();
    EXPECT_EQ(0, CureWith({0x9, 0}));
    EXPECT_STREQ("Ok", status);
    std::vector<std::string> lines = {"CureFile: C:\\in\\x.exe - Cured"};
    EXPECT_EQ(lines, ScanLines());
    std::vector<std::string> ops = {"ScanFile 1 1 C:\\in\\x.exe 0", "ScanFile 1 1 C:\\in\\x.exe 0"};
    EXPECT_EQ(ops, Ops());
}

TEST_F(Cure, OnlyTheLastAnswerCountsAndTheHostTextStays) {
    Start(true);
    EXPECT_EQ(-3, CureWith({0x9, 0x1}));
    EXPECT_STREQ("host text", status);
    EXPECT_TRUE(ScanLines().empty());
    EXPECT_EQ(2, CountOps("ScanFile 1"));
    EXPECT_TRUE(Sounds().empty());
}

TEST_F(Cure, ArchiveWinsOverCuredAndEndsAtOnce) {
    Start(true);
    EXPECT_EQ(-3, CureWith({0x1008, 0}));
    EXPECT_STREQ("File is archive - cannot be cured", status);
    std::vector<std::string> lines = {"CureFile: C:\\in\\x.exe - File is archive, cannot be cured"};
    EXPECT_EQ(lines, ScanLines());
    EXPECT_EQ(1, CountOps("ScanFile"));
    EXPECT_TRUE(Sounds().empty());
}

TEST_F(Cure, EngineErrorEndsAtOnceWithoutSound) {
    Start(true);
    EXPECT_EQ(-3, CureWith({-1, 0}));
    EXPECT_STREQ("Engine error", status);
    std::vector<std::string> lines = {"ERROR: CureFile: C:\\in\\x.exe - Engine error"};
    EXPECT_EQ(lines, ScanLines());
    EXPECT_EQ(1, CountOps("ScanFile"));
    EXPECT_TRUE(Sounds().empty());
}

TEST_F(Cure, EngineThatCuresForeverIsStopped) {
    Start();
    te.SetScanFallback(file.c_str(), 1, 0x9);
    EXPECT_EQ(-3, CureWith({}));
    EXPECT_STREQ("host text", status);
    EXPECT_EQ(32, CountOps("ScanFile 1"));
    std::vector<std::string> lines = {
        "ERROR: CureFile: C:\\in\\x.exe - Engine still curing after 32 passes, cure stopped"};
    EXPECT_EQ(lines, ScanLines());
}

TEST_F(Cure, IncurableAnswersPlayTheIncurableSound) {
    Start(true);
    if (!SoundsObservable()) GTEST_SKIP() << "this build plays no sounds";
    const std::vector<std::string> sound = {"PlaySoundA(<null>, 0x40)", "PlaySoundA(C:\\snd\\bad.wav, 0x20001)"};
    for (int32_t answer : {0x2, 0x4, 0x10, 0x11}) {
        SCOPED_TRACE(answer);
        EXPECT_EQ(-3, CureWith({answer}));
        EXPECT_STREQ("host text", status);
        EXPECT_TRUE(ScanLines().empty());
        EXPECT_EQ(sound, Sounds());
    }
    // Only the last answer counts: no sound after a pass that reported
    // incurable parts and a last one that did not.
    EXPECT_EQ(0, CureWith({0x18, 0}));
    EXPECT_TRUE(Sounds().empty());
    EXPECT_EQ(-3, CureWith({0x18, 0x1}));
    EXPECT_TRUE(Sounds().empty());
}

TEST_F(Cure, IncurableSoundFollowsItsSetting) {
    Start(false);
    EXPECT_EQ(-3, CureWith({0x2}));
    EXPECT_TRUE(Sounds().empty());
    EXPECT_EQ(1, CountOps("ScanFile"));
}
