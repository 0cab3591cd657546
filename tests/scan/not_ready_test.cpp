// Checks and cures made while no engine with signatures is bound.
#include "scan_fixture.h"

class NotReady : public ScanFixture {};

TEST_F(NotReady, CheckAnswersEngineErrorWithItsLines) {
    Flag(setting::kSoundInfected);
    key.Text(setting::kSoundFileInfected, "C:\\alert.wav");
    StartPlugin();
    EXPECT_EQ(-3, api.CheckFile("C:\\mail\\a.zip", status));
    EXPECT_STREQ("Engine error", status);
    std::vector<std::string> expected = {"CheckFile: C:\\mail\\a.zip",
                                         "ERROR: CheckFile: C:\\mail\\a.zip - Engine error"};
    EXPECT_EQ(expected, ScanLines());
    std::vector<std::string> traces;
    for (const std::string& e : recorder->Events()) {
        if (e.compare(0, 18, "trace: CheckFile #") == 0) traces.push_back(e);
    }
    std::vector<std::string> results = {"trace: CheckFile #0: Result = -3", "trace: CheckFile #1: Result = -3"};
    EXPECT_EQ(results, traces);
}

TEST_F(NotReady, CureAnswersEngineErrorWithoutSound) {
    Flag(setting::kSoundIncurable);
    StartPlugin();
    MarkStatus();
    EXPECT_EQ(-3, api.CureFile("C:\\mail\\b.exe", status));
    EXPECT_STREQ("Engine error", status);
    std::vector<std::string> expected = {"ERROR: CureFile: C:\\mail\\b.exe - Engine error"};
    EXPECT_EQ(expected, ScanLines());
    for (const std::string& e : recorder->Events()) EXPECT_EQ(std::string::npos, e.find("PlaySoundA")) << e;
}

TEST_F(NotReady, MemoryCheckNamesTheBlockAndFails) {
    StartPlugin();
    static char block[512];
    uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block));
    EXPECT_EQ(-3, api.CheckMemory(address, 512, status));
    EXPECT_STREQ("Engine error", status);
    char first[64];
    snprintf(first, sizeof first, "CheckMemory: at %08X, 512 bytes", address);
    std::vector<std::string> expected = {first, "CheckFile: (Object is in memory)",
                                         "ERROR: CheckFile: [memory object] - Engine error"};
    EXPECT_EQ(expected, ScanLines());
}
