// Stand-ins for the mail client's windows: its main window of class
// "TMailerForm" (owner of notices, receiver of the open-log command) and its
// virus centre "TVirusCentre" (parent of the setup sheet).
#pragma once

#include <windows.h>

class StandInWindow {
public:
    // The plug-in looks only for visible windows; the virus centre is a
    // window owned by the main window, as in the mail client.
    StandInWindow(const char* className, const char* title, HWND owner, int showCommand);
    ~StandInWindow();
    StandInWindow(const StandInWindow&) = delete;
    StandInWindow& operator=(const StandInWindow&) = delete;
    HWND handle() const { return window_; }
    // WM_COMMAND 95 (open the account log window) received so far.
    int logRequests() const { return logRequests_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    HWND window_ = nullptr;
    int logRequests_ = 0;
};

// Handles what is waiting in this thread's queue, for at most ms.
void PumpMessages(DWORD ms);

constexpr WPARAM kOpenLogCommand = 95;
