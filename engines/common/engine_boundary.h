// What every engine of ours does the same way at the contract's boundary:
// the entry point that reads each operation's arguments and hands them,
// typed, to the engine object; ORLIX_InitDll's binding; and the calls into
// the host's callback table. No exception leaves the boundary.
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "orlix/contract.h"

#ifdef _WIN32
#include <windows.h>
#define ENGINE_EXPORT extern "C" __declspec(dllexport)
#else
#define ENGINE_EXPORT extern "C"
#endif

// Every engine DLL of ours exports these two.
ENGINE_EXPORT void* __cdecl ORLIX_InitDll(const void* callbacks, int32_t count, const void* versionRecord,
                                          int32_t reserved);
ENGINE_EXPORT void __cdecl ORLIX_BaseStatistics(int32_t* records, int32_t* rejected);
// Engines that load the open signature databases export this one too.
ENGINE_EXPORT void __cdecl ORLIX_BaseStatisticsEx(orlix::BaseStatisticsEx* statistics);

namespace engineboundary {

// An engine's answers to the contract's operations.
class Engine {
public:
    virtual ~Engine() = default;
    // A new binding to the host's table; false when a slot it needs is missing.
    virtual bool Bind(const orlix::CallbackSlot* table, int32_t count) = 0;
    virtual int32_t LoadBase(const char* path) = 0;
    virtual void FinishLoad() {}
    virtual int32_t ScanFile(int32_t mode, const char* name) = 0;
    virtual void LastVirusName(char* buffer) = 0;
    // Engines that walk no archives answer the archive operations with -1.
    virtual int32_t LastArchiverName(char*) { return orlix::kEngineFailure; }
    virtual int32_t OpenArchive() { return orlix::kEngineFailure; }
    virtual int32_t NextMemberHeader(orlix::ArchiveMemberHeader*, int32_t) { return orlix::kEngineFailure; }
    virtual int32_t ExtractMember(orlix::ArchiveMemberHeader*) { return orlix::kEngineFailure; }
    virtual void CloseArchive() {}
    // What the bases loaded since the binding hold, and the lines rejected.
    virtual void Statistics(int32_t* records, int32_t* rejected) = 0;
    // The same in detail; engines without more to say give the two counts.
    virtual void StatisticsEx(orlix::BaseStatisticsEx& out) { Statistics(&out.records, &out.rejectedLines); }
};

// Reads an operation's arguments in the contract's order.
inline int32_t Dispatch(Engine& engine, int32_t operation, va_list args) {
    switch (operation) {
        case orlix::EngineLoadBase:
            return engine.LoadBase(va_arg(args, const char*));
        case orlix::EngineFinishLoad:
            engine.FinishLoad();
            return 0;
        case orlix::EngineScanFile: {
            int32_t mode = va_arg(args, int32_t);
            va_arg(args, int32_t);
            return engine.ScanFile(mode, va_arg(args, const char*));
        }
        case orlix::EngineLastVirusName: {
            char* buffer = va_arg(args, char*);
            if (buffer) engine.LastVirusName(buffer);
            return 0;
        }
        case orlix::EngineGetVersion:
            return orlix::kOurEngineVersion;
        case orlix::EngineLastArchiverName: {
            char* buffer = va_arg(args, char*);
            return buffer ? engine.LastArchiverName(buffer) : orlix::kEngineFailure;
        }
        case orlix::EngineOpenArchive:
            return engine.OpenArchive();
        case orlix::EngineGetNextFileHeader: {
            auto* header = va_arg(args, orlix::ArchiveMemberHeader*);
            int32_t room = va_arg(args, int32_t);
            return header ? engine.NextMemberHeader(header, room) : orlix::kEngineFailure;
        }
        case orlix::EngineExtractNextFile: {
            auto* header = va_arg(args, orlix::ArchiveMemberHeader*);
            return header ? engine.ExtractMember(header) : orlix::kEngineFailure;
        }
        case orlix::EngineCloseArchive:
            engine.CloseArchive();
            return 0;
        default:
            return orlix::kEngineFailure;
    }
}

// The engine a DLL serves. The contract's entry point carries no context,
// so the binding is kept here: a new engine object for every ORLIX_InitDll.
template <typename E>
class Door {
public:
    // ORLIX_InitDll: the entry point, or null when the table cannot be bound.
    static void* Init(const void* callbacks, int32_t count) {
        try {
            Current().reset();
            std::unique_ptr<E> engine(new E);
            if (!engine->Bind(static_cast<const orlix::CallbackSlot*>(callbacks), count)) return nullptr;
            Current() = std::move(engine);
        } catch (...) {
            Current().reset();
            return nullptr;
        }
        return reinterpret_cast<void*>(&Entry);
    }

    static int32_t __cdecl Entry(int32_t, int32_t operation, ...) {
        E* engine = Current().get();
        if (!engine) return orlix::kEngineFailure;
        va_list args;
        va_start(args, operation);
        int32_t result = orlix::kEngineFailure;
        try {
            result = Dispatch(*engine, operation, args);
        } catch (...) {
            result = orlix::kEngineFailure;
        }
        va_end(args);
        return result;
    }

    static void Statistics(int32_t* records, int32_t* rejected) {
        int32_t none = 0;
        try {
            if (E* engine = Current().get()) {
                engine->Statistics(records ? records : &none, rejected ? rejected : &none);
                return;
            }
        } catch (...) {
        }
        if (records) *records = 0;
        if (rejected) *rejected = 0;
    }

    // Fills structSize bytes at most of the caller's record.
    static void StatisticsEx(orlix::BaseStatisticsEx* out) {
        if (!out || out->structSize < static_cast<int32_t>(2 * sizeof(int32_t))) return;
        orlix::BaseStatisticsEx full = {};
        try {
            if (E* engine = Current().get()) engine->StatisticsEx(full);
        } catch (...) {
            full = orlix::BaseStatisticsEx();
        }
        const size_t room = std::min(static_cast<size_t>(out->structSize), sizeof full);
        full.structSize = static_cast<int32_t>(room);
        std::memcpy(out, &full, room);
    }

    // The bound engine, for programs that link an engine's core natively.
    static E* Bound() { return Current().get(); }

private:
    static std::unique_ptr<E>& Current() {
        static std::unique_ptr<E> engine;
        return engine;
    }
};

// Every callback takes an ignored first argument, then its own ones, each a
// machine word: 32 bits in the DLL, pointer-sized where an engine's core is
// built natively for its tests.
typedef intptr_t(__cdecl* HostProc1)(intptr_t, intptr_t);
typedef intptr_t(__cdecl* HostProc2)(intptr_t, intptr_t, intptr_t);
typedef intptr_t(__cdecl* HostProc3)(intptr_t, intptr_t, intptr_t, intptr_t);

// The host's table once bound; an engine keeps one for its binding.
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

// A line for a debugger watching the process (Windows only).
inline void TraceLine(const char* text) {
#ifdef _WIN32
    OutputDebugStringA(text);
#else
    (void)text;
#endif
}

}  // namespace engineboundary
