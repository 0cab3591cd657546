// A ready test engine for a test: a temporary engine folder holding a copy of
// the test engine (loaded by the test itself, so it can be scripted before
// the plug-in binds it), a base folder, a log folder, and the settings that
// point the plug-in at them.
//
// Declare it before the PluginApi of a test: the plug-in must be unloaded
// (and let go of the engine) before the folders are removed.
#pragma once

#include <cstdint>
#include <string>

#include "common/scratch.h"
#include "test_engine_api.h"

// Where the build puts the test engine: next to the tests' bin folder.
std::string TestEngineBuildPath();

class TestEngineSetup {
public:
    TestEngineSetup();
    ~TestEngineSetup();
    TestEngineSetup(const TestEngineSetup&) = delete;
    TestEngineSetup& operator=(const TestEngineSetup&) = delete;

    // True when the engine was copied, loaded and every export bound.
    bool ok() const { return ok_; }
    TestEngineApi& api() { return api_; }
    TestEngineApi* operator->() { return &api_; }

    const std::string& EngineFolder() const { return engine_.path(); }
    const std::string& BaseFolder() const { return bases_.path(); }
    const std::string& LogFolder() const { return logs_.path(); }
    std::string EngineFile() const { return engine_.File("orlix32.dll"); }

    // Creates the base file (a few bytes) and scripts its record count (-1: fails).
    void AddBase(const std::string& fileName, int32_t records);

    // OrlixPath = engine folder, ShowAdvanced on, EnginePath, BasePath and
    // LogPath set to the three folders, LogEnabled on.
    void WriteSettings(SettingsKeyScratch& key) const;

    // Drops the test's own reference to the engine module (to see whether
    // the plug-in really frees it). The scripting API is unusable afterwards.
    void ReleaseModule();

private:
    TempDir engine_;
    TempDir bases_;
    TempDir logs_;
    HMODULE module_ = nullptr;
    TestEngineApi api_;
    bool ok_ = false;
};
