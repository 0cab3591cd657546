// The structured-exception guard around engine calls, against real faults.
#include "base/guard.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {
volatile int g_zero = 0;
volatile uintptr_t g_nowhere = 0x10;
volatile int g_stop = 0;

int32_t ReturnContext(void* context) { return *static_cast<int32_t*>(context); }

__attribute__((noinline)) int32_t AccessViolation(void*) { return *reinterpret_cast<volatile int*>(g_nowhere); }

__attribute__((noinline)) int32_t DivideByZero(void*) {
    volatile int one = 1;
    return one / g_zero;
}

__attribute__((noinline)) int Recurse(int depth) {
    volatile char pad[4096];
    pad[0] = static_cast<char>(depth);
    if (g_stop) return pad[0];
    return Recurse(depth + 1) + pad[0];
}
int32_t StackOverflow(void*) { return Recurse(0); }

int32_t Noncontinuable(void*) {
    RaiseException(0xE0001234, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return 0;
}

// A guarded call inside a guarded call: the inner fault stays inside.
int32_t NestedFault(void* context) {
    int32_t inner = 0;
    GuardFault fault;
    bool completed = GuardedCall(AccessViolation, nullptr, &inner, &fault);
    *static_cast<uint32_t*>(context) = fault.code;
    return completed ? 1 : 2;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
void* SehChainHead() { return reinterpret_cast<NT_TIB*>(NtCurrentTeb())->ExceptionList; }
#pragma GCC diagnostic pop

bool GuardPagePresent() {
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(&region, &region, sizeof region)) return false;
    uintptr_t p = reinterpret_cast<uintptr_t>(region.AllocationBase);
    const uintptr_t here = reinterpret_cast<uintptr_t>(&region);
    while (p < here && VirtualQuery(reinterpret_cast<void*>(p), &region, sizeof region)) {
        if (region.Protect & PAGE_GUARD) return true;
        p = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    return false;
}
}  // namespace

TEST(Guard, ReturnsTheAnswerOfACompletedCall) {
    int32_t value = 7;
    int32_t result = 0;
    GuardFault fault;
    EXPECT_TRUE(GuardedCall(ReturnContext, &value, &result, &fault));
    EXPECT_EQ(7, result);
}

TEST(Guard, AccessViolationAndDivisionByZeroBecomeFailures) {
    void* chain = SehChainHead();
    int32_t result = 0;
    GuardFault fault;
    EXPECT_FALSE(GuardedCall(AccessViolation, nullptr, &result, &fault));
    EXPECT_EQ(-1, result);
    EXPECT_EQ(0xC0000005u, fault.code);
    const uintptr_t start = reinterpret_cast<uintptr_t>(&AccessViolation);
    EXPECT_GE(fault.address, start);
    EXPECT_LT(fault.address, start + 64);

    EXPECT_FALSE(GuardedCall(DivideByZero, nullptr, &result, &fault));
    EXPECT_EQ(0xC0000094u, fault.code);
    EXPECT_EQ(chain, SehChainHead());
}

TEST(Guard, StackOverflowIsCaughtAgainAndAgain) {
    // Without restoring the guard page the second overflow would run into
    // the end of the stack as an access violation (or end the process).
    for (int i = 0; i < 3; ++i) {
        int32_t result = 0;
        GuardFault fault;
        EXPECT_FALSE(GuardedCall(StackOverflow, nullptr, &result, &fault));
        EXPECT_EQ(0xC00000FDu, fault.code) << "overflow " << i;
        EXPECT_TRUE(GuardPagePresent());
    }
}

TEST(Guard, NoncontinuableExceptionsAreCaughtToo) {
    int32_t result = 0;
    GuardFault fault;
    EXPECT_FALSE(GuardedCall(Noncontinuable, nullptr, &result, &fault));
    EXPECT_EQ(0xE0001234u, fault.code);
}

TEST(Guard, InnerGuardKeepsItsFaultAndOuterCallCompletes) {
    uint32_t innerCode = 0;
    int32_t result = 0;
    GuardFault fault;
    EXPECT_TRUE(GuardedCall(NestedFault, &innerCode, &result, &fault));
    EXPECT_EQ(2, result);
    EXPECT_EQ(0xC0000005u, innerCode);
}

TEST(Guard, ManyFaultsLeaveRegistersAndChainIntact) {
    void* chain = SehChainHead();
    volatile uint32_t a = 1, b = 2, c = 3;
    uint32_t sum = 0;
    for (int i = 0; i < 200; ++i) {
        int32_t result = 0;
        GuardFault fault;
        bool completed = GuardedCall(i % 2 ? AccessViolation : DivideByZero, nullptr, &result, &fault);
        sum += a + b + c + static_cast<uint32_t>(completed) + static_cast<uint32_t>(i);
    }
    EXPECT_EQ(200u * 6u + 199u * 200u / 2u, sum);
    EXPECT_EQ(chain, SehChainHead());
}
