// What every engine of ours does the same way at the contract's boundary:
// the guarded entry point and the calls into the host's callback table.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "orlix/contract.h"

#ifdef _WIN32
#define ENGINE_EXPORT extern "C" __declspec(dllexport)
#else
#define ENGINE_EXPORT extern "C"
#endif

namespace enginedoor {

// EngineEntry: refuses every operation until a host is bound, hands the
// arguments to the engine's dispatcher, and lets no exception out.
template <int32_t (*Dispatch)(int32_t operation, va_list args), bool (*Bound)()>
int32_t __cdecl GuardedEntry(int32_t, int32_t operation, ...) {
    if (!Bound()) return orlix::kEngineFailure;
    va_list args;
    va_start(args, operation);
    int32_t result = orlix::kEngineFailure;
    try {
        result = Dispatch(operation, args);
    } catch (...) {
        result = orlix::kEngineFailure;
    }
    va_end(args);
    return result;
}

// Every callback takes an ignored first argument, then its own ones, each a
// machine word: 32 bits in the DLL, pointer-sized where an engine's core is
// built natively for its tests.
typedef intptr_t(__cdecl* HostProc1)(intptr_t, intptr_t);
typedef intptr_t(__cdecl* HostProc2)(intptr_t, intptr_t, intptr_t);
typedef intptr_t(__cdecl* HostProc3)(intptr_t, intptr_t, intptr_t, intptr_t);

// The host's table once bound; an engine keeps one for its lifetime.
class HostTable {
public:
    // Binds table when it is long enough and has every required slot;
    // otherwise nothing is bound and the answer is false.
    template <size_t N>
    bool Bind(const orlix::CallbackSlot* table, int32_t count, const int (&required)[N]) {
        table_ = nullptr;
        if (!table) return false;
        for (int slot : required) {
            if (slot >= count || !table[slot].procedure) return false;
        }
        table_ = table;
        return true;
    }
    bool bound() const { return table_ != nullptr; }
    template <typename Proc>
    Proc Slot(int index) const {
        return reinterpret_cast<Proc>(table_[index].procedure);
    }

private:
    const orlix::CallbackSlot* table_ = nullptr;
};

inline intptr_t Word(const void* pointer) { return reinterpret_cast<intptr_t>(pointer); }
// The host's answers are 32-bit values.
inline int32_t Answer(intptr_t value) { return static_cast<int32_t>(value); }

}  // namespace enginedoor
