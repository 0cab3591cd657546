// Finding the mail client's windows by class, visibility, owner and thread.
#include <gtest/gtest.h>

#include <thread>

#include "host_windows.h"
#include "report/notice.h"

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
