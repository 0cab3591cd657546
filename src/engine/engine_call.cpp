// Threads: the list of faulted libraries is guarded by its lock, for a
// search worker's probe may fault too.
#include "engine/engine_call.h"

#include <mutex>
#include <vector>

#include "base/guard.h"
#include "base/lock.h"
#include "base/module.h"
#include "base/trace.h"
#include "callbacks/callbacks.h"
#include "report/log.h"
#include "resources/resource.h"

namespace {

struct FaultRecord {
    std::vector<HMODULE> libraries;
    // A fault that could not be listed (out of memory): no library can be
    // trusted to be the sound one, so none is used again.
    bool unlisted = false;
};

Locked<FaultRecord>& FaultedLibraries() {
    static Locked<FaultRecord> faulted;
    return faulted;
}

const char* OperationName(int32_t operation) {
    const orlix::OperationInfo* info = orlix::FindOperation(operation);
    return info ? info->name : "engine";
}

// An engine that faulted is in an unknown state: stop using it for good.
void ReportFault(HMODULE library, const char* operation, const GuardFault& fault) {
    {
        std::lock_guard<CriticalSection> hold(FaultedLibraries().lock);
        try {
            FaultedLibraries().value.libraries.push_back(library);
        } catch (...) {
            FaultedLibraries().value.unlisted = true;
        }
    }
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
    const FaultRecord& record = FaultedLibraries().value;
    if (record.unlisted) return true;
    for (HMODULE faulted : record.libraries)
        if (faulted == library) return true;
    return false;
}
