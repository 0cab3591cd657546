// The plug-in's background thread: it owns the hidden window and the notice
// and turns log requests into the mail client's "open account log" command.
#pragma once

#include <windows.h>

// Command that opens the mail client's account log window: id 95, sent as if
// it came from an accelerator (notification code 1).
constexpr WPARAM kShowLogCommand = 0x0001005F;

// Starts the thread; a thread left from an earlier start is stopped first.
void StartPluginThread();
// Stops the thread and waits for it; it destroys its windows itself.
void StopPluginThread();
// The library is being unloaded while the thread still runs (no
// BAV_Uninitialize): stop it without waiting for its exit, which would need
// the loader lock that the caller holds.
void StopPluginThreadAtUnload();
// Requests to the background thread, posted to its hidden window. A request
// made while the thread runs but has no window yet (it waits for the mail
// client's) is held and posted once the window exists; one made while no
// thread runs is dropped.
void RequestShowLog();
// Asks the background thread to restart the notice's hide timer.
void RestartNoticeHideTimer();
