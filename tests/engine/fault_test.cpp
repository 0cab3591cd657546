// Real faults inside the engine, each in a child process under the debugger:
// the operation answers -1, the fault is traced and logged once, the engine
// is never called again, and the process lives on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "common/child.h"
#include "common/test_engine_setup.h"
#include "engine/engine.h"
#include "engine/loader.h"
#include "plugin_loader.h"
#include "settings/settings.h"

namespace {

int CountOps(TestEngineApi& api, int32_t op) {
    int n = 0;
    for (const TE_Record& r : api.Records()) n += r.op == op;
    return n;
}

// Runs one operation; answers what it answered.
int32_t RunOperation(int32_t op) {
    orlix::ArchiveMemberHeader header = {};
    char virus[orlix::kVirusNameBufferSize];
    char archiver[orlix::kArchiverNameBufferSize];
    switch (op) {
        case orlix::EngineScanFile:
            return EngineScanObject(0, "obj");
        case orlix::EngineLastVirusName:
            EngineGetLastVirusName(virus);
            return virus[0] == '\0' ? -1 : 0;
        case orlix::EngineLastArchiverName:
            return EngineGetLastArchiverName(archiver);
        case orlix::EngineOpenArchive:
            return EngineOpenArchiveLevel();
        case orlix::EngineGetNextFileHeader:
            return EngineNextMember(&header);
        case orlix::EngineExtractNextFile:
            return EngineExtractMember(&header);
        default:
            EngineCloseArchiveLevel(&header);
            return -1;
    }
}

}  // namespace

// args: engine file, operation, fault kind. Exit code 0 when every check
// made inside the child held, else the number of the failed check.
CHILD_SCENARIO(engine_fault) {
    HMODULE module = LoadLibraryA(args[0].c_str());
    TestEngineApi api;
    if (!api.Bind(module)) return 10;
    const int32_t op = atoi(args[1].c_str());
    api.SetFault(op, atoi(args[2].c_str()), nullptr);
    api.SetVirusName("*", "Name", -1);
    api.SetDefaultBaseRecords(3);
    LoadSettings();
    const bool loaded = LoadEngine();
    const bool loaderOperation = op == TE_OP_INIT || op == orlix::EngineLoadBase || op == orlix::EngineGetVersion;
    if (loaderOperation) {
        if (loaded || EngineReady()) return 11;
    } else {
        if (!loaded || !EngineReady()) return 12;
        if (RunOperation(op) != -1) return 13;
        if (EngineReady()) return 14;
    }
    // Never called again, whatever is asked: not even a new initialisation
    // or a probe of the same library.
    const int before = api.RecordCount();
    if (EngineScanObject(0, "obj") != -1 || RunOperation(op) != -1) return 15;
    if (LoadEngine() || ProbeEngine(args[0]) != 0) return 16;
    if (api.RecordCount() != before) return 17;
    if (CountOps(api, op) != 1) return 18;
    return 0;
}

namespace {

struct FaultCase {
    int32_t op;
    int kind;
    const char* code;
    const char* operation;
};

class EngineFault : public testing::TestWithParam<FaultCase> {};

bool MatchesFaultText(const std::string& text, const std::string& head, const std::string& tail) {
    // head + 8 hex digits + tail
    if (text.size() != head.size() + 8 + tail.size()) return false;
    if (text.compare(0, head.size(), head) != 0) return false;
    if (text.compare(head.size() + 8, tail.size(), tail) != 0) return false;
    for (size_t i = head.size(); i < head.size() + 8; ++i)
        if (!isxdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

}  // namespace

TEST_P(EngineFault, IsCaughtLoggedOnceAndEndsTheBinding) {
    const FaultCase& c = GetParam();
    SettingsKeyScratch key;
    TestEngineSetup engine;
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 3);
    engine.WriteSettings(key);
    CapturedRun run =
        RunChildUnderDebugger("engine_fault", {engine.EngineFile(), std::to_string(c.op), std::to_string(c.kind)});
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.exceptions.empty());

    const std::string head = std::string("EXCEPTION: ") + c.code + " at ";
    const std::string tail = std::string(" in ") + c.operation;
    int traced = 0;
    for (const std::string& t : run.Traces()) traced += MatchesFaultText(t, head, tail);
    EXPECT_EQ(1, traced);

    int logged = 0;
    const std::string logHead = std::string("ERROR: Engine fault ") + c.code + " at ";
    const std::string logTail = std::string(" in ") + c.operation + ", engine disabled";
    std::vector<std::string> log = ReadLogLines(engine.LogFolder());
    for (const std::string& line : log) logged += MatchesFaultText(line, logHead, logTail);
    EXPECT_EQ(1, logged);
    const std::string disabled = "ERROR: Engine disabled after a fault, not used again (" + engine.EngineFile() + ")";
    EXPECT_EQ(2, std::count(log.begin(), log.end(), disabled));
    if (c.op == orlix::EngineLoadBase) {
        // The base's line is finished as failed; nothing more is offered.
        auto failed = std::find(log.begin(), log.end(), "Loading virus definition base: main.vdb - failed");
        ASSERT_NE(log.end(), failed);
        ASSERT_NE(log.end(), failed + 1);
        EXPECT_EQ("", *(failed + 1));
        EXPECT_EQ(0, std::count(log.begin(), log.end(), "Virus definitions loaded, total 3 records"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EngineFault,
    testing::Values(FaultCase{orlix::EngineScanFile, TE_FAULT_ACCESS_VIOLATION, "C0000005", "EngineScanFile"},
                    FaultCase{orlix::EngineScanFile, TE_FAULT_DIVIDE_BY_ZERO, "C0000094", "EngineScanFile"},
                    FaultCase{orlix::EngineScanFile, TE_FAULT_STACK_OVERFLOW, "C00000FD", "EngineScanFile"},
                    FaultCase{orlix::EngineCloseArchive, TE_FAULT_ACCESS_VIOLATION, "C0000005", "EngineCloseArchive"},
                    FaultCase{orlix::EngineGetNextFileHeader, TE_FAULT_STACK_OVERFLOW, "C00000FD",
                              "EngineGetNextFileHeader"},
                    FaultCase{orlix::EngineLastVirusName, TE_FAULT_DIVIDE_BY_ZERO, "C0000094", "EngineLastVirusName"},
                    FaultCase{TE_OP_INIT, TE_FAULT_ACCESS_VIOLATION, "C0000005", "ORLIX_InitDll"},
                    FaultCase{orlix::EngineGetVersion, TE_FAULT_DIVIDE_BY_ZERO, "C0000094", "EngineGetVersion"},
                    FaultCase{orlix::EngineLoadBase, TE_FAULT_STACK_OVERFLOW, "C00000FD", "EngineLoadBase"}),
    [](const testing::TestParamInfo<FaultCase>& info) {
        return std::string(info.param.operation) + "_" + info.param.code;
    });
