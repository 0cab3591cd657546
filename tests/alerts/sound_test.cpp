// Alert sounds that outlive the plug-in.
#include <gtest/gtest.h>

#include "common/child.h"
#include "common/test_engine_setup.h"
#include "plugin_loader.h"

// Each session starts an asynchronous sound (a missing file: the system's
// default sound) and unloads the plug-in at once, while the sound plays.
CHILD_SCENARIO(sound_playing_while_unloaded) {
    SettingsKeyScratch key;
    TestEngineSetup engine;
    if (!engine.ok()) return 3;
    engine.AddBase("a.vdb", 1);
    engine.WriteSettings(key);
    key.Flag(setting::kSoundInfected, 1);
    key.Text(setting::kSoundFileInfected, engine.LogFolder() + "\\missing.wav");
    key.Flag(setting::kNotifyVirus, 0);
    engine->SetScanFallback("*", 0, 0x1);
    for (int session = 0; session < 100; ++session) {
        PluginApi api;
        if (!api.Load()) return 4;
        char status[300] = "";
        if (api.Initialize() != 0) return 5;
        if (api.CheckFile("C:\\mail\\attachment.exe", status) != 1) return 6;
        api.Uninitialize();
        api.Unload();
    }
    Sleep(500);
    return 0;
}

TEST(AlertSound, UnloadingWhileASoundPlaysIsSafe) {
    CapturedRun run = RunChildUnderDebugger("sound_playing_while_unloaded", {}, 120000);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.exceptions.empty()) << run.exceptions.front();
}
