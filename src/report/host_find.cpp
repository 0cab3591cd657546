#include "report/host_find.h"

#include <cstring>

namespace {
struct Search {
    const char* className;
    bool needsParent;
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM lParam) {
    Search* search = reinterpret_cast<Search*>(lParam);
    if (search->needsParent && !GetParent(window)) return TRUE;
    // The plug-in runs inside the mail client: a window of another process
    // (another instance) must get neither our notice nor our log command.
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    if (!IsWindowVisible(window)) return TRUE;
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, search->className) != 0) return TRUE;
    search->found = window;
    return FALSE;
}
}  // namespace

HWND FindHostMainWindow() {
    Search search = {"TMailerForm", false, nullptr};
    EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindVirusCentreWindow() {
    Search search = {"TVirusCentre", true, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
}
