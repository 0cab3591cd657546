// The two doors into the engine: ORLIX_InitDll binds the host's callbacks,
// EngineEntry dispatches every operation. No exception leaves either.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "database.h"
#include "orlix/contract.h"
#include "engine_door.h"
#include "engine_state.h"
#include "host_io.h"
#include "wide_filter.h"

namespace {

int32_t Dispatch(int32_t operation, va_list args) {
    using namespace refengine;
    switch (operation) {
        case orlix::EngineLoadBase:
            return CurrentDatabase().LoadBase(va_arg(args, const char*));
        case orlix::EngineFinishLoad: {
            CurrentDatabase().Finish();
            // Which vector instructions the matcher uses in this process.
            char trace[64];
            std::snprintf(trace, sizeof trace, "orlix32: matcher filter: %s\n", FilterPathName(ActiveFilterPath()));
            HostTrace(trace);
            return 0;
        }
        case orlix::EngineScanFile: {
            int32_t mode = va_arg(args, int32_t);
            va_arg(args, int32_t);
            const char* name = va_arg(args, const char*);
            return ScanObject(mode, name);
        }
        case orlix::EngineLastVirusName:
            CopyLastVirusName(va_arg(args, char*));
            return 0;
        case orlix::EngineGetVersion:
            return orlix::kOurEngineVersion;
        case orlix::EngineLastArchiverName:
            return CopyLastArchiverName(va_arg(args, char*));
        case orlix::EngineOpenArchive:
            return OpenArchive();
        case orlix::EngineGetNextFileHeader: {
            auto* header = va_arg(args, orlix::ArchiveMemberHeader*);
            return NextMemberHeader(header, va_arg(args, int32_t));
        }
        case orlix::EngineExtractNextFile:
            return ExtractMember(va_arg(args, orlix::ArchiveMemberHeader*));
        case orlix::EngineCloseArchive:
            CloseArchive();
            return 0;
        default:
            return orlix::kEngineFailure;
    }
}

}  // namespace

ENGINE_EXPORT void* __cdecl ORLIX_InitDll(const void* callbacks, int32_t count, const void*, int32_t) {
    try {
        refengine::ResetScanState();
        refengine::CurrentDatabase().Clear();
        if (!refengine::BindHost(static_cast<const orlix::CallbackSlot*>(callbacks), count)) return nullptr;
    } catch (...) {
        return nullptr;
    }
    return reinterpret_cast<void*>(&enginedoor::GuardedEntry<Dispatch, refengine::HostBound>);
}

// Counts of the bases loaded since ORLIX_InitDll, for tools and tests:
// records accepted and lines rejected.
ENGINE_EXPORT void __cdecl ORLIX_BaseStatistics(int32_t* records, int32_t* rejected) {
    if (records) *records = refengine::CurrentDatabase().records();
    if (rejected) *rejected = refengine::CurrentDatabase().rejectedLines();
}
