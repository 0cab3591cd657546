// The counted plug-in bound to a fresh copy of the test engine, for cases
// that make the engine misbehave. An engine that faulted is never released by
// the plug-in, so the fixture drops it itself at the end.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/test_engine_setup.h"
#include "counted_plugin.h"

// A number from the environment (decimal or 0x hex), else the fallback.
inline uint32_t EnvNumber(const char* name, uint32_t fallback) {
    char value[32];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n && n < sizeof value ? static_cast<uint32_t>(strtoul(value, nullptr, 0)) : fallback;
}

class Hardened : public ::testing::Test {
protected:
    SettingsKeyScratch key;
    std::unique_ptr<TestEngineSetup> engine;
    CountedPlugin plugin;
    PluginCounters start;

    // Before Start: a fresh engine copy with one base of five records.
    void Prepare(bool logEnabled = true) {
        engine.reset(new TestEngineSetup);
        ASSERT_TRUE(engine->ok()) << TestEngineBuildPath();
        engine->AddBase("main.vdb", 5);
        engine->WriteSettings(key);
        key.Flag(setting::kLogEnabled, logEnabled ? 1 : 0);
    }
    void Start() {
        if (!engine) {
            ASSERT_NO_FATAL_FAILURE(Prepare());
        }
        ASSERT_TRUE(plugin.LoadCounted());
        ASSERT_EQ(0, plugin.Initialize());
        start = plugin.Counters();
        ASSERT_EQ(0, start.openObjects);
        ASSERT_EQ(0, start.archiveDepth);
    }
    TestEngineApi& te() { return engine->api(); }

    void TearDown() override {
        plugin.Unload();
        if (!engine) return;
        const std::string file = engine->EngineFile();
        engine->ReleaseModule();
        for (int i = 0; i < 16; ++i) {
            HMODULE left = GetModuleHandleA(file.c_str());
            if (!left) break;
            FreeLibrary(left);
        }
        engine.reset();
    }
};

// A host's StatusText buffer with a guard behind the 286 bytes every host
// provides.
struct HostStatus {
    static constexpr size_t kRoom = 286;
    char bytes[1024];
    HostStatus() { Reset(); }
    void Reset() {
        memset(bytes, 0x7f, sizeof bytes);
        strcpy(bytes, "host text");
    }
    char* get() { return bytes; }
    // Terminated within the room, nothing written behind it.
    bool Bounded() const {
        for (size_t i = kRoom; i < sizeof bytes; ++i)
            if (bytes[i] != 0x7f) return false;
        return memchr(bytes, 0, kRoom) != nullptr;
    }
    std::string text() const { return std::string(bytes, strnlen(bytes, kRoom)); }
};
