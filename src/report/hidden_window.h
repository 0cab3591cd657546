// The background thread's hidden window: it receives the notice's hide timer.
#pragma once

#include <windows.h>

// Posted to the hidden window: (re)start the hide timer on its own thread,
// since timers can only be set on windows of the calling thread.
constexpr UINT kWmRestartHideTimer = WM_APP + 2;
constexpr UINT_PTR kNoticeHideTimer = 1;
constexpr UINT kNoticeHideDelayMs = 1000;

// Registers the class and creates the window on the calling thread.
void CreateHiddenWindow();
// Destroys the window and unregisters the class, on the creating thread.
void DestroyHiddenWindow();
// Null until created, when the creation failed and after destruction.
HWND HiddenWindow();
