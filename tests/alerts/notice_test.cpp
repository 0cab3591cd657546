// The notice and the background thread driven directly in this process,
// with a stand-in mail client window on the test's thread.
#include "report/notice.h"

#include <gtest/gtest.h>

#include <thread>

#include "alert_probe.h"
#include "host_windows.h"
#include "report/hidden_window.h"
#include "report/thread.h"

namespace {
const char kInfected[] = "One or more messages are infected.";
const char kError[] = "One or more errors occured while scanning messages for viruses.";
const char kCheck[] = "Check TheBat accout log, Income and Quarantine folders.";
const char kDismiss[] = "Click here to dismiss this message.";

TEST(NoticeBodyText, IsBuiltFromTheFlagsWithBareCarriageReturns) {
    EXPECT_EQ(std::string("\r") + kInfected + "\r\r" + kCheck + "\r\r" + kDismiss, NoticeBody(kNoticeVirusFound));
    EXPECT_EQ(std::string("\r") + kError + "\r\r" + kCheck + "\r\r" + kDismiss, NoticeBody(kNoticeErrorOccurred));
    EXPECT_EQ(std::string("\r") + kInfected + "\r\r" + kError + "\r\r" + kCheck + "\r\r" + kDismiss,
              NoticeBody(kNoticeVirusFound | kNoticeErrorOccurred));
}

class NoticeTest : public ::testing::Test {
protected:
    // One mailer window for all cases: creating and removing a window takes
    // Wine's X11 driver about two seconds without a window manager.
    static void SetUpTestSuite() {
        mailer_ = new StandInMailer;
        mailer_->Create(120, 90, 640, 420);
        PumpMessages(50);
    }
    static void TearDownTestSuite() {
        delete mailer_;
        mailer_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(nullptr, mailer_->hwnd());
        mailer_->ClearCommands();
        StartPluginThread();
        ASSERT_TRUE(PumpUntil([] { return NoticeWindow() && HiddenWindow(); }, 10000));
        balloon_ = NoticeWindow();
        hidden_ = HiddenWindow();
        threadId_ = GetWindowThreadProcessId(balloon_, nullptr);
    }
    void TearDown() override { StopPluginThread(); }
    // Shows the notice as a file check does: text, then the timer.
    void Find(unsigned flags) {
        ShowNotice(flags);
        RestartNoticeHideTimer();
    }
    bool BalloonVisible() const { return IsWindowVisible(balloon_) != FALSE; }

    static StandInMailer* mailer_;
    HWND balloon_ = nullptr;
    HWND hidden_ = nullptr;
    DWORD threadId_ = 0;
};

StandInMailer* NoticeTest::mailer_ = nullptr;

TEST_F(NoticeTest, IsCreatedHiddenOnTheBackgroundThreadOwnedByTheMailer) {
    EXPECT_FALSE(BalloonVisible());
    EXPECT_NE(GetCurrentThreadId(), threadId_);
    EXPECT_EQ(threadId_, GetWindowThreadProcessId(hidden_, nullptr));
    EXPECT_EQ(mailer_->hwnd(), GetWindow(balloon_, GW_OWNER));
    EXPECT_TRUE(GetWindowLongA(balloon_, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_FALSE(IsWindowVisible(hidden_));
    char title[64] = "";
    GetWindowTextA(hidden_, title, sizeof title);
    EXPECT_STREQ("orlixbav", title);
}

TEST_F(NoticeTest, ShowsTheExactTextAtTheMailersBottomRightCorner) {
    TrackPositionRecorder track(threadId_);
    ASSERT_TRUE(track.Hooked());
    Find(kNoticeVirusFound | kNoticeErrorOccurred);
    EXPECT_TRUE(BalloonVisible());
    EXPECT_EQ(NoticeBody(kNoticeVirusFound | kNoticeErrorOccurred), BalloonText(balloon_, mailer_->hwnd()));
    RECT frame;
    GetWindowRect(mailer_->hwnd(), &frame);
    POINT point;
    ASSERT_TRUE(track.Last(&point));
    EXPECT_EQ(frame.right, point.x);
    EXPECT_EQ(frame.bottom, point.y);
    // The balloon is drawn next to the point it tracks.
    RECT drawn;
    GetWindowRect(balloon_, &drawn);
    InflateRect(&drawn, 40, 40);
    EXPECT_TRUE(PtInRect(&drawn, point));
}

TEST_F(NoticeTest, ARealMouseClickOnTheBalloonHidesIt) {
    // No hide timer runs here: only the click can hide it.
    ShowNotice(kNoticeVirusFound);
    PumpMessages(200);
    RECT drawn;
    GetWindowRect(balloon_, &drawn);
    SetCursorPos((drawn.left + drawn.right) / 2, (drawn.top + drawn.bottom) / 2);
    PumpMessages(100);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    EXPECT_TRUE(PumpUntil([this] { return !BalloonVisible(); }, 3000));
}

TEST_F(NoticeTest, OnlyTheHideTimerHidesIt) {
    ShowNotice(kNoticeVirusFound);
    ASSERT_TRUE(BalloonVisible());
    EXPECT_EQ(0, SendMessageA(hidden_, WM_TIMER, 2, 0));
    EXPECT_TRUE(BalloonVisible());
    EXPECT_EQ(0, SendMessageA(hidden_, WM_TIMER, kNoticeHideTimer, 0));
    EXPECT_FALSE(BalloonVisible());
}

// Checks show the notice on this thread while the background thread hides it
// as fast as it can: every round ends with the text that round asked for.
TEST_F(NoticeTest, ShowingWhileTheBackgroundThreadHidesStaysWhole) {
    volatile LONG stop = 0;
    std::thread hider([&] {
        while (!InterlockedCompareExchange(&stop, 0, 0)) {
            PostMessageA(hidden_, WM_TIMER, kNoticeHideTimer, 0);
            PostMessageA(balloon_, WM_LBUTTONDOWN, 0, 0);
            Sleep(0);
        }
    });
    const unsigned kinds[] = {kNoticeVirusFound, kNoticeErrorOccurred, kNoticeVirusFound | kNoticeErrorOccurred};
    int wrong = 0;
    for (int round = 0; round < 300; ++round) {
        const unsigned flags = kinds[round % 3];
        Find(flags);
        if (BalloonText(balloon_, mailer_->hwnd()) != NoticeBody(flags)) ++wrong;
    }
    InterlockedExchange(&stop, 1);
    hider.join();
    EXPECT_EQ(0, wrong);
    EXPECT_TRUE(PumpUntil([this] { return !BalloonVisible(); }, 5000));
    ShowNotice(kNoticeErrorOccurred);
    EXPECT_TRUE(BalloonVisible());
}

TEST_F(NoticeTest, EachLogRequestPostsOneCommandASecondLater) {
    const DWORD start = GetTickCount();
    RequestShowLog();
    RequestShowLog();
    ASSERT_TRUE(PumpUntil([this] { return mailer_->Commands().size() >= 2; }, 10000));
    PumpMessages(1500);
    const std::vector<ReceivedCommand>& commands = mailer_->Commands();
    ASSERT_EQ(2u, commands.size());
    for (const ReceivedCommand& command : commands) {
        EXPECT_EQ(0x0001005Fu, command.wParam);
        EXPECT_EQ(0, command.lParam);
    }
    EXPECT_GE(commands[0].tick - start, 900u);
    EXPECT_GE(commands[1].tick - commands[0].tick, 900u);
}

TEST_F(NoticeTest, StoppingDuringTheLogPauseDropsTheRequestAndTidiesUp) {
    Find(kNoticeVirusFound);
    RequestShowLog();
    PumpMessages(300);
    StopPluginThread();
    EXPECT_FALSE(IsWindow(balloon_));
    EXPECT_FALSE(IsWindow(hidden_));
    EXPECT_EQ(nullptr, NoticeWindow());
    EXPECT_EQ(nullptr, HiddenWindow());
    WNDCLASSA wc;
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), "OrlixBavHiddenWindow", &wc));
    PumpMessages(1500);
    EXPECT_TRUE(mailer_->Commands().empty());
}

TEST_F(NoticeTest, ScreenshotOfTheBalloonOverTheMailer) {
    // Without the hide timer, so the balloon stays for the picture.
    ShowNotice(kNoticeVirusFound | kNoticeErrorOccurred);
    PumpMessages(300);
    std::string folder = ORLIX_SCREENSHOT_DIR;
    std::string windowsFolder = "Z:" + folder;
    CreateDirectoryA(windowsFolder.c_str(), nullptr);
    EXPECT_TRUE(SaveScreenshot(folder + "/notice.png"));
}
}  // namespace
