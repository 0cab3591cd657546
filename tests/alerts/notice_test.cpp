// The notice and the background thread driven directly in this process,
// with a stand-in mail client window on the test's thread.
#include "report/notice.h"

#include <gtest/gtest.h>

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

TEST_F(NoticeTest, PointsAtTheWorkAreaWhenTheMailerIsMinimised) {
    struct RestoreAfterwards {
        ~RestoreAfterwards() {
            mailer_->Restore();
            PumpMessages(100);
        }
    } restore;
    mailer_->Minimise();
    PumpMessages(100);
    ASSERT_TRUE(IsIconic(mailer_->hwnd()));
    TrackPositionRecorder track(threadId_);
    Find(kNoticeErrorOccurred);
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    POINT point;
    ASSERT_TRUE(track.Last(&point));
    EXPECT_EQ(work.right, point.x);
    EXPECT_EQ(work.bottom, point.y);
    EXPECT_TRUE(BalloonVisible());
    EXPECT_EQ(NoticeBody(kNoticeErrorOccurred), BalloonText(balloon_, mailer_->hwnd()));
}

TEST_F(NoticeTest, HidesAboutOneSecondAfterTheLastOfTwoFinds) {
    Find(kNoticeVirusFound);
    PumpMessages(500);
    ASSERT_TRUE(BalloonVisible());
    Find(kNoticeErrorOccurred);
    const DWORD second = GetTickCount();
    EXPECT_EQ(NoticeBody(kNoticeErrorOccurred), BalloonText(balloon_, mailer_->hwnd()));
    ASSERT_TRUE(PumpUntil([this] { return !BalloonVisible(); }, 10000));
    // The timer was restarted by the second find, so the first one's second
    // must not hide it early.
    EXPECT_GE(GetTickCount() - second, 900u);
}

TEST_F(NoticeTest, AClickHidesItAtOnce) {
    ShowNotice(kNoticeVirusFound);
    ASSERT_TRUE(BalloonVisible());
    EXPECT_EQ(HTCLIENT, SendMessageA(balloon_, WM_NCHITTEST, 0, 0));
    SendMessageA(balloon_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_FALSE(BalloonVisible());
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
