// Every entry point called as the mail client calls it.
#include <gtest/gtest.h>

#include <cstring>

#include "common/counted_unknown.h"
#include "common/scratch.h"
#include "common/stdcall_probe.h"
#include "plugin_loader.h"

namespace {

class Exports : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(api.Load()); }
    SettingsKeyScratch settings;
    PluginApi api;
};

}  // namespace

TEST_F(Exports, EveryEntryPointRemovesItsOwnArguments) {
    struct Case {
        const char* name;
        int count;
        int32_t result;
    } cases[] = {{"BAV_GetName", 2, 17},     {"BAV_GetVersion", 2, 12},     {"BAV_SetCfgData", 2, -1},
                 {"BAV_GetCfgData", 2, -1},  {"BAV_GetStatus", 0, 0},       {"BAV_MemoryChecking", 0, 0},
                 {"BAV_FileChecking", 0, 0}, {"BAV_StreamChecking", 0, -1}, {"BAV_CureMemory", 3, -1},
                 {"BAV_CheckStream", 2, -1}, {"BAV_CureStream", 3, -1},     {"BAV_ComNeeded", 0, -3},
                 {"BAV_ConfigNeeded", 0, 0}, {"BAV_Initialize", 0, -3},     {"BAV_Uninitialize", 0, 0}};
    const uint32_t zeros[4] = {0, 0, 0, 0};
    for (const Case& c : cases) {
        const void* function = reinterpret_cast<const void*>(GetProcAddress(api.module, c.name));
        ASSERT_NE(nullptr, function) << c.name;
        StdcallProbe probe = CallWithArguments(function, zeros, c.count);
        EXPECT_EQ(0, probe.stackDelta) << c.name;
        EXPECT_EQ(c.result, probe.result) << c.name;
    }
    char status[300] = "";
    const uint32_t fileArgs[2] = {reinterpret_cast<uintptr_t>("C:\\x.txt"), reinterpret_cast<uintptr_t>(status)};
    for (const char* name : {"BAV_CheckFile", "BAV_CureFile"}) {
        StdcallProbe probe =
            CallWithArguments(reinterpret_cast<const void*>(GetProcAddress(api.module, name)), fileArgs, 2);
        EXPECT_EQ(0, probe.stackDelta) << name;
        EXPECT_EQ(-3, probe.result) << name;
    }
    const uint32_t memoryArgs[3] = {0, 0, reinterpret_cast<uintptr_t>(status)};
    StdcallProbe probe =
        CallWithArguments(reinterpret_cast<const void*>(GetProcAddress(api.module, "BAV_CheckMemory")), memoryArgs, 3);
    EXPECT_EQ(0, probe.stackDelta);
    EXPECT_EQ(-3, probe.result);
}

TEST_F(Exports, FixedAnswersAreFull32BitValues) {
    EXPECT_EQ(static_cast<int32_t>(0xFFFFFFFD), api.ComNeeded());
    EXPECT_EQ(static_cast<int32_t>(0xFFFFFFFF), api.StreamChecking());
    EXPECT_EQ(-1, api.SetCfgData(0x12345678, 0));
    EXPECT_EQ(-1, api.GetCfgData(0, 0x12345678));
    EXPECT_EQ(0, api.GetStatus());
    EXPECT_EQ(0, api.MemoryChecking());
    EXPECT_EQ(0, api.FileChecking());
    EXPECT_EQ(0, api.ConfigNeeded());
}

TEST_F(Exports, GetNameCopiesPluginName) {
    char buffer[32];
    memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(17, api.GetName(nullptr, 100));
    EXPECT_EQ(17, api.GetName(buffer, 17));
    EXPECT_STREQ("Orlix for TheBAT!", buffer);
    EXPECT_EQ(static_cast<char>(0xEE), buffer[18]);
}

TEST_F(Exports, GetVersionHonoursLength) {
    char buffer[32];
    memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(12, api.GetVersion(nullptr, 0));
    EXPECT_EQ(12, api.GetVersion(buffer, 0));
    EXPECT_EQ(12, api.GetVersion(buffer, -5));
    EXPECT_EQ(static_cast<char>(0xEE), buffer[0]);

    EXPECT_EQ(4, api.GetVersion(buffer, 4));
    EXPECT_STREQ("4.31", buffer);
    EXPECT_EQ(static_cast<char>(0xEE), buffer[5]);

    memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(12, api.GetVersion(buffer, 12));
    EXPECT_STREQ("4.31.0.04020", buffer);
    EXPECT_EQ(static_cast<char>(0xEE), buffer[13]);

    memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(12, api.GetVersion(buffer, 30));
    EXPECT_STREQ("4.31.0.04020", buffer);
    EXPECT_EQ(static_cast<char>(0xEE), buffer[13]);
}

TEST_F(Exports, StreamCallsLeaveReferenceCountsAsFound) {
    CountedUnknown a, b;
    EXPECT_EQ(-1, api.CheckStream(&a, 0));
    EXPECT_EQ(1, a.references);
    EXPECT_EQ(-1, api.CureStream(&a, &b, 0));
    EXPECT_EQ(1, a.references);
    EXPECT_EQ(1, b.references);
    EXPECT_EQ(-1, api.CheckStream(nullptr, 0));
    EXPECT_EQ(-1, api.CureStream(nullptr, &b, 0));
    EXPECT_EQ(1, b.references);
}

TEST_F(Exports, CureMemoryNeverCures) {
    uint32_t address = 0x00401000;
    int32_t size = 512;
    EXPECT_EQ(-1, api.CureMemory(&address, &size, 0));
    EXPECT_EQ(-1, api.CureMemory(nullptr, nullptr, 0));
    EXPECT_EQ(-1, api.CureMemory(reinterpret_cast<uint32_t*>(16), reinterpret_cast<int32_t*>(32), 0));
}

TEST_F(Exports, ChecksWithoutEngineFailWithEngineError) {
    char status[300];
    memset(status, 0xEE, sizeof status);
    EXPECT_EQ(-3, api.CheckFile("C:\\nothing.txt", status));
    EXPECT_STREQ("Engine error", status);
    memset(status, 0xEE, sizeof status);
    EXPECT_EQ(-3, api.CureFile("C:\\nothing.txt", status));
    EXPECT_STREQ("Engine error", status);
    char block[16] = {};
    memset(status, 0xEE, sizeof status);
    EXPECT_EQ(-3, api.CheckMemory(reinterpret_cast<uintptr_t>(block), sizeof block, status));
    EXPECT_STREQ("Engine error", status);
}

TEST_F(Exports, BadObjectArgumentsAreRefused) {
    char status[300];
    memset(status, 0xEE, sizeof status);
    EXPECT_EQ(-3, api.CheckFile(nullptr, status));
    EXPECT_STREQ("Engine error", status);
    EXPECT_EQ(-3, api.CheckFile("C:\\a.txt", nullptr));
    EXPECT_EQ(-3, api.CheckFile("", status));
    EXPECT_EQ(-3, api.CureFile(nullptr, nullptr));
    EXPECT_EQ(-3, api.CureFile("", status));
    EXPECT_EQ(-3, api.CheckMemory(0, 0, nullptr));
}

TEST_F(Exports, InitializeWithoutInstallationFolderFails) {
    EXPECT_EQ(-3, api.Initialize());
    EXPECT_EQ(0, api.Uninitialize());
}
