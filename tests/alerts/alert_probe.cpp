#include "alert_probe.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstring>

#include "host_windows.h"

namespace {
std::atomic<LONG> g_trackX{0};
std::atomic<LONG> g_trackY{0};
std::atomic<bool> g_tracked{false};

LRESULT CALLBACK RecordTrack(int code, WPARAM wParam, LPARAM lParam) {
    auto call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == TTM_TRACKPOSITION) {
        g_trackX = static_cast<SHORT>(LOWORD(call->lParam));
        g_trackY = static_cast<SHORT>(HIWORD(call->lParam));
        g_tracked = true;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct ClassSearch {
    const char* className;
    HINSTANCE module;
    HWND found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM lParam) {
    auto search = reinterpret_cast<ClassSearch*>(lParam);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, search->className) != 0) return TRUE;
    if (search->module && reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE)) != search->module)
        return TRUE;
    search->found = window;
    return FALSE;
}

int64_t Combine(const FILETIME& a, const FILETIME& b) {
    auto value = [](const FILETIME& t) {
        return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return value(a) + value(b);
}
}  // namespace

int64_t ThreadProcessorTime(DWORD threadId) {
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (!thread) return -1;
    FILETIME created, exited, kernel, user;
    BOOL ok = GetThreadTimes(thread, &created, &exited, &kernel, &user);
    CloseHandle(thread);
    return ok ? Combine(kernel, user) : -1;
}

int64_t ProcessProcessorTime() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    return Combine(kernel, user);
}

HWND FindHiddenWindow(HINSTANCE module) {
    ClassSearch search = {"OrlixBavHiddenWindow", module, nullptr};
    EnumWindows(&MatchClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindBalloonOfThread(DWORD threadId) {
    ClassSearch search = {TOOLTIPS_CLASSA, nullptr, nullptr};
    EnumThreadWindows(threadId, &MatchClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

size_t CountWindowsOfThread(DWORD threadId, const char* className) {
    struct Count {
        const char* className;
        size_t count;
    } count = {className, 0};
    struct Counter {
        static BOOL CALLBACK Visit(HWND window, LPARAM lParam) {
            auto c = reinterpret_cast<Count*>(lParam);
            char name[64] = "";
            GetClassNameA(window, name, sizeof name);
            if (std::strcmp(name, c->className) == 0) ++c->count;
            return TRUE;
        }
    };
    EnumThreadWindows(threadId, &Counter::Visit, reinterpret_cast<LPARAM>(&count));
    return count.count;
}

bool WaitForPluginWindows(HMODULE module, HWND* hidden, HWND* balloon) {
    bool found = PumpUntil(
        [&] {
            *hidden = FindHiddenWindow(module);
            *balloon = *hidden ? FindBalloonOfThread(GetWindowThreadProcessId(*hidden, nullptr)) : nullptr;
            return *balloon != nullptr;
        },
        10000);
    // The balloon is found as soon as it exists, before it is set up; a
    // message sent to the hidden window is handled only by the loop after.
    DWORD_PTR ignored = 0;
    return found && SendMessageTimeoutA(*hidden, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored) != 0;
}

TrackPositionRecorder::TrackPositionRecorder(DWORD threadId) {
    g_tracked = false;
    hook_ = SetWindowsHookExA(WH_CALLWNDPROC, &RecordTrack, nullptr, threadId);
}

TrackPositionRecorder::~TrackPositionRecorder() {
    if (hook_) UnhookWindowsHookEx(hook_);
}

bool TrackPositionRecorder::Last(POINT* point) const {
    point->x = g_trackX;
    point->y = g_trackY;
    return g_tracked;
}

std::string BalloonText(HWND balloon, HWND host) {
    // The ANSI form of the request returns at most 80 characters.
    WCHAR text[1024] = L"";
    TOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = host;
    info.uId = 0;
    info.lpszText = text;
    SendMessageW(balloon, TTM_GETTEXTW, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(&info));
    char narrow[2048] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

bool SaveScreenshot(const std::string& unixPath) {
    // Wine maps the whole file system to Z:.
    std::string windowsPath = "Z:" + unixPath;
    for (char& c : windowsPath)
        if (c == '/') c = '\\';
    DeleteFileA(windowsPath.c_str());
    // Wine's "start /unix" runs a Unix program; it returns before the program ends.
    std::string command = "start.exe /unix /usr/bin/import -window root \"" + unixPath + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Done when the file exists and has stopped growing.
    LONGLONG last = -1;
    for (int i = 0; i < 300; ++i) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(windowsPath.c_str(), GetFileExInfoStandard, &data)) {
            LONGLONG size = (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            if (size > 0 && size == last) return true;
            last = size;
        }
        Sleep(100);
    }
    return false;
}
