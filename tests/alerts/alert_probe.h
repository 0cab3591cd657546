// Probes for the plug-in's background thread, seen from the outside.
#pragma once

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>

#include "common/process_counters.h"

// Processor time (user + kernel) of a thread, in 100 ns units; -1 if unknown.
int64_t ThreadProcessorTime(DWORD threadId);
int64_t ProcessProcessorTime();

// The plug-in's hidden window and balloon of the given module (null: any).
HWND FindHiddenWindow(HINSTANCE module = nullptr);
HWND FindBalloonOfThread(DWORD threadId);
size_t CountWindowsOfThread(DWORD threadId, const char* className);
// The plug-in's windows of the given module once its thread has finished
// creating them and runs its message loop; false when that does not happen.
bool WaitForPluginWindows(HMODULE module, HWND* hidden, HWND* balloon);

// Records the TTM_TRACKPOSITION points sent to windows of a thread.
class TrackPositionRecorder {
public:
    explicit TrackPositionRecorder(DWORD threadId);
    ~TrackPositionRecorder();
    TrackPositionRecorder(const TrackPositionRecorder&) = delete;
    TrackPositionRecorder& operator=(const TrackPositionRecorder&) = delete;
    bool Hooked() const { return hook_ != nullptr; }
    // The last point sent, or false when none was.
    bool Last(POINT* point) const;

private:
    HHOOK hook_;
};

// Text of the balloon's tool, read back from the control.
std::string BalloonText(HWND balloon, HWND host);

// Saves the screen to a PNG file given by its Unix path; true when written.
bool SaveScreenshot(const std::string& unixPath);
