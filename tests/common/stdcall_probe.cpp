#include "common/stdcall_probe.h"

StdcallProbe CallWithArguments(const void* function, const uint32_t* args, int count) {
    StdcallProbe probe;
    uint32_t before = 0, after = 0, result = 0;
    // Push the arguments right to left, call, and compare the stack pointer
    // with its value before the pushes.
    __asm__ __volatile__(
        "movl %%esp, %%esi\n\t"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "decl %%ecx\n\t"
        "pushl (%%edi,%%ecx,4)\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "call *%%ebx\n\t"
        "movl %%esp, %%edx\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(result), "=S"(before), "=d"(after), "+c"(count)
        : "D"(args), "b"(function)
        : "memory", "cc");
    probe.result = static_cast<int32_t>(result);
    probe.stackDelta = static_cast<int32_t>(before - after);
    return probe;
}
