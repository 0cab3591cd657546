// Calls a function through raw stack pushes and reports whether the callee
// removed its arguments, as a stdcall function must.
#pragma once

#include <cstdint>

struct StdcallProbe {
    int32_t result = static_cast<int32_t>(0xdeadbeef);
    int32_t stackDelta = static_cast<int32_t>(0xdeadbeef);  // bytes left on the stack after the call
};

StdcallProbe CallWithArguments(const void* function, const uint32_t* args, int count);
