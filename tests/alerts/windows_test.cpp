// Finding the mail client's windows by class, visibility, owner and thread.
#include <gtest/gtest.h>

#include <thread>

#include "common/child.h"
#include "host_windows.h"
#include "report/hidden_window.h"
#include "report/host_find.h"
#include "report/notice.h"
#include "report/thread.h"

namespace {
HWND CreateOfClass(const char* className, bool visible) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    return CreateWindowExA(0, className, "", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 0, 0, 200, 100, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Shows a mailer window until the parent signals the given event.
CHILD_SCENARIO(hold_mailer) {
    if (args.size() != 2) return 10;
    HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, args[1].c_str());
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, args[0].c_str());
    if (!done || !ready) return 11;
    StandInMailer mailer;
    if (!mailer.Create(50, 50, 400, 300)) return 12;
    SetEvent(ready);
    while (MsgWaitForMultipleObjects(1, &done, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) PumpMessages(0);
    return 0;
}

// A mailer window of another process, for as long as the object lives.
class ForeignMailer {
public:
    ForeignMailer() {
        ready_ = CreateEventA(nullptr, TRUE, FALSE, "orlix_test_mailer_ready");
        done_ = CreateEventA(nullptr, TRUE, FALSE, "orlix_test_mailer_done");
        char self[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string command =
            std::string("\"") + self + "\" --child hold_mailer orlix_test_mailer_ready orlix_test_mailer_done";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
            shown_ = WaitForSingleObject(ready_, 20000) == WAIT_OBJECT_0;
    }
    ~ForeignMailer() {
        SetEvent(done_);
        if (process_.hProcess) {
            WaitForSingleObject(process_.hProcess, 20000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        CloseHandle(ready_);
        CloseHandle(done_);
    }
    bool shown() const { return shown_; }

private:
    HANDLE ready_;
    HANDLE done_;
    PROCESS_INFORMATION process_ = {};
    bool shown_ = false;
};

TEST(FindHostMainWindow, IgnoresWindowsOfOtherProcesses) {
    ForeignMailer foreign;
    ASSERT_TRUE(foreign.shown());
    EXPECT_EQ(nullptr, FindHostMainWindow());
    // The thread keeps waiting instead of tying its notice to that window.
    StartPluginThread();
    PumpMessages(500);
    EXPECT_EQ(nullptr, HiddenWindow());
    EXPECT_EQ(nullptr, NoticeWindow());
    StopPluginThread();
}

// Requests made while the thread still waits for the mail client, before its
// window exists, are held and each is served once the window is there.
TEST(PluginThreadRequests, LogRequestsBeforeTheMailerAppearsReachItOnceItDoes) {
    StartPluginThread();
    RequestShowLog();
    RequestShowLog();
    PumpMessages(300);
    EXPECT_EQ(nullptr, HiddenWindow());
    StandInMailer mailer;
    ASSERT_TRUE(mailer.Create(100, 100, 500, 300));
    EXPECT_TRUE(PumpUntil([&] { return mailer.Commands().size() >= 2; }, 10000)) << mailer.Commands().size();
    PumpMessages(1500);
    EXPECT_EQ(2u, mailer.Commands().size());
    StopPluginThread();
}

TEST(FindHostMainWindow, TakesTheFirstVisibleWindowOfTheExactClass) {
    EXPECT_EQ(nullptr, FindHostMainWindow());
    StandInMailer hiddenMailer;
    ASSERT_TRUE(hiddenMailer.Create(0, 0, 300, 200, false));
    HWND longer = CreateOfClass("TMailerFormX", true);
    HWND shorter = CreateOfClass("TMailerFor", true);
    EXPECT_EQ(nullptr, FindHostMainWindow());
    StandInMailer shownMailer;
    ASSERT_TRUE(shownMailer.Create(0, 0, 300, 200, true));
    EXPECT_EQ(shownMailer.hwnd(), FindHostMainWindow());
    ShowWindow(shownMailer.hwnd(), SW_HIDE);
    EXPECT_EQ(nullptr, FindHostMainWindow());
    DestroyWindow(longer);
    DestroyWindow(shorter);
}

TEST(FindVirusCentreWindow, TakesOnlyVisibleOwnedWindowsOfTheCallingThread) {
    StandInMailer mailer;
    ASSERT_TRUE(mailer.Create(0, 0, 300, 200, true));
    HWND unowned = CreateStandInVirusCentre(nullptr, true);
    ASSERT_NE(nullptr, unowned);
    HWND ownedHidden = CreateStandInVirusCentre(mailer.hwnd(), false);
    ASSERT_NE(nullptr, ownedHidden);
    EXPECT_EQ(nullptr, FindVirusCentreWindow());

    // A visible, owned one on another thread is not ours.
    HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND foreign = nullptr;
    std::thread other([&] {
        StandInMailer otherMailer;
        otherMailer.Create(0, 0, 300, 200, true);
        foreign = CreateStandInVirusCentre(otherMailer.hwnd(), true);
        SetEvent(created);
        while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) PumpMessages(0);
        DestroyWindow(foreign);
    });
    WaitForSingleObject(created, 10000);
    EXPECT_NE(nullptr, foreign);
    EXPECT_EQ(nullptr, FindVirusCentreWindow());
    SetEvent(done);
    other.join();
    CloseHandle(created);
    CloseHandle(done);

    HWND owned = CreateStandInVirusCentre(mailer.hwnd(), true);
    ASSERT_NE(nullptr, owned);
    EXPECT_EQ(owned, FindVirusCentreWindow());
    DestroyWindow(owned);
    DestroyWindow(ownedHidden);
    DestroyWindow(unowned);
}
}  // namespace
