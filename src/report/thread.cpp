// Threads: the handle and context of the background thread belong to the
// host's thread (only the entry points start and stop it); the running flag
// and the held requests are atomic, read and changed by any thread that makes
// a request and by the background thread; the context's events and flag are
// shared for the thread's life.
#include "report/thread.h"

#include <atomic>

#include "base/trace.h"
#include "report/hidden_window.h"
#include "report/host_find.h"
#include "report/notice.h"

namespace {
// Between two looks for the mail client's window: long enough to cost no
// processor time, short enough to attach the notice soon after it appears.
constexpr DWORD kHostPollMs = 100;
constexpr DWORD kShowLogDelayMs = 1000;
// How long a stop may take before the thread is ended by force; a clean stop
// takes a few milliseconds, so this only guards against a thread that hangs.
constexpr DWORD kStopWaitMs = 5000;

// Shared by the host's thread and the background thread for one thread's life.
struct ThreadContext {
    HANDLE stop = nullptr;    // manual reset: ends every wait of the thread
    HANDLE parked = nullptr;  // set by the thread once it holds nothing, at unload
    std::atomic<bool> unloading{false};
};

// Owned by the host's thread: only the entry points start and stop the thread.
HANDLE g_threadHandle = nullptr;
ThreadContext* g_context = nullptr;
std::atomic<bool> g_running{false};

// Requests made before the hidden window existed, counted per kind: each is
// posted once the window is there.
struct HeldRequests {
    std::atomic<int> showLog{0};
    std::atomic<int> restartHideTimer{0};
};
HeldRequests g_held;

// Posts the held requests to window. Both the requester and the background
// thread call this after their own step (holding, creating the window), so
// one of them sees the other's and nothing is held for ever; the exchange
// makes each request posted once.
void PostHeldRequests(HWND window) {
    if (!window) return;
    for (int n = g_held.showLog.exchange(0); n > 0; --n) PostMessageA(window, kWmShowLog, 0, 0);
    for (int n = g_held.restartHideTimer.exchange(0); n > 0; --n) PostMessageA(window, kWmRestartHideTimer, 0, 0);
}

void Request(UINT message, std::atomic<int>& held) {
    if (HWND window = HiddenWindow()) {
        PostMessageA(window, message, 0, 0);
        return;
    }
    if (!g_running) return;
    ++held;
    PostHeldRequests(HiddenWindow());
}

bool IsSignalled(HANDLE handle) { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

HWND WaitForHostWindow(HANDLE stop) {
    for (;;) {
        if (HWND host = FindHostMainWindow()) return host;
        if (WaitForSingleObject(stop, kHostPollMs) != WAIT_TIMEOUT) return nullptr;
    }
}

// Waits for one of the handles while letting synchronous messages to this
// thread's windows through, so that neither side ever waits on a thread that
// waits on it.
DWORD WaitLettingSentMessagesThrough(DWORD count, const HANDLE* handles, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD remaining = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
        DWORD result = MsgWaitForMultipleObjects(count, handles, FALSE, remaining, QS_SENDMESSAGE);
        if (result != WAIT_OBJECT_0 + count) return result;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// The pause before the log command keeps the notice working: the messages
// the host's thread sends it during a check, its hide timer and the requests
// to restart that timer. A blocking pause would hold the mail client's
// thread for up to a second a check and keep a notice on screen for as long
// as log requests queue. Other requests wait in the queue. Returns false
// when the thread is to stop.
bool PauseBeforeShowLog(HANDLE stop) {
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD remaining = elapsed >= kShowLogDelayMs ? 0 : kShowLogDelayMs - elapsed;
        DWORD result =
            MsgWaitForMultipleObjects(1, &stop, FALSE, remaining, QS_SENDMESSAGE | QS_TIMER | QS_POSTMESSAGE);
        if (result == WAIT_TIMEOUT) return true;
        if (result != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        while (PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) DispatchMessageA(&msg);
        while (PeekMessageA(&msg, HiddenWindow(), kWmRestartHideTimer, kWmRestartHideTimer, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

struct ShowLogTarget {
    HANDLE stop;
    HWND host;
};

// The command follows the request after a pause of one second; a stop
// request cuts the pause short and drops the request (the message loop then
// sees the stop).
void ShowHostLog(void* context) {
    const ShowLogTarget* target = static_cast<const ShowLogTarget*>(context);
    TraceCall("WM_SHOWLOG");
    if (PauseBeforeShowLog(target->stop)) PostMessageA(target->host, WM_COMMAND, kShowLogCommand, 0);
}

void RunMessageLoop(HANDLE stop) {
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (IsSignalled(stop)) return;
        }
        if (MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0 + 1) return;
    }
}

void RunThread(ThreadContext* context) {
    TraceCall("Thread created");
    if (HWND host = WaitForHostWindow(context->stop)) {
        ShowLogTarget target = {context->stop, host};
        CreateHiddenWindow(ShowHostLog, &target);
        PostHeldRequests(HiddenWindow());
        CreateNotice();
        RunMessageLoop(context->stop);
        // The balloon's tool subclasses the mail client's window; it must be
        // removed by this thread before it ends, or that window breaks later.
        DestroyNotice();
        DestroyHiddenWindow();
    }
}

DWORD WINAPI PluginThreadProc(LPVOID parameter) {
    ThreadContext* context = static_cast<ThreadContext*>(parameter);
    try {
        RunThread(context);
    } catch (...) {
        // Out of memory for a trace text: end the thread rather than the process.
        DestroyNotice();
        DestroyHiddenWindow();
    }
    if (context->unloading) {
        // The library is about to be unmapped: never return into it. The
        // unloading thread ends this thread while it waits here.
        SignalObjectAndWait(context->parked, GetCurrentProcess(), INFINITE, FALSE);
    }
    return 0;
}

void ReleaseThread(bool ended) {
    CloseHandle(g_threadHandle);
    g_threadHandle = nullptr;
    g_running = false;
    // What the ended thread never served goes with it.
    g_held.showLog = 0;
    g_held.restartHideTimer = 0;
    // A thread that could not be ended may still read its context.
    if (ended) {
        CloseHandle(g_context->stop);
        CloseHandle(g_context->parked);
        delete g_context;
    }
    g_context = nullptr;
}
}  // namespace

void StartPluginThread() {
    // A repeated start must not leave an earlier thread unreachable.
    StopPluginThread();
    ThreadContext* context = new ThreadContext;
    context->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    context->parked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Requests may follow at once: they are held from here on until the
    // thread's window takes them.
    g_running = true;
    DWORD id = 0;
    HANDLE handle =
        context->stop && context->parked ? CreateThread(nullptr, 0, &PluginThreadProc, context, 0, &id) : nullptr;
    if (!handle) {
        g_running = false;
        if (context->stop) CloseHandle(context->stop);
        if (context->parked) CloseHandle(context->parked);
        delete context;
        return;
    }
    g_threadHandle = handle;
    g_context = context;
}

void StopPluginThread() {
    if (!g_threadHandle) return;
    SetEvent(g_context->stop);
    bool ended = WaitLettingSentMessagesThrough(1, &g_threadHandle, kStopWaitMs) == WAIT_OBJECT_0;
    if (!ended) {
        // Last resort: the thread may hold a lock of the process when ended
        // this way, so it is only done when a clean stop did not come.
        TraceCall("Background thread did not stop, ending it");
        TerminateThread(g_threadHandle, 0);
        ended = WaitForSingleObject(g_threadHandle, kStopWaitMs) == WAIT_OBJECT_0;
    }
    ReleaseThread(ended);
}

void StopPluginThreadAtUnload() {
    if (!g_threadHandle) return;
    g_context->unloading = true;
    SetEvent(g_context->stop);
    HANDLE handles[2] = {g_threadHandle, g_context->parked};
    DWORD result = WaitLettingSentMessagesThrough(2, handles, kStopWaitMs);
    // A parked thread holds no lock, so ending it is safe; a terminated
    // thread needs no loader lock to exit, so the wait cannot dead-lock.
    if (result != WAIT_OBJECT_0) TerminateThread(g_threadHandle, 0);
    bool ended = WaitForSingleObject(g_threadHandle, kStopWaitMs) == WAIT_OBJECT_0;
    ReleaseThread(ended);
}

void RequestShowLog() { Request(kWmShowLog, g_held.showLog); }

// The timer belongs to the hidden window's thread, which alone can set it.
void RestartNoticeHideTimer() { Request(kWmRestartHideTimer, g_held.restartHideTimer); }
