#include "report/hidden_window.h"

#include <atomic>

#include "base/module.h"
#include "base/trace.h"
#include "report/notice.h"

// Threads: the window is created, served and destroyed by the background
// thread; other threads only read its handle (atomic) to post to it.
namespace {
const char kClassName[] = "OrlixBavHiddenWindow";
std::atomic<HWND> g_hidden{nullptr};
// Set and read by the window's own thread only.
ShowLogHandler g_showLog = nullptr;
void* g_showLogContext = nullptr;

// The trace lists what the system sends the window; the plug-in's own
// requests are not part of it (the log request has its own "WM_SHOWLOG").
bool IsRequest(UINT message) { return message == kWmShowLog || message == kWmRestartHideTimer; }

LRESULT CALLBACK BavWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (!IsRequest(message)) TraceCall(FormatText("BavWndProc: msg = %08X", message));
    } catch (...) {
        // A trace that cannot be built is skipped; the message is still handled.
    }
    switch (message) {
        case WM_TIMER:
            if (wParam == kNoticeHideTimer) HideNotice();
            return 0;
        case kWmRestartHideTimer:
            RestartHideTimer();
            return 0;
        case kWmShowLog:
            if (g_showLog) g_showLog(g_showLogContext);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
}  // namespace

void CreateHiddenWindow(ShowLogHandler handler, void* context) {
    g_showLog = handler;
    g_showLogContext = context;
    HINSTANCE instance = PluginInstance();
    TraceCall(FormatText("Instance = %08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(instance))));
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &BavWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = kClassName;
    ATOM atom = RegisterClassA(&wc);
    TraceCall(FormatText("RegisterClass - %u", static_cast<unsigned>(atom)));
    TraceCall(FormatText("ClassName = %s, WndProc = %08X", kClassName,
                         static_cast<unsigned>(reinterpret_cast<UINT_PTR>(&BavWndProc))));
    HWND window = CreateWindowExA(0, MAKEINTATOM(atom), "orlixbav", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    g_hidden = window;
    if (!window) TraceCall(FormatText("CreateWindow failed - %lu", GetLastError()));
}

void DestroyHiddenWindow() {
    HWND window = g_hidden.exchange(nullptr);
    if (window) DestroyWindow(window);
    UnregisterClassA(kClassName, PluginInstance());
    g_showLog = nullptr;
    g_showLogContext = nullptr;
}

void RestartHideTimer() {
    HWND window = g_hidden;
    if (!window) return;
    KillTimer(window, kNoticeHideTimer);
    SetTimer(window, kNoticeHideTimer, kNoticeHideDelayMs, nullptr);
}

HWND HiddenWindow() { return g_hidden; }
