// A stand-in orlix32.dll whose initialisation blocks: it signals the event
// "OrlixSetupTestProbeEntered" and waits for "OrlixSetupTestProbeRelease"
// (at most a minute), then answers version 431. Lets a test stop the drive
// search while a probe is under way.
#include <windows.h>

#include <cstdarg>
#include <cstdint>

namespace {
int32_t __cdecl Entry(int32_t, int32_t operation, ...) { return operation == 8 ? 431 : 0; }
}  // namespace

extern "C" __declspec(dllexport) void* __cdecl ORLIX_InitDll(const void*, int32_t, const void*, int32_t) {
    HANDLE entered = OpenEventA(EVENT_MODIFY_STATE, FALSE, "OrlixSetupTestProbeEntered");
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, "OrlixSetupTestProbeRelease");
    if (entered) SetEvent(entered);
    if (release) WaitForSingleObject(release, 60000);
    if (entered) CloseHandle(entered);
    if (release) CloseHandle(release);
    return reinterpret_cast<void*>(&Entry);
}
