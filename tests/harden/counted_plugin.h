// The plug-in of the counted test build: the 19 entry points as the mail
// client calls them, plus the plug-in's own counters.
#pragma once

#include <cstdint>

#include "common/process_counters.h"
#include "plugin_loader.h"

struct PluginCounters {
    int32_t openObjects = -1;  // objects opened through the callbacks, not closed
    int32_t liveBlocks = -1;   // allocator blocks (descriptors included)
    int32_t archiveDepth = -1;
    bool operator==(const PluginCounters& o) const {
        return openObjects == o.openObjects && liveBlocks == o.liveBlocks && archiveDepth == o.archiveDepth;
    }
};

struct CountedPlugin : PluginApi {
    typedef void(__stdcall* CountersProc)(int32_t*, int32_t*, int32_t*);
    CountersProc countersProc = nullptr;

    bool LoadCounted() {
        if (!Load("orlix_counted.bav")) return false;
        countersProc =
            reinterpret_cast<CountersProc>(reinterpret_cast<void*>(GetProcAddress(module, "ORLIX_TestCounters")));
        return countersProc != nullptr;
    }
    PluginCounters Counters() const {
        PluginCounters c;
        if (countersProc) countersProc(&c.openObjects, &c.liveBlocks, &c.archiveDepth);
        return c;
    }
};
