// The trace as a debugger sees it.
#include <gtest/gtest.h>

#include "common/child.h"
#include "common/scratch.h"
#include "plugin_loader.h"

CHILD_SCENARIO(every_entry_point) {
    PluginApi api;
    if (!api.Load()) return 1;
    char buffer[64];
    char status[300];
    api.GetName(buffer, sizeof buffer - 1);
    api.GetVersion(buffer, sizeof buffer - 1);
    api.SetCfgData(1, 2);
    api.GetCfgData(1, 2);
    api.GetStatus();
    api.MemoryChecking();
    api.FileChecking();
    api.StreamChecking();
    api.CheckFile("C:\\mail\\letter.txt", status);
    api.CureFile("C:\\mail\\cure me.exe", status);
    api.CheckMemory(0x00401000, 512, status);
    uint32_t address = 0xABCDEF01;
    int32_t size = -1;
    api.CureMemory(&address, &size, 0);
    api.CheckStream(nullptr, 0);
    api.CureStream(nullptr, nullptr, 0);
    api.ComNeeded();
    api.ConfigNeeded();
    return 0;
}

TEST(Trace, EveryEntryPointTracesItsCall) {
    CapturedRun run = RunChildUnderDebugger("every_entry_point");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    std::vector<std::string> expected = {"Loading Orlix Plug-In Module...",
                                         "BAV_GetName",
                                         "BAV_GetVersion",
                                         "BAV_SetCfgData",
                                         "BAV_GetCfgData",
                                         "BAV_GetStatus",
                                         "BAV_MemoryChecking",
                                         "BAV_FileChecking",
                                         "BAV_StreamChecking",
                                         "BAV_CheckFile: C:\\mail\\letter.txt",
                                         "BAV_CureFile: C:\\mail\\cure me.exe",
                                         "BAV_CheckMemory: at 00401000, 512 bytes",
                                         "BAV_CureMemory: at ABCDEF01, -1 bytes",
                                         "BAV_CheckStream",
                                         "BAV_CureStream",
                                         "BAV_ComNeeded",
                                         "BAV_ConfigNeeded"};
    std::vector<std::string> traces = run.Traces();
    // Checks may add lines of their own; the entry points' lines keep their order.
    std::vector<std::string> entryLines;
    for (const std::string& line : traces)
        if (line.rfind("BAV_", 0) == 0 || line.rfind("Loading", 0) == 0) entryLines.push_back(line);
    EXPECT_EQ(expected, entryLines);
}

TEST(Trace, LinesAreNameColonTextCrLf) {
    CapturedRun run = RunChildUnderDebugger("every_entry_point");
    ASSERT_FALSE(run.debugStrings.empty());
    bool found = false;
    for (const std::string& s : run.debugStrings)
        if (s == "Orlix for TheBAT!: BAV_GetStatus\r\n") found = true;
    EXPECT_TRUE(found);
}

CHILD_SCENARIO(initialize_uninitialize) {
    PluginApi api;
    if (!api.Load()) return 1;
    int32_t a = api.Initialize();
    int32_t b = api.Uninitialize();
    return a == -3 && b == 0 ? 0 : 2;
}

TEST(Trace, InitializeAndUninitialize) {
    SettingsKeyScratch settings;
    CapturedRun run = RunChildUnderDebugger("initialize_uninitialize");
    EXPECT_EQ(0u, run.exitCode);
    std::vector<std::string> traces = run.Traces();
    auto init = std::find(traces.begin(), traces.end(), "BAV_Initialize");
    auto uninit = std::find(traces.begin(), traces.end(), "BAV_Uninitialize");
    ASSERT_NE(traces.end(), init);
    ASSERT_NE(traces.end(), uninit);
    EXPECT_LT(init - traces.begin(), uninit - traces.begin());
}
