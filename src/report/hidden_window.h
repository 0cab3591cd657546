// The background thread's hidden window: it receives the notice's hide timer.
#pragma once

#include <windows.h>

constexpr UINT_PTR kNoticeHideTimer = 1;
constexpr UINT kNoticeHideDelayMs = 1000;

// Registers the class and creates the window on the calling thread.
void CreateHiddenWindow();
// Destroys the window and unregisters the class, on the creating thread.
void DestroyHiddenWindow();
// Stops and restarts the notice's hide timer; only on the window's own
// thread, since a timer can only be set on a window of the calling thread.
void RestartHideTimer();
// Null until created, when the creation failed and after destruction.
HWND HiddenWindow();
