// The start-up and shut-down sequences as the mail client drives them:
// through the real plug-in library and the test engine.
#include <gtest/gtest.h>

#include "common/plugin_api.h"
#include "common/test_engine_setup.h"

namespace {

const char kBanner[] = "Orlix Plug-In Module for TheBAT! Version 4.31.0.04020";

std::string PluginPath() { return ExecutableFolder() + "orlix.bav"; }

std::vector<std::string> Banner() {
    return {"", kBanner, "Checks mail attachments with the Orlix scanning engine", ""};
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(Lifecycle, InitializeLoadsEngineAndBases) {
    SettingsKeyScratch key;
    TestEngineSetup engine;
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 100);
    engine.WriteSettings(key);
    PluginApi plugin;
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
