// Many checks of every kind, and many start-up and shut-down cycles, in one
// process: the system's counts of handles and GDI and USER objects, and the
// plug-in's own counts of open callback objects and allocator blocks, end
// where they started. ORLIX_LEAK_CHECKS overrides the number of checks.
#include <cstdio>
#include <cstdlib>

#include "orlix/contract.h"
#include "harden_fixture.h"

namespace {

uint32_t ChecksToRun() { return EnvNumber("ORLIX_LEAK_CHECKS", 100000); }

// Compares the counts that demonstrably count on this system; says which do not.
void ExpectSameCounts(const ProcessCounters& before, const ProcessCounters& after) {
    const CounterAvailability a = ProbeCounters();
    if (a.handlesCounted) {
        EXPECT_EQ(before.handles, after.handles);
    } else {
        printf("[ leaks    ] handle count not available here\n");
    }
    if (a.gdiCounted) {
        EXPECT_EQ(before.gdiObjects, after.gdiObjects);
    } else {
        printf("[ leaks    ] GDI object count not available here\n");
    }
    if (a.userCounted) {
        EXPECT_EQ(before.userObjects, after.userObjects);
    } else {
        printf("[ leaks    ] USER object count not available here\n");
    }
}

std::string Describe(const ProcessCounters& c) {
    return "handles " + std::to_string(c.handles) + ", GDI " + std::to_string(c.gdiObjects) + ", USER " +
           std::to_string(c.userObjects);
}

class Leaks : public Hardened {
protected:
    std::string clean, infected, archive, failing, missing;
    char block[8192];
    HostStatus status;

    void Script() {
        ASSERT_NO_FATAL_FAILURE(Prepare());
        const std::string folder = engine->LogFolder();
        clean = folder + "\\clean.txt";
        infected = folder + "\\infected.exe";
        archive = folder + "\\archive.zip";
        failing = folder + "\\failing.bin";
        missing = folder + "\\missing.bin";
        for (const std::string* f : {&clean, &infected, &archive, &failing})
            ASSERT_TRUE(WriteFileBytes(*f, std::string(5000, 'x')));
        memset(block, 'm', sizeof block);
        te().VirusName("*", "Leak.Test");
        te().SetScanFallback(infected.c_str(), 0, 0x1);
        te().SetScanFallback(failing.c_str(), 0, -1);
        te().SetScanFallback(archive.c_str(), 0, 0x1000);
        te().DefineArchive(archive.c_str(), 0, 0);
        te().Member(archive, "a.txt", 0, 0);
        te().Member(archive, "inner.zip", 0, 0x1000, "inner");
        te().Member(archive, "b.txt", 0, 0x100);
        te().DefineArchive("inner", 0, 0);
        te().Member("inner", "c.txt", 0, 0);
        te().SetScanFallback(clean.c_str(), 1, 0);
        // Every check opens its object through the callbacks and reads it.
        te().SetReadObject(1);
    }

    // One check of the i-th kind; false when its answer is not the expected one.
    bool CheckOne(uint32_t i) {
        status.Reset();
        int32_t expected = 0;
        int32_t answer = 0;
        switch (i % 7) {
            case 0:
                answer = plugin.CheckFile(clean.c_str(), status.get());
                break;
            case 1:
                expected = 1;
                answer = plugin.CheckFile(infected.c_str(), status.get());
                break;
            case 2:
                answer = plugin.CheckFile(archive.c_str(), status.get());
                break;
            case 3:
                answer = plugin.CheckMemory(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block)), sizeof block,
                                            status.get());
                break;
            case 4:
                expected = -3;
                answer = plugin.CheckFile(failing.c_str(), status.get());
                break;
            case 5:
                answer = plugin.CheckFile(missing.c_str(), status.get());
                break;
            default:
                answer = plugin.CureFile(clean.c_str(), status.get());
                break;
        }
        return answer == expected && status.Bounded();
    }
};

}  // namespace

TEST_F(Leaks, ManyChecksOfEveryKindHoldNothingBack) {
    ASSERT_NO_FATAL_FAILURE(Script());
    ASSERT_NO_FATAL_FAILURE(Start());
    te().SetRecording(0);
    // First uses allocate once (string tables, time formats, the system's caches).
    for (uint32_t i = 0; i < 700; ++i) ASSERT_TRUE(CheckOne(i)) << i;
    // Counting windows sets up the thread's window station on first use.
    ProbeCounters();
    const ProcessCounters before = ReadProcessCounters();
    const PluginCounters own = plugin.Counters();
    EXPECT_EQ(start, own);

    const uint32_t checks = ChecksToRun();
    const DWORD began = GetTickCount();
    uint32_t wrong = 0;
    for (uint32_t i = 0; i < checks; ++i) wrong += !CheckOne(i);
    const ProcessCounters after = ReadProcessCounters();
    printf("[ leaks    ] %u checks in %lu ms; before: %s; after: %s\n", checks,
           static_cast<unsigned long>(GetTickCount() - began), Describe(before).c_str(), Describe(after).c_str());
    EXPECT_EQ(0u, wrong);
    ExpectSameCounts(before, after);
    EXPECT_EQ(start, plugin.Counters());
}

TEST_F(Leaks, InitializeAndUninitializeCyclesHoldNothingBack) {
    ASSERT_NO_FATAL_FAILURE(Script());
    ASSERT_NO_FATAL_FAILURE(Start());
    te().SetRecording(0);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(0, plugin.Uninitialize());
        ASSERT_EQ(0, plugin.Initialize());
        ASSERT_TRUE(CheckOne(static_cast<uint32_t>(i)));
    }
    ProbeCounters();
    const ProcessCounters before = ReadProcessCounters();
    for (uint32_t i = 0; i < 200; ++i) {
        ASSERT_EQ(0, plugin.Uninitialize());
        ASSERT_EQ(0, plugin.Initialize());
        // A find and a failure in each cycle: the alerts run too.
        ASSERT_TRUE(CheckOne(1));
        ASSERT_TRUE(CheckOne(4));
    }
    const ProcessCounters after = ReadProcessCounters();
    printf("[ leaks    ] 200 cycles; before: %s; after: %s\n", Describe(before).c_str(), Describe(after).c_str());
    ExpectSameCounts(before, after);
    EXPECT_EQ(start, plugin.Counters());
    EXPECT_EQ(0, plugin.Uninitialize());
}
