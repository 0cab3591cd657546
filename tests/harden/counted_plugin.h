// The plug-in of the counted test build: the 19 entry points as the mail
// client calls them, plus the plug-in's own counters.
#pragma once

#include <cstdint>

#include "plugin_loader.h"

struct PluginCounters {
    int32_t openObjects = -1;  // objects opened through the callbacks, not closed
    int32_t liveBlocks = -1;   // allocator blocks (descriptors included)
    int32_t archiveDepth = -1;
    bool operator==(const PluginCounters& o) const {
        return openObjects == o.openObjects && liveBlocks == o.liveBlocks && archiveDepth == o.archiveDepth;
    }
};

// What the system counts for this process: GetProcessHandleCount and
// GetGuiResources where they answer. Some systems (Wine among them) answer 0;
// there the handles are counted from the system's handle list, the GDI
// objects from the process's GDI handle table and the USER objects as the
// process's windows. Each count is only used once a probe object has been
// seen to move it (the *Counted flags).
struct ProcessCounters {
    DWORD handles = 0;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
};
ProcessCounters ReadProcessCounters();
struct CounterAvailability {
    bool handlesCounted = false;
    bool gdiCounted = false;
    bool userCounted = false;
};
// Creates and destroys one object of each kind and sees which counts follow.
CounterAvailability ProbeCounters();

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
