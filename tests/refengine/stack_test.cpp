// The engine's vector code on the stack alignment 32-bit Windows gives a
// thread: 4 bytes, not the 16 the compiler's own convention keeps. Checks
// run from a thread whose stack sits 4, 8 and 12 bytes off a 16-byte
// boundary (and on one, for comparison) must give the answers of the usual
// call; a filter path that relied on alignment would fault there.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "bench_host.h"
#include "common/import_patch.h"
#include "common/scratch.h"
#include "orlix/contract.h"

// Calls fn(arg) with the stack pointer `skew` bytes below a 16-byte
// boundary at the call instruction.
extern "C" void __cdecl CallWithSkewedStack(void(__cdecl* fn)(void*), void* arg, unsigned skew);
__asm__(
    ".text\n"
    ".globl _CallWithSkewedStack\n"
    "_CallWithSkewedStack:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    movl 16(%ebp), %ecx\n"
    "    andl $-16, %esp\n"
    "    subl %ecx, %esp\n"
    "    subl $16, %esp\n"
    "    movl 12(%ebp), %eax\n"
    "    movl %eax, (%esp)\n"
    "    call *8(%ebp)\n"
    "    movl %ebp, %esp\n"
    "    popl %ebp\n"
    "    ret\n");

namespace {

struct Job {
    orlix::EngineEntryProc entry;
    std::string infected, clean;
    unsigned skew;
    uintptr_t stackAtCall = 0;
    int32_t infectedAnswer = -2, cleanAnswer = -2;
};

int32_t Check(const Job& job, const std::string& path) {
    return job.entry(0, orlix::EngineScanFile, orlix::kScanModeCheck, 1, path.c_str(), 0);
}

void __cdecl CheckBoth(void* arg) {
    Job& job = *static_cast<Job*>(arg);
    // The argument lies where the stack pointer was at the call.
    job.stackAtCall = reinterpret_cast<uintptr_t>(&arg);
    job.infectedAnswer = Check(job, job.infected);
    job.cleanAnswer = Check(job, job.clean);
}

DWORD WINAPI SkewedThread(void* arg) {
    Job* job = static_cast<Job*>(arg);
    CallWithSkewedStack(CheckBoth, job, job->skew);
    return 0;
}

}  // namespace

TEST(RefEngineStack, ChecksFromStacksOffSixteenByteAlignmentGiveTheUsualAnswers) {
    orlix::EngineEntryProc entry = LoadBenchEngine("..\\refengine\\");
    ASSERT_NE(entry, nullptr);
    TempDir dir;
    CurrentFolderScratch inDir(dir.path());  // where the engine's temporary files go
    ASSERT_TRUE(inDir.ok());
    // Some text, a record's bytes, more text: the filter visits it all.
    const std::string text(300000, 't'), needle = "\xC3\x17\x9A\x05\xE1\x6B\x42\xF0\x88\x3D\x71\xAC\x09\xD4\x5E\xB2";
    ASSERT_TRUE(WriteFileBytes(dir.File("stack.vdb"), "Stack.Test.Needle:0:*:c3179a05e16b42f0883d71ac09d45eb2\n"));
    ASSERT_TRUE(WriteFileBytes(dir.File("infected.bin"), text + needle + text));
    ASSERT_TRUE(WriteFileBytes(dir.File("clean.bin"), text + text));

    // The path the engine chose, as its debugger output names it.
    AlertRecorder traces(GetModuleHandleA("orlix32.dll"));
    ASSERT_EQ(entry(0, orlix::EngineLoadBase, dir.File("stack.vdb").c_str()), 1);
    entry(0, orlix::EngineFinishLoad);
    std::string chosen;
    for (const std::string& e : traces.Events()) {
        const std::string prefix = "trace: orlix32: matcher filter: ";
        if (e.compare(0, prefix.size(), prefix) == 0) chosen = e.substr(prefix.size());
    }
    const char* forced = std::getenv("ORLIX_MATCHER_PATH");
    if (forced) {
        EXPECT_EQ(chosen, forced);
    }
    EXPECT_NE(chosen, "");
    EXPECT_NE(chosen, "scalar") << "every processor that runs the plug-in has SSE2";

    for (unsigned skew : {0u, 4u, 8u, 12u}) {
        Job job{entry, dir.File("infected.bin"), dir.File("clean.bin"), skew};
        HANDLE thread = CreateThread(nullptr, 0, SkewedThread, &job, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
        CloseHandle(thread);
        EXPECT_EQ(job.stackAtCall % 16, (16 - skew) % 16) << "skew " << skew;
        EXPECT_EQ(job.infectedAnswer & orlix::ResultInfected, orlix::ResultInfected)
            << chosen << " skew " << skew << " answer " << job.infectedAnswer;
        EXPECT_EQ(job.cleanAnswer, 0) << chosen << " skew " << skew;
    }
}
