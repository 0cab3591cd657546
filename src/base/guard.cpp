#include "base/guard.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD kStackOverflow = 0xC00000FD;
constexpr DWORD kGuardPageViolation = 0x80000001;

uint32_t DataAddress(const EXCEPTION_RECORD* exception) {
    if (exception->NumberParameters < 2) return 0;
    return static_cast<uint32_t>(exception->ExceptionInformation[1]);
}

// The system clears a guard page's flag as it reports the touch; put it back,
// for the page belongs to someone else (a stack that grows through it).
void RearmGuardPage(uint32_t address) {
    MEMORY_BASIC_INFORMATION region;
    void* at = reinterpret_cast<void*>(static_cast<uintptr_t>(address));
    if (!VirtualQuery(at, &region, sizeof region) || region.State != MEM_COMMIT) return;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    void* page = reinterpret_cast<void*>(static_cast<uintptr_t>(address) & ~(uintptr_t(system.dwPageSize) - 1));
    DWORD old = 0;
    VirtualProtect(page, system.dwPageSize, region.Protect | PAGE_GUARD, &old);
}

// Puts the guard page back below the committed part of the current stack.
// A stack overflow uses the guard page up; without it the next overflow
// would hit the reserved end of the stack and end the process at once.
void RestoreStackGuard() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const uintptr_t page = system.dwPageSize;
    MEMORY_BASIC_INFORMATION region;
    const uintptr_t here = reinterpret_cast<uintptr_t>(&region);
    if (!VirtualQuery(&region, &region, sizeof region)) return;
    uintptr_t p = reinterpret_cast<uintptr_t>(region.AllocationBase);
    while (p < here) {
        if (!VirtualQuery(reinterpret_cast<void*>(p), &region, sizeof region)) return;
        if (region.Protect & PAGE_GUARD) return;
        if (region.State == MEM_COMMIT && (region.Protect & PAGE_READWRITE)) break;
        p = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    }
    if (p + 2 * page > here) return;
    DWORD old = 0;
    VirtualProtect(reinterpret_cast<void*>(p), page, PAGE_READWRITE | PAGE_GUARD, &old);
}

}  // namespace

#if defined(_MSC_VER)

namespace {
int Capture(EXCEPTION_POINTERS* pointers, GuardFault* fault) {
    fault->code = pointers->ExceptionRecord->ExceptionCode;
    fault->address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointers->ExceptionRecord->ExceptionAddress));
    fault->dataAddress = DataAddress(pointers->ExceptionRecord);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool Invoke(GuardedProc proc, void* context, int32_t* result, GuardFault* fault) {
    __try {
        *result = proc(context);
        return true;
    } __except (Capture(GetExceptionInformation(), fault)) {
        return false;
    }
}
}  // namespace

#else

// Without __try the guard registers an exception frame on the thread's SEH
// chain (fs:[0]) by hand. The frame holds the stack and frame pointers of the
// guarded call; the handler unwinds every frame the faulting code registered
// after it and resumes there with the answer -1, as an __except block would.
struct GuardRecord {
    void* next;  // the registration record: chain link and handler
    void* handler;
    uint32_t esp;
    uint32_t ebp;
    uint32_t code;
    uint32_t address;
    uint32_t faulted;
    uint32_t dataAddress;
};

extern "C" {
int32_t __cdecl orlix_guard_invoke(GuardedProc proc, void* context, GuardRecord* record);
void __cdecl orlix_guard_resume(GuardRecord* record);
EXCEPTION_DISPOSITION __cdecl orlix_guard_handler(EXCEPTION_RECORD* exception, void* frame, CONTEXT* context,
                                                  void* dispatcher);
}

asm(R"(
    .text
    .globl _orlix_guard_invoke
_orlix_guard_invoke:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 16(%ebp), %eax
    movl %fs:0, %edx
    movl %edx, 0(%eax)
    movl $_orlix_guard_handler, 4(%eax)
    movl %esp, 8(%eax)
    movl %ebp, 12(%eax)
    movl %eax, %fs:0
    pushl 12(%ebp)
    call *8(%ebp)
    addl $4, %esp
    movl 16(%ebp), %ecx
    movl 0(%ecx), %edx
    movl %edx, %fs:0
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .globl _orlix_guard_resume
_orlix_guard_resume:
    movl 4(%esp), %ecx
    movl 8(%ecx), %esp
    movl 12(%ecx), %ebp
    movl 0(%ecx), %edx
    movl %edx, %fs:0
    movl $-1, %eax
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

extern "C" EXCEPTION_DISPOSITION __cdecl orlix_guard_handler(EXCEPTION_RECORD* exception, void* frame, CONTEXT*,
                                                             void*) {
    const DWORD kUnwinding = 0x2 | 0x4;
    if (exception->ExceptionFlags & kUnwinding) return ExceptionContinueSearch;
    GuardRecord* record = static_cast<GuardRecord*>(frame);
    record->code = exception->ExceptionCode;
    record->address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(exception->ExceptionAddress));
    record->faulted = 1;
    record->dataAddress = DataAddress(exception);
    RtlUnwind(frame, nullptr, exception, nullptr);
    orlix_guard_resume(record);
    return ExceptionContinueSearch;
}

namespace {
bool Invoke(GuardedProc proc, void* context, int32_t* result, GuardFault* fault) {
    GuardRecord record = {};
    int32_t answer = orlix_guard_invoke(proc, context, &record);
    if (!record.faulted) {
        *result = answer;
        return true;
    }
    fault->code = record.code;
    fault->address = record.address;
    fault->dataAddress = record.dataAddress;
    return false;
}
}  // namespace

#endif

bool GuardedCall(GuardedProc proc, void* context, int32_t* result, GuardFault* fault) {
    GuardFault caught;
    int32_t answer = -1;
    bool completed = Invoke(proc, context, &answer, &caught);
    *result = completed ? answer : -1;
    if (!completed) {
        if (caught.code == kStackOverflow) RestoreStackGuard();
        if (caught.code == kGuardPageViolation) RearmGuardPage(caught.dataAddress);
        if (fault) *fault = caught;
    }
    return completed;
}

namespace {
struct CopyJob {
    void* to;
    const void* from;
    size_t count;
};

int32_t CopyBytes(void* context) {
    CopyJob* job = static_cast<CopyJob*>(context);
    memmove(job->to, job->from, job->count);
    return 0;
}

struct LengthJob {
    const char* text;
    size_t limit;
    size_t length;
};

int32_t MeasureText(void* context) {
    LengthJob* job = static_cast<LengthJob*>(context);
    job->length = strnlen(job->text, job->limit);
    return 0;
}
}  // namespace

bool GuardedCopy(void* to, const void* from, size_t count, GuardFault* fault) {
    CopyJob job = {to, from, count};
    int32_t ignored;
    return GuardedCall(CopyBytes, &job, &ignored, fault);
}

bool GuardedLength(const char* text, size_t limit, size_t* length) {
    LengthJob job = {text, limit, 0};
    int32_t ignored;
    if (!GuardedCall(MeasureText, &job, &ignored, nullptr)) return false;
    *length = job.length;
    return true;
}
