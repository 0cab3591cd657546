// The start-up and shut-down sequences as the mail client drives them:
// through the real plug-in library and the test engine.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/child.h"
#include "common/test_engine_setup.h"
#include "plugin_loader.h"

namespace {

const char kBanner[] = "Orlix Plug-In Module for TheBAT! Version 4.31.0.04020";

std::string PluginPath() { return ProgramFolder() + "orlix.bav"; }

std::vector<std::string> Banner() {
    return {"", kBanner, "Checks mail attachments with the Orlix scanning engine", ""};
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Lifecycle : public testing::Test {
protected:
    // One base of the given records and the settings pointing at the engine.
    void Prepare(int32_t records = 1) {
        ASSERT_TRUE(engine.ok());
        engine.AddBase("main.vdb", records);
        engine.WriteSettings(key);
    }

    SettingsKeyScratch key;
    TestEngineSetup engine;
    PluginApi plugin;
};

}  // namespace

TEST_F(Lifecycle, InitializeLoadsEngineAndBases) {
    ASSERT_NO_FATAL_FAILURE(Prepare(100));
    ASSERT_TRUE(plugin.Load(PluginPath()));
    EXPECT_EQ(0, plugin.Initialize());
    std::vector<std::string> expected = Join(Banner(), {
                                                           "Orlix installation folder: " + engine.EngineFolder(),
                                                           "Engine path: " + engine.EngineFolder(),
                                                           "Base path: " + engine.BaseFolder(),
                                                           "Log file path: " + engine.LogFolder(),
                                                           "Engine version: 4.31",
                                                           "",
                                                           "Loading virus definition base: main.vdb - Ok, 100 records",
                                                           "Virus definitions loaded, total 100 records",
                                                           "",
                                                       });
    EXPECT_EQ(expected, ReadLogLines(engine.LogFolder()));
    std::vector<std::string> ops = {"Init 52 0", "GetVersion", "LoadBase " + engine.BaseFolder() + "\\main.vdb",
                                    "FinishLoad"};
    EXPECT_EQ(ops, engine->Operations());
    EXPECT_EQ(0, plugin.Uninitialize());
}

TEST_F(Lifecycle, WithoutInstallationFolderOnlyTheBannerIsLogged) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 1);
    key.Flag(setting::kShowAdvanced, 1);
    key.Text(setting::kLogPath, engine.LogFolder());
    ASSERT_TRUE(plugin.Load(PluginPath()));
    EXPECT_EQ(-3, plugin.Initialize());
    EXPECT_EQ(Banner(), ReadLogLines(engine.LogFolder()));
    EXPECT_EQ(0, engine->RecordCount());
    EXPECT_EQ(0, plugin.Uninitialize());
    EXPECT_EQ(Join(Banner(), {"", "Orlix for TheBAT! unloaded"}), ReadLogLines(engine.LogFolder()));
}

TEST_F(Lifecycle, WithoutAdvancedSettingsTheLogFollowsTheEmptyInstallationFolder) {
    TempDir logs;
    key.Text(setting::kLogPath, logs.path());
    key.Flag(setting::kLogEnabled, 1);
    ASSERT_TRUE(plugin.Load(PluginPath()));
    EXPECT_EQ(-3, plugin.Initialize());
    EXPECT_EQ(0, plugin.Uninitialize());
    EXPECT_FALSE(FileExists(logs.File("orxbat!.log")));
}

TEST_F(Lifecycle, FailedInitializeStillUninitializesWithItsLines) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    engine->SetVersion(432);
    ASSERT_TRUE(plugin.Load(PluginPath()));
    EXPECT_EQ(-3, plugin.Initialize());
    EXPECT_EQ(0, plugin.Uninitialize());
    std::vector<std::string> log = ReadLogLines(engine.LogFolder());
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ("ERROR: Engine version mismatch", log[log.size() - 3]);
    EXPECT_EQ("", log[log.size() - 2]);
    EXPECT_EQ("Orlix for TheBAT! unloaded", log.back());
}

TEST_F(Lifecycle, EngineStaysAfterUninitializeAndGoesWithTheLibrary) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    const std::string engineFile = engine.EngineFile();
    ASSERT_TRUE(plugin.Load(PluginPath()));
    EXPECT_EQ(0, plugin.Initialize());
    engine.ReleaseModule();
    EXPECT_EQ(0, plugin.Uninitialize());
    EXPECT_NE(nullptr, GetModuleHandleA(engineFile.c_str()));
    plugin.Unload();
    EXPECT_EQ(nullptr, GetModuleHandleA(engineFile.c_str()));
}

TEST_F(Lifecycle, SecondInitializeRebindsWithoutKeepingTheFirstBinding) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    const std::string engineFile = engine.EngineFile();
    ASSERT_TRUE(plugin.Load(PluginPath()));
    EXPECT_EQ(0, plugin.Initialize());
    EXPECT_EQ(0, plugin.Initialize());
    EXPECT_EQ(2, engine->CountOperations("Init"));
    engine.ReleaseModule();
    EXPECT_EQ(0, plugin.Uninitialize());
    plugin.Unload();
    EXPECT_EQ(nullptr, GetModuleHandleA(engineFile.c_str()));
}

TEST_F(Lifecycle, ChangedEnginePathUnloadsTheFormerEngine) {
    TestEngineSetup second;
    ASSERT_TRUE(second.ok());
    ASSERT_NO_FATAL_FAILURE(Prepare());
    const std::string firstFile = engine.EngineFile();
    ASSERT_TRUE(plugin.Load(PluginPath()));
    EXPECT_EQ(0, plugin.Initialize());
    engine.ReleaseModule();
    key.Text(setting::kEnginePath, second.EngineFolder());
    EXPECT_EQ(0, plugin.Initialize());
    EXPECT_EQ(nullptr, GetModuleHandleA(firstFile.c_str()));
    EXPECT_GT(second->RecordCount(), 0);
    plugin.Unload();  // before the second engine's folder goes
}

// The process ends with the plug-in and its engine still loaded.
CHILD_SCENARIO(exit_with_engine) {
    PluginApi* plugin = new PluginApi;  // never unloaded: the process exit does it
    if (!plugin->Load(args[0])) return 2;
    if (plugin->Initialize() != 0) return 3;
    plugin->Uninitialize();
    return 0;
}

TEST_F(Lifecycle, ProcessExitWithTheEngineLoadedIsQuiet) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    CapturedRun run = RunChildUnderDebugger("exit_with_engine", {PluginPath()});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.exceptions.empty());
    std::vector<std::string> traces = run.Traces();
    // The background thread traces its start at a moment of its own.
    auto thread = std::find(traces.begin(), traces.end(), "Thread created");
    EXPECT_NE(traces.end(), thread);
    if (thread != traces.end()) traces.erase(thread);
    EXPECT_EQ((std::vector<std::string>{"Loading Orlix Plug-In Module...", "BAV_Initialize", "BAV_Uninitialize"}),
              traces);
}
