#include "counted_plugin.h"

ProcessCounters ReadProcessCounters() {
    ProcessCounters c;
    GetProcessHandleCount(GetCurrentProcess(), &c.handles);
    c.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    c.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    return c;
}
