// What the system counts for this process, for the leak checks.
#pragma once

#include <windows.h>

#include <set>

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

// Identifiers of the threads of this process.
std::set<DWORD> ThreadsOfProcess();
