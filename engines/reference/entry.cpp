// The doors into the reference engine: ORLIX_InitDll binds a new engine to
// the host's callbacks, its entry point dispatches every operation, and
// ORLIX_BaseStatistics counts what the bases loaded. No exception leaves.
#include <cstdint>

#include "engine_boundary.h"
#include "reference_engine.h"

using ReferenceDoor = engineboundary::Door<refengine::ReferenceEngine>;

ENGINE_EXPORT void* __cdecl ORLIX_InitDll(const void* callbacks, int32_t count, const void*, int32_t) {
    return ReferenceDoor::Init(callbacks, count);
}

// Records accepted and lines rejected since ORLIX_InitDll, for tools and tests.
ENGINE_EXPORT void __cdecl ORLIX_BaseStatistics(int32_t* records, int32_t* rejected) {
    ReferenceDoor::Statistics(records, rejected);
}

// The same in detail: databases of the open format, their headers, skipped kinds.
ENGINE_EXPORT void __cdecl ORLIX_BaseStatisticsEx(orlix::BaseStatisticsEx* statistics) {
    ReferenceDoor::StatisticsEx(statistics);
}
