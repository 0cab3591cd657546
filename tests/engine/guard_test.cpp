#include "engine/guard.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {
volatile int g_zero = 0;
volatile uintptr_t g_nowhere = 0x10;
volatile int g_stop = 0;

int32_t Fine(void* context) { return *static_cast<int32_t*>(context); }
int32_t AccessViolation(void*) { return *reinterpret_cast<volatile int*>(g_nowhere); }
int32_t DivideByZero(void*) {
    volatile int one = 1;
    return one / g_zero;
}
int Recurse(int depth) {
    volatile char pad[4096];
    pad[0] = static_cast<char>(depth);
    if (g_stop) return pad[0];
    return Recurse(depth + 1) + pad[0];
}
int32_t StackOverflow(void*) { return Recurse(0); }

void DumpStack(const char* when) {
    MEMORY_BASIC_INFORMATION r;
    VirtualQuery(&r, &r, sizeof r);
    uintptr_t p = reinterpret_cast<uintptr_t>(r.AllocationBase);
    printf("%s\n", when);
    for (int i = 0; i < 8; ++i) {
        if (!VirtualQuery(reinterpret_cast<void*>(p), &r, sizeof r)) break;
        printf("  %08lx size %08lx state %lx protect %lx\n", (unsigned long)p, (unsigned long)r.RegionSize, r.State,
               r.Protect);
        p += r.RegionSize;
        if (p > reinterpret_cast<uintptr_t>(&r)) break;
    }
}
}  // namespace

TEST(Guard, Experiment) {
    DumpStack("before");
    int32_t result = 0;
    GuardFault fault;
    EXPECT_FALSE(GuardedCall(StackOverflow, nullptr, &result, &fault));
    printf("code %08x\n", fault.code);
    DumpStack("after");
    EXPECT_FALSE(GuardedCall(StackOverflow, nullptr, &result, &fault));
    printf("code %08x\n", fault.code);
    DumpStack("after2");
    EXPECT_FALSE(GuardedCall(AccessViolation, nullptr, &result, &fault));
    printf("code %08x\n", fault.code);
    EXPECT_FALSE(GuardedCall(DivideByZero, nullptr, &result, &fault));
    printf("code %08x\n", fault.code);
    int32_t v = 7;
    EXPECT_TRUE(GuardedCall(Fine, &v, &result, &fault));
    EXPECT_EQ(7, result);
}
