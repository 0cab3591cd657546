// The background thread's hidden window: it receives the notice's hide timer
// and the requests other threads make of the background thread.
#pragma once

#include <windows.h>

constexpr UINT_PTR kNoticeHideTimer = 1;
constexpr UINT kNoticeHideDelayMs = 1000;

// Request: open the mail client's account log window.
constexpr UINT kWmShowLog = WM_APP + 1;
// Request: restart the notice's hide timer.
constexpr UINT kWmRestartHideTimer = WM_APP + 2;

// What the window does with kWmShowLog; the background thread's, with its
// own context.
typedef void (*ShowLogHandler)(void* context);

// Registers the class and creates the window on the calling thread; the
// window hands kWmShowLog to handler(context).
void CreateHiddenWindow(ShowLogHandler handler, void* context);
// Destroys the window and unregisters the class, on the creating thread.
void DestroyHiddenWindow();
// Stops and restarts the notice's hide timer; only on the window's own
// thread, since a timer can only be set on a window of the calling thread.
void RestartHideTimer();
// Null until created, when the creation failed and after destruction.
HWND HiddenWindow();
