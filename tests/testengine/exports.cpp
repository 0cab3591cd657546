// The module's exports: ORLIX_InitDll as the plug-in binds it, and the
// TE_* scripting interface of test_engine_api.h.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "engine_state.h"

using te::Lock;
using te::S;

namespace {

constexpr int32_t kHeaderNameRoom = orlix::kArchiveHeaderSize - orlix::kMemberNameOffset;

// Runs f on the state under the lock.
template <typename F>
auto Locked(F f) {
    std::lock_guard<std::mutex> hold(Lock());
    return f(S());
}

void* SlotProcedure(int32_t slot) {
    return Locked([slot](te::State& s) -> void* {
        if (!s.binding.table || slot < 0 || slot >= s.binding.tableCount) return nullptr;
        return s.binding.table[slot].procedure;
    });
}

}  // namespace

extern "C" {

void* __cdecl ORLIX_InitDll(const void* callbacks, int32_t count, const void* versionRecord, int32_t reserved) {
    const uint32_t args[4] = {
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(callbacks)), static_cast<uint32_t>(count),
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(versionRecord)), static_cast<uint32_t>(reserved)};
    const int index = te::Enter(TE_OP_INIT, 0, args, nullptr, std::string());
    return Locked([&](te::State& s) {
        s.binding.initCalled = true;
        s.binding.table = static_cast<const orlix::CallbackSlot*>(callbacks);
        s.binding.tableCount = count;
        if (versionRecord) memcpy(s.binding.versionWords, versionRecord, sizeof s.binding.versionWords);
        s.binding.initReserved = reserved;
        void* entry = s.script.refuseInit ? nullptr : reinterpret_cast<void*>(&te::EngineEntry);
        te::SetResult(s, index, static_cast<int32_t>(reinterpret_cast<uintptr_t>(entry)));
        return entry;
    });
}

void __cdecl TE_Reset() {
    Locked([](te::State& s) {
        // The plug-in handed its table once; it stays valid for the engine.
        te::Binding kept;
        kept.table = s.binding.table;
        kept.tableCount = s.binding.tableCount;
        s = te::State();
        s.binding = kept;
    });
}

void __cdecl TE_SetVersion(int32_t version) {
    Locked([&](te::State& s) { s.script.version = version; });
}

void __cdecl TE_SetInitRefuses(int32_t refuse) {
    Locked([&](te::State& s) { s.script.refuseInit = refuse != 0; });
}

void __cdecl TE_SetBaseRecords(const char* baseFileName, int32_t records) {
    Locked([&](te::State& s) { s.script.baseRecords[te::Key(baseFileName)] = records; });
}

void __cdecl TE_SetDefaultBaseRecords(int32_t records) {
    Locked([&](te::State& s) { s.script.defaultBaseRecords = records; });
}

void __cdecl TE_QueueScan(const char* key, int32_t mode, int32_t answer) {
    Locked([&](te::State& s) { s.script.scanQueues[te::ScanKey(te::Key(key), mode)].push_back(answer); });
}

void __cdecl TE_SetScanFallback(const char* key, int32_t mode, int32_t answer) {
    Locked([&](te::State& s) { s.script.scanFallbacks[te::ScanKey(te::Key(key), mode)] = answer; });
}

void __cdecl TE_SetReadObject(int32_t enable) {
    Locked([&](te::State& s) { s.script.readObject = enable != 0; });
}

int32_t __cdecl TE_LastObjectRead(void* buffer, int32_t size, int32_t* openHandle) {
    return Locked([&](te::State& s) {
        const te::Journal& j = s.journal;
        if (openHandle) *openHandle = j.lastOpenHandle;
        if (buffer && size > 0) memcpy(buffer, j.lastRead.data(), std::min(j.lastRead.size(), size_t(size)));
        return j.lastReadResult;
    });
}

void __cdecl TE_SetVirusName(const char* key, const void* bytes, int32_t length) {
    Locked([&](te::State& s) {
        s.script.virusNames[te::Key(key)] = te::Text(bytes, length, orlix::kVirusNameBufferSize);
    });
}

void __cdecl TE_SetArchiverName(const char* key, const void* bytes, int32_t length, int32_t answer) {
    Locked([&](te::State& s) {
        s.script.archiverNames[te::Key(key)] =
            te::NameAnswer{te::Text(bytes, length, orlix::kArchiverNameBufferSize), answer};
    });
}

void __cdecl TE_DefineArchive(const char* key, int32_t openAnswer, int32_t flags) {
    Locked([&](te::State& s) { s.script.archives[te::Key(key)] = te::Archive{openAnswer, flags, {}}; });
}

void __cdecl TE_AddMember(const char* archiveKey, const void* nameBytes, int32_t nameLength, int32_t headerAnswer,
                          int32_t extractAnswer, const char* memberKey) {
    te::Member m;
    m.name = te::Text(nameBytes, nameLength, kHeaderNameRoom);
    m.header = headerAnswer;
    m.extract = extractAnswer;
    m.key = memberKey ? std::string(memberKey) : std::string(m.name.c_str());
    Locked([&](te::State& s) { s.script.archives[te::Key(archiveKey)].members.push_back(m); });
}

void __cdecl TE_SetFault(int32_t op, int32_t kind, const char* name) {
    Locked([&](te::State& s) {
        if (kind == TE_FAULT_NONE)
            s.script.faults.erase(op);
        else
            s.script.faults[op] = te::Fault{kind, name == nullptr, te::Key(name)};
    });
}

void __cdecl TE_SetHook(int32_t op, TE_HookProc hook, void* context) {
    Locked([&](te::State& s) {
        if (!hook)
            s.script.hooks.erase(op);
        else
            s.script.hooks[op] = te::Hook{hook, context};
    });
}

void __cdecl TE_SetRandom(uint32_t seed) {
    Locked([&](te::State& s) { s.script.random = seed; });
}

void __cdecl TE_SetRecording(int32_t enable) {
    Locked([&](te::State& s) { s.journal.recording = enable != 0; });
}

int32_t __cdecl TE_RecordCount() {
    return Locked([](te::State& s) { return static_cast<int32_t>(s.journal.records.size()); });
}

int32_t __cdecl TE_GetRecord(int32_t index, TE_Record* record) {
    return Locked([&](te::State& s) {
        if (index < 0 || static_cast<size_t>(index) >= s.journal.records.size() || !record) return 0;
        *record = s.journal.records[static_cast<size_t>(index)];
        return 1;
    });
}

int32_t __cdecl TE_InitArguments(uint32_t* table, int32_t* count, int32_t* versionWords, int32_t* reserved) {
    return Locked([&](te::State& s) {
        const te::Binding& b = s.binding;
        if (table) *table = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(b.table));
        if (count) *count = b.tableCount;
        if (versionWords) memcpy(versionWords, b.versionWords, sizeof b.versionWords);
        if (reserved) *reserved = b.initReserved;
        return b.initCalled ? 1 : 0;
    });
}

int32_t __cdecl TE_Slot(int32_t slot, uint32_t* procedure, int32_t* count) {
    return Locked([&](te::State& s) {
        if (!s.binding.table || slot < 0 || slot >= s.binding.tableCount) return 0;
        if (procedure) *procedure = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(s.binding.table[slot].procedure));
        if (count) *count = s.binding.table[slot].argumentCount;
        return 1;
    });
}

int32_t __cdecl TE_CallSlot(int32_t slot, int32_t argc, const uint32_t* args) {
    void* procedure = SlotProcedure(slot);
    if (!procedure || argc < 0 || argc > 6) return -1;
    const uint32_t g = TE_IGNORED_ARGUMENT;
    uint32_t a[6] = {};
    for (int i = 0; i < argc; ++i) a[i] = args[i];
    // The engine pushes exactly the counted arguments after the ignored one.
    typedef uint32_t U;
    switch (argc) {
        case 0:
            return reinterpret_cast<int32_t(__cdecl*)(U)>(procedure)(g);
        case 1:
            return reinterpret_cast<int32_t(__cdecl*)(U, U)>(procedure)(g, a[0]);
        case 2:
            return reinterpret_cast<int32_t(__cdecl*)(U, U, U)>(procedure)(g, a[0], a[1]);
        case 3:
            return reinterpret_cast<int32_t(__cdecl*)(U, U, U, U)>(procedure)(g, a[0], a[1], a[2]);
        case 4:
            return reinterpret_cast<int32_t(__cdecl*)(U, U, U, U, U)>(procedure)(g, a[0], a[1], a[2], a[3]);
        case 5:
            return reinterpret_cast<int32_t(__cdecl*)(U, U, U, U, U, U)>(procedure)(g, a[0], a[1], a[2], a[3], a[4]);
        default:
            return reinterpret_cast<int32_t(__cdecl*)(U, U, U, U, U, U, U)>(procedure)(g, a[0], a[1], a[2], a[3], a[4],
                                                                                       a[5]);
    }
}

}  // extern "C"
