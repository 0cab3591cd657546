// Finding the mail client's windows by their exact class names.
#include <cstring>

#include "report/notice.h"

namespace {
struct Search {
    const char* className;
    bool needsParent;
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM lParam) {
    Search* search = reinterpret_cast<Search*>(lParam);
    if (search->needsParent && !GetParent(window)) return TRUE;
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
