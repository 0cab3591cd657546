// The test engine bound in this process by the plug-in's own loader, with
// one base, for the cases that call the engine layer directly.
#pragma once

#include <gtest/gtest.h>

#include "callbacks/memory_object.h"
#include "common/test_engine_setup.h"
#include "engine/loader.h"
#include "settings/settings.h"

class EngineInProcess : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine.ok());
        engine.AddBase("main.vdb", 1);
        engine.WriteSettings(key);
        LoadSettings();
        ASSERT_TRUE(LoadEngine());
    }
    void TearDown() override {
        ClearCheckedMemoryBlock();
        ReleaseEngine(false);
    }

    SettingsKeyScratch key;
    TestEngineSetup engine;
};
