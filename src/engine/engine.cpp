// Threads: the list of faulted libraries is guarded by its lock, for a
// search worker's probe may fault too; the binding is the loader's.
#include "engine/engine.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "base/lock.h"
#include "base/module.h"
#include "base/trace.h"
#include "engine/binding.h"
#include "engine/callbacks.h"
#include "engine/guard.h"
#include "report/log.h"
#include "resources/resource.h"

namespace {

Locked<std::vector<HMODULE>>& FaultedLibraries() {
    static Locked<std::vector<HMODULE>> faulted;
    return faulted;
}

const char* OperationName(int32_t operation) {
    switch (operation) {
        case orlix::EngineLoadBase:
            return "EngineLoadBase";
        case orlix::EngineFinishLoad:
            return "EngineFinishLoad";
        case orlix::EngineScanFile:
            return "EngineScanFile";
        case orlix::EngineLastVirusName:
            return "EngineLastVirusName";
        case orlix::EngineGetVersion:
            return "EngineGetVersion";
        case orlix::EngineLastArchiverName:
            return "EngineLastArchiverName";
        case orlix::EngineOpenArchive:
            return "EngineOpenArchive";
        case orlix::EngineGetNextFileHeader:
            return "EngineGetNextFileHeader";
        case orlix::EngineExtractNextFile:
            return "EngineExtractNextFile";
        case orlix::EngineCloseArchive:
            return "EngineCloseArchive";
        default:
            return "engine";
    }
}

// An engine that faulted is in an unknown state: stop using it for good.
void ReportFault(HMODULE library, const char* operation, const GuardFault& fault) {
    {
        std::lock_guard<CriticalSection> hold(FaultedLibraries().lock);
        try {
            FaultedLibraries().value.push_back(library);
        } catch (...) {
            // Out of memory: the binding below is still switched off.
        }
    }
    if (Binding().library.load() == library) Binding().ready = false;
    char text[128];
    wsprintfA(text, "EXCEPTION: %08X at %08X in %s", static_cast<unsigned>(fault.code),
              static_cast<unsigned>(fault.address), operation);
    TraceCall(text);
    LogError(FormatResource(IDS_ENGINE_FAULT, static_cast<unsigned>(fault.code), static_cast<unsigned>(fault.address),
                            operation));
}

struct InitCall {
    orlix::EngineInitProc init;
    void* entry;
};

int32_t RunInit(void* context) {
    InitCall* call = static_cast<InitCall*>(context);
    static const orlix::PluginVersionRecord record = orlix::kPluginVersionRecord;
    call->entry = call->init(EngineFileCallbacks(), orlix::kCallbackSlotCount, &record, 0);
    return 0;
}

struct EntryCall {
    orlix::EngineEntryProc entry;
    int32_t operation;
    int argc;
    uint32_t args[4];
};

int32_t RunEntry(void* context) {
    EntryCall* c = static_cast<EntryCall*>(context);
    const uint32_t* a = c->args;
    switch (c->argc) {
        case 0:
            return c->entry(0, c->operation);
        case 1:
            return c->entry(0, c->operation, a[0]);
        case 2:
            return c->entry(0, c->operation, a[0], a[1]);
        case 3:
            return c->entry(0, c->operation, a[0], a[1], a[2]);
        default:
            return c->entry(0, c->operation, a[0], a[1], a[2], a[3]);
    }
}

uint32_t Word(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

// An operation on the bound engine, refused (-1) while it is not ready.
int32_t Operation(int32_t operation, int argc, const uint32_t* args) {
    EngineBinding& b = Binding();
    if (!b.ready || !b.entry) return orlix::kEngineFailure;
    int32_t result = orlix::kEngineFailure;
    CallEngineEntry(b.library.load(), b.entry, operation, argc, args, &result);
    return result;
}

}  // namespace

void* CallEngineInit(HMODULE library, orlix::EngineInitProc init, bool* faulted) {
    InitCall call = {init, nullptr};
    int32_t ignored;
    GuardFault fault;
    *faulted = !GuardedCall(RunInit, &call, &ignored, &fault);
    if (*faulted) {
        ReportFault(library, orlix::kEngineInitExport, fault);
        return nullptr;
    }
    return call.entry;
}

bool CallEngineEntry(HMODULE library, orlix::EngineEntryProc entry, int32_t operation, int argc, const uint32_t* args,
                     int32_t* result) {
    EntryCall call = {entry, operation, argc, {}};
    for (int i = 0; i < argc && i < 4; ++i) call.args[i] = args[i];
    GuardFault fault;
    if (GuardedCall(RunEntry, &call, result, &fault)) return true;
    *result = orlix::kEngineFailure;
    ReportFault(library, OperationName(operation), fault);
    return false;
}

bool EngineLibraryFaulted(HMODULE library) {
    std::lock_guard<CriticalSection> hold(FaultedLibraries().lock);
    for (HMODULE faulted : FaultedLibraries().value)
        if (faulted == library) return true;
    return false;
}

bool EngineReady() { return Binding().ready; }

int32_t EngineScanObject(int32_t mode, const char* objectName) {
    const uint32_t args[4] = {static_cast<uint32_t>(mode), 1, Word(objectName), 0};
    return Operation(orlix::EngineScanFile, 4, args);
}

void EngineGetLastVirusName(char (&name)[orlix::kVirusNameBufferSize]) {
    memset(name, 0, sizeof name);
    const uint32_t args[1] = {Word(name)};
    Operation(orlix::EngineLastVirusName, 1, args);
    // Not ready (or just faulted): whatever the engine left is not a name.
    if (!EngineReady()) name[0] = '\0';
    name[orlix::kVirusNameMaxChars] = '\0';
}

int32_t EngineGetLastArchiverName(char (&name)[orlix::kArchiverNameBufferSize]) {
    memset(name, 0, sizeof name);
    const uint32_t args[1] = {Word(name)};
    int32_t result = Operation(orlix::EngineLastArchiverName, 1, args);
    if (result == orlix::kEngineFailure) name[0] = '\0';
    name[orlix::kArchiverNameBufferSize - 1] = '\0';
    return result;
}

int32_t EngineOpenArchiveLevel() {
    const uint32_t args[1] = {1};
    return Operation(orlix::EngineOpenArchive, 1, args);
}

int32_t EngineNextMember(orlix::ArchiveMemberHeader* header) {
    const uint32_t args[2] = {Word(header), orlix::kMemberNameMaxChars};
    return Operation(orlix::EngineGetNextFileHeader, 2, args);
}

int32_t EngineExtractMember(orlix::ArchiveMemberHeader* header) {
    const uint32_t args[2] = {Word(header), 1};
    return Operation(orlix::EngineExtractNextFile, 2, args);
}

void EngineCloseArchiveLevel(orlix::ArchiveMemberHeader* header) {
    const uint32_t args[1] = {Word(header)};
    Operation(orlix::EngineCloseArchive, 1, args);
}
