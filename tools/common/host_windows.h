// Stand-ins for the mail client's own windows, for tests and bavhost: a main
// window of class "TMailerForm" that records the commands it receives, and a
// virus-centre window of class "TVirusCentre" owned by it.
#pragma once

#include <windows.h>

#include <vector>

struct ReceivedCommand {
    WPARAM wParam;
    LPARAM lParam;
    DWORD tick;  // GetTickCount() when it arrived
};

// The mail client's main window, on the thread that creates it. That thread
// must handle messages (PumpMessages) for commands to arrive.
class StandInMailer {
public:
    StandInMailer() = default;
    ~StandInMailer();
    StandInMailer(const StandInMailer&) = delete;
    StandInMailer& operator=(const StandInMailer&) = delete;

    // Creates the window at the given outer rectangle, shown or hidden.
    bool Create(int x, int y, int width, int height, bool visible = true);
    void Destroy();
    HWND hwnd() const { return window_; }

    void Minimise();
    void Restore();

    // Every WM_COMMAND received so far, in order.
    const std::vector<ReceivedCommand>& Commands() const { return commands_; }
    void ClearCommands() { commands_.clear(); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    std::vector<ReceivedCommand> commands_;
};

// Creates a "TVirusCentre" window on the calling thread. With an owner it is
// an owned pop-up (what the plug-in looks for); without one it is top-level.
HWND CreateStandInVirusCentre(HWND owner, bool visible = true);

// Handles the calling thread's messages for the given time.
void PumpMessages(DWORD milliseconds);
// Handles messages until the condition holds or the time is up; returns the
// condition's last value.
template <typename Condition>
bool PumpUntil(Condition condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return condition();
        PumpMessages(10);
    }
}
