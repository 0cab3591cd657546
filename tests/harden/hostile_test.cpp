// A hostile engine behind each of the three object entry points: faults in
// every operation in turn, random answers, buffers filled to their last byte,
// endless nesting, endless member lists, a cure that never ends. Each time the
// host gets a documented answer within its buffer, nothing is left open, and
// an engine that faulted is never called again.
#include <cstdio>
#include <vector>

#include "orlix/contract.h"
#include "harden_fixture.h"

namespace {

enum Entry { ViaCheckFile, ViaCheckMemory, ViaCureFile };
const char* const kEntryNames[] = {"CheckFile", "CheckMemory", "CureFile"};

class Hostile : public Hardened {
protected:
    std::string file;
    char block[4096] = {};
    HostStatus status;

    void Prepare(bool logEnabled = true) {
        ASSERT_NO_FATAL_FAILURE(Hardened::Prepare(logEnabled));
        file = engine->LogFolder() + "\\object.bin";
        ASSERT_TRUE(WriteFileBytes(file, "object"));
        memset(block, 'b', sizeof block);
    }

    // The object key the engine sees for an entry point.
    std::string Key(Entry entry) const {
        if (entry != ViaCheckMemory) return file;
        char name[32];
        sprintf(name, orlix::kMemoryObjectNameFormat, static_cast<unsigned>(reinterpret_cast<uintptr_t>(block)),
                static_cast<unsigned>(sizeof block));
        return name;
    }

    int32_t Run(Entry entry) {
        status.Reset();
        switch (entry) {
            case ViaCheckFile:
                return plugin.CheckFile(file.c_str(), status.get());
            case ViaCheckMemory:
                return plugin.CheckMemory(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block)), sizeof block,
                                          status.get());
            default:
                return plugin.CureFile(file.c_str(), status.get());
        }
    }

    // Documented answers of the entry point, the host's buffer kept, and
    // nothing left open or allocated.
    void ExpectSound(Entry entry, int32_t answer) {
        if (entry == ViaCureFile) {
            EXPECT_TRUE(answer == 0 || answer == -3) << answer;
        } else {
            EXPECT_TRUE(answer == 0 || answer == 1 || answer == 2 || answer == -3) << answer;
        }
        EXPECT_TRUE(status.Bounded()) << status.text();
        EXPECT_EQ(start, plugin.Counters());
    }

    // An archive whose members reach every archive operation: a clean one,
    // a nested archive, an infected one.
    void ScriptArchive(const std::string& key) {
        te().DefineArchive(key.c_str(), 0, 0);
        te().Member(key, "clean.txt", 0, 0);
        te().Member(key, "inner.zip", 0, 0x1000, "inner");
        te().Member(key, "bad.exe", 0, 0x1);
        te().DefineArchive("inner", 0, 0);
        te().Member("inner", "deep.txt", 0, 0);
    }
};

struct FaultStep {
    int32_t op;
    int kind;
};

class HostileFault : public Hostile, public testing::WithParamInterface<std::tuple<FaultStep, Entry>> {};

}  // namespace

TEST_P(HostileFault, EndsInEngineErrorAndTheEngineIsNeverCalledAgain) {
    const FaultStep step = std::get<0>(GetParam());
    const Entry entry = std::get<1>(GetParam());
    ASSERT_NO_FATAL_FAILURE(Prepare());
    const std::string key = Key(entry);
    te().VirusName("*", "Hostile.Fault");
    // A check meets an archive; the cure is told it cured, then clean.
    te().SetScanFallback(key.c_str(), 0, step.op == orlix::EngineLastVirusName ? 0x1 : 0x1000);
    te().QueueScan(key.c_str(), 1, 0x9);
    te().SetScanFallback(key.c_str(), 1, 0);
    ScriptArchive(key);
    ASSERT_NO_FATAL_FAILURE(Start());
    te().SetFault(step.op, step.kind, nullptr);

    const int32_t answer = Run(entry);
    ExpectSound(entry, answer);
    const bool reached = entry != ViaCureFile || step.op == orlix::EngineScanFile;
    if (!reached) {
        // The cure asks nothing but the scan: nothing faulted.
        EXPECT_EQ(0, answer);
        EXPECT_EQ("Ok", status.text());
        return;
    }
    EXPECT_EQ(-3, answer);
    EXPECT_EQ("Engine error", status.text());
    int faulted = 0;
    for (const TE_Record& r : te().Records()) faulted += r.op == step.op && r.result == TE_RESULT_FAULTED;
    EXPECT_EQ(1, faulted);

    // Every later call answers the engine error without reaching the engine.
    const int calls = te().RecordCount();
    for (Entry again : {ViaCheckFile, ViaCheckMemory, ViaCureFile}) {
        EXPECT_EQ(-3, Run(again)) << kEntryNames[again];
        EXPECT_EQ("Engine error", status.text());
        ExpectSound(again, -3);
    }
    EXPECT_EQ(calls, te().RecordCount());
}

INSTANTIATE_TEST_SUITE_P(
    EveryOperation, HostileFault,
    testing::Combine(testing::Values(FaultStep{orlix::EngineScanFile, TE_FAULT_ACCESS_VIOLATION},
                                     FaultStep{orlix::EngineLastVirusName, TE_FAULT_DIVIDE_BY_ZERO},
                                     FaultStep{orlix::EngineLastArchiverName, TE_FAULT_STACK_OVERFLOW},
                                     FaultStep{orlix::EngineOpenArchive, TE_FAULT_ACCESS_VIOLATION},
                                     FaultStep{orlix::EngineGetNextFileHeader, TE_FAULT_DIVIDE_BY_ZERO},
                                     FaultStep{orlix::EngineExtractNextFile, TE_FAULT_STACK_OVERFLOW},
                                     FaultStep{orlix::EngineCloseArchive, TE_FAULT_ACCESS_VIOLATION}),
                     testing::Values(ViaCheckFile, ViaCheckMemory, ViaCureFile)),
    [](const testing::TestParamInfo<std::tuple<FaultStep, Entry>>& info) {
        return "Op" + std::to_string(std::get<0>(info.param).op) + "_" + kEntryNames[std::get<1>(info.param)];
    });

TEST_F(Hostile, RandomAnswersAndFullBuffersGiveDocumentedAnswers) {
    ASSERT_NO_FATAL_FAILURE(Prepare(false));
    ASSERT_NO_FATAL_FAILURE(Start());
    // Random answers fill every buffer the engine is given to its last byte,
    // none of them terminated.
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        te().SetRandom(seed * 2654435761u | 1);
        for (Entry entry : {ViaCheckFile, ViaCheckMemory, ViaCureFile}) {
            const int32_t answer = Run(entry);
            ExpectSound(entry, answer);
            if (HasFailure()) FAIL() << "seed " << seed << " via " << kEntryNames[entry];
        }
    }
    EXPECT_EQ(0, plugin.Counters().archiveDepth);
}

TEST_F(Hostile, EndlessNestingStopsAtTheDepthLimit) {
    ASSERT_NO_FATAL_FAILURE(Prepare(false));
    for (Entry entry : {ViaCheckFile, ViaCheckMemory}) {
        const std::string key = Key(entry);
        te().SetScanFallback(key.c_str(), 0, 0x1000);
        // Every archive holds itself.
        te().DefineArchive(key.c_str(), 0, 0);
        te().Member(key, "self.zip", 0, 0x1000, key.c_str());
    }
    te().SetScanFallback(file.c_str(), 1, 0x1000);
    ASSERT_NO_FATAL_FAILURE(Start());
    for (Entry entry : {ViaCheckFile, ViaCheckMemory, ViaCureFile}) {
        const int32_t answer = Run(entry);
        ExpectSound(entry, answer);
        EXPECT_EQ(-3, answer) << kEntryNames[entry];
        EXPECT_EQ(entry == ViaCureFile ? "File is archive - cannot be cured" : "Archive level is too deep, skipped",
                  status.text());
    }
}

TEST_F(Hostile, EndlessMemberListsAndEndlessCuresAreBounded) {
    ASSERT_NO_FATAL_FAILURE(Prepare(false));
    for (Entry entry : {ViaCheckFile, ViaCheckMemory}) {
        const std::string key = Key(entry);
        te().SetScanFallback(key.c_str(), 0, 0x1000);
        te().DefineArchive(key.c_str(), 0, TE_ARCHIVE_ENDLESS);
        te().Member(key, "again.txt", 0, 0);
    }
    te().SetScanFallback(file.c_str(), 1, 0x9);  // cured, and again, and again
    ASSERT_NO_FATAL_FAILURE(Start());
    te().SetRecording(0);
    for (Entry entry : {ViaCheckFile, ViaCheckMemory, ViaCureFile}) {
        const int32_t answer = Run(entry);
        ExpectSound(entry, answer);
        EXPECT_EQ(-3, answer) << kEntryNames[entry];
        if (entry != ViaCureFile) {
            EXPECT_EQ("Archive lists too many members, walk stopped", status.text());
        }
    }
    te().SetRecording(1);
}

TEST_F(Hostile, MemoryObjectKeptOpenPastItsCheckReadsAndWritesNothing) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    struct Kept {
        TestEngineApi* te;
        uint32_t handle;
    } kept = {&te(), 0xFFFFFFFFu};
    te().SetScanFallback("*", 0, 0);
    ASSERT_NO_FATAL_FAILURE(Start());
    te().SetHook(
        orlix::EngineScanFile,
        [](int32_t, const char* name, void* context) {
            Kept* k = static_cast<Kept*>(context);
            k->handle = k->te->Call(orlix::SlotOpenFile, {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name)), 0});
        },
        &kept);
    EXPECT_EQ(0, Run(ViaCheckMemory));
    te().SetHook(orlix::EngineScanFile, nullptr, nullptr);
    ASSERT_NE(0xFFFFFFFFu, kept.handle);

    // The host may have freed or reused the block by now.
    char buffer[16];
    memset(block, 'h', sizeof block);
    memset(buffer, 'e', sizeof buffer);
    const uint32_t bufferAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer));
    EXPECT_EQ(0xFFFFFFFFu, te().Call(orlix::SlotReadFile, {kept.handle, bufferAddress, sizeof buffer}));
    EXPECT_EQ(0xFFFFFFFFu, te().Call(orlix::SlotWriteFile, {kept.handle, bufferAddress, sizeof buffer}));
    EXPECT_EQ(std::string(sizeof buffer, 'e'), std::string(buffer, sizeof buffer));
    EXPECT_EQ(std::string(sizeof block, 'h'), std::string(block, sizeof block));
    EXPECT_EQ(1, plugin.Counters().openObjects);
    EXPECT_EQ(0u, te().Call(orlix::SlotCloseFile, {kept.handle}));
    EXPECT_EQ(start, plugin.Counters());
}
