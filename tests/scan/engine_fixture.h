// The plug-in bound to the scriptable test engine, which the test loads
// first (to script it) and the plug-in then binds, with one virus base.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "common/test_engine_setup.h"
#include "scan_fixture.h"

class EngineFixture : public ScanFixture {
protected:
    TestEngineSetup engine;
    TestEngineApi& te = engine.api();
    int recordMark = 0;
    bool prepared = false;

    // Scripts the engine with one virus base; call before StartEngine.
    void PrepareEngine() {
        ASSERT_TRUE(engine.ok()) << TestEngineBuildPath();
        engine.AddBase("main.vdb", 10);
        engine.WriteSettings(key);
        prepared = true;
    }

    // Starts the plug-in on the prepared engine; records start empty.
    void StartEngine() {
        if (!prepared) PrepareEngine();
        ASSERT_NO_FATAL_FAILURE(StartPlugin());
        ClearRecords();
    }

    void ClearRecords() { recordMark = te.RecordCount(); }

    // The operations received since the last ClearRecords.
    std::vector<std::string> Ops() {
        std::vector<std::string> all = te.Operations();
        return std::vector<std::string>(all.begin() + std::min<size_t>(recordMark, all.size()), all.end());
    }
    int CountOps(const std::string& start) { return te.CountOperations(start, static_cast<size_t>(recordMark)); }

    // A chain of archives nested levels deep below key: each level holds one
    // member, the next archive; the innermost holds one clean member.
    void DefineChain(const std::string& archiveKey, int levels, const std::string& innermostMember = "clean.txt") {
        std::string current = archiveKey;
        te.DefineArchive(archiveKey.c_str(), 0, 0);
        for (int level = 1; level < levels; ++level) {
            const std::string next = "L" + std::to_string(level) + ".zip";
            te.Member(current, next, 0, 0x1000, (archiveKey + "/" + next).c_str());
            current = archiveKey + "/" + next;
            te.DefineArchive(current.c_str(), 0, 0);
        }
        te.Member(current, innermostMember, 0, 0);
    }
};
