// Real faults on request, and the record, hook and fault every operation
// goes through first.
#include <windows.h>

#include "engine_state.h"

namespace te {
namespace {

constexpr size_t kMaxRecords = 65536;

volatile int g_zero = 0;
volatile int g_stopRecursion = 0;
volatile uintptr_t g_nowhere = 0x10;
volatile int g_quotient = 0;

__attribute__((noinline)) void RaiseAccessViolation() { *reinterpret_cast<volatile int*>(g_nowhere) = 1; }

__attribute__((noinline)) void RaiseDivideByZero() {
    volatile int one = 1;
    g_quotient = one / g_zero;
}

__attribute__((noinline)) int Recurse(int depth) {
    volatile char pad[4096];
    pad[0] = static_cast<char>(depth);
    if (g_stopRecursion) return pad[0];
    return Recurse(depth + 1) + pad[0];
}

void RaiseFault(int kind) {
    if (kind == TE_FAULT_ACCESS_VIOLATION) RaiseAccessViolation();
    if (kind == TE_FAULT_DIVIDE_BY_ZERO) RaiseDivideByZero();
    if (kind == TE_FAULT_STACK_OVERFLOW) Recurse(0);
}

int Record(Journal& j, int32_t op, int32_t reserved, const uint32_t* args, const char* text) {
    if (!j.recording || j.records.size() >= kMaxRecords) return -1;
    TE_Record r = {};
    r.op = op;
    r.reserved = reserved;
    for (int i = 0; i < 4; ++i) r.args[i] = args ? args[i] : 0;
    r.result = TE_RESULT_FAULTED;
    if (text) lstrcpynA(r.text, text, TE_RECORD_TEXT);
    j.records.push_back(r);
    return static_cast<int>(j.records.size() - 1);
}

}  // namespace

int Enter(int32_t op, int32_t reserved, const uint32_t* args, const char* text, const std::string& faultName) {
    int index;
    int fault = TE_FAULT_NONE;
    Hook hook;
    {
        std::lock_guard<std::mutex> hold(Lock());
        Script& s = S().script;
        index = Record(S().journal, op, reserved, args, text);
        auto f = s.faults.find(op);
        if (f != s.faults.end() && (f->second.anyName || f->second.name == faultName)) fault = f->second.kind;
        auto h = s.hooks.find(op);
        if (h != s.hooks.end()) hook = h->second;
    }
    if (hook.procedure) hook.procedure(op, text, hook.context);
    RaiseFault(fault);
    return index;
}

}  // namespace te
