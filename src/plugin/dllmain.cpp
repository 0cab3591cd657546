// The library's load and unload notifications; nothing else happens here.
#include <windows.h>

#include "plugin/lifecycle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    try {
        switch (reason) {
            case DLL_PROCESS_ATTACH:
                OnLibraryLoad(instance);
                break;
            case DLL_PROCESS_DETACH:
                OnLibraryUnload(reserved != nullptr);
                break;
            default:
                break;
        }
    } catch (...) {
    }
    return TRUE;
}
