// A structured-exception guard for calls into foreign code (the engine) and
// for copies from memory the plug-in does not own: a fault inside the guarded
// procedure (access violation, division by zero, stack overflow, any
// exception it leaves unhandled) ends the procedure and is reported to the
// caller instead of reaching the mail client.
#pragma once

#include <cstdint>

struct GuardFault {
    uint32_t code = 0;
    uint32_t address = 0;
    // The memory address an access fault touched, when the system names one.
    uint32_t dataAddress = 0;
};

typedef int32_t (*GuardedProc)(void* context);

// Runs proc(context). True with *result set when it returned; false with
// *fault set when it raised an exception. After a stack overflow the
// thread's stack guard page is restored, so a later overflow is caught again;
// a guard page the procedure touched is armed again, so the stack it guards
// (another thread's, perhaps) can still grow.
bool GuardedCall(GuardedProc proc, void* context, int32_t* result, GuardFault* fault);

// Copies between memory the plug-in does not own; false (nothing promised
// about the target) when either side faulted, with *fault set if given.
bool GuardedCopy(void* to, const void* from, size_t count, GuardFault* fault);

// The length of a text in memory the plug-in does not own, counted up to
// limit; false when it could not be read that far.
bool GuardedLength(const char* text, size_t limit, size_t* length);
