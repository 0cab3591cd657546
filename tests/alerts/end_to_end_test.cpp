// The alerts of a file check end to end: BAV_CheckFile with the test engine,
// the plug-in's own thread and a stand-in mail client window.
#include <gtest/gtest.h>

#include "alert_probe.h"
#include "common/import_patch.h"
#include "common/scratch.h"
#include "common/test_engine_setup.h"
#include "host_windows.h"
#include "plugin_loader.h"
#include "report/notice.h"

namespace {
class CheckAlertsEndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        mailer_ = new StandInMailer;
        mailer_->Create(150, 120, 600, 400);
        PumpMessages(50);
    }
    static void TearDownTestSuite() {
        delete mailer_;
        mailer_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(nullptr, mailer_->hwnd());
        ASSERT_TRUE(engine_.ok());
        mailer_->ClearCommands();
        engine_.AddBase("main.vdb", 100);
        engine_.WriteSettings(key_);
        file_ = folder_.File("mail.eml");
        WriteFileBytes(file_, "attachment");
    }
    void TearDown() override {
        if (api_.module) api_.Uninitialize();
        api_.Unload();
    }

    // Loads and initialises the plug-in and waits for its windows.
    void Start() {
        ASSERT_TRUE(api_.Load());
        ASSERT_EQ(0, api_.Initialize()) << ::testing::PrintToString(ReadLogLines(engine_.LogFolder()));
        ASSERT_TRUE(WaitForPluginWindows(api_.module, &hidden_, &balloon_));
        threadId_ = GetWindowThreadProcessId(hidden_, nullptr);
    }

    int32_t Check(int32_t answer) {
        engine_->QueueScan(file_.c_str(), 0, answer);
        char status[512] = "";
        return api_.CheckFile(file_.c_str(), status);
    }

    bool BalloonVisible() const { return IsWindowVisible(balloon_) != FALSE; }

    static StandInMailer* mailer_;
    TestEngineSetup engine_;
    TempDir folder_;
    SettingsKeyScratch key_;
    PluginApi api_;
    std::string file_;
    HWND hidden_ = nullptr;
    HWND balloon_ = nullptr;
    DWORD threadId_ = 0;
};

StandInMailer* CheckAlertsEndToEnd::mailer_ = nullptr;

TEST_F(CheckAlertsEndToEnd, AFindShowsTheNoticeAtTheMailerAndHidesItASecondLater) {
    key_.Flag(setting::kNotifyVirus, 1);
    engine_->VirusName("*", "EICAR-Test");
    Start();
    TrackPositionRecorder track(threadId_);
    ASSERT_TRUE(track.Hooked());
    ASSERT_EQ(1, Check(0x1));
    const DWORD returned = GetTickCount();
    EXPECT_TRUE(BalloonVisible());
    EXPECT_EQ(NoticeBody(kNoticeVirusFound), BalloonText(balloon_, mailer_->hwnd()));
    RECT frame;
    GetWindowRect(mailer_->hwnd(), &frame);
    POINT point;
    ASSERT_TRUE(track.Last(&point));
    EXPECT_EQ(frame.right, point.x);
    EXPECT_EQ(frame.bottom, point.y);
    ASSERT_TRUE(PumpUntil([this] { return !BalloonVisible(); }, 10000));
    EXPECT_GE(GetTickCount() - returned, 900u);
    EXPECT_TRUE(mailer_->Commands().empty());
}

TEST_F(CheckAlertsEndToEnd, TheCheckLeavesTheHideTimerToTheBackgroundThread) {
    // Windows sets a timer only on a window of the calling thread (Wine does
    // not insist), so the check must ask the hidden window's thread instead.
    key_.Flag(setting::kNotifyVirus, 1);
    engine_->VirusName("*", "EICAR-Test");
    Start();
    AlertRecorder recorder(api_.module);
    ASSERT_EQ(1, Check(0x1));
    std::vector<std::string> events = recorder.Events();
    int requests = 0;
    for (const std::string& e : events) {
        EXPECT_NE(0u, e.rfind("SetTimer(", 0)) << e;
        EXPECT_NE(0u, e.rfind("KillTimer(", 0)) << e;
        if (e == "PostMessageA(0x8002)") ++requests;
    }
    EXPECT_EQ(1, requests);
}

TEST_F(CheckAlertsEndToEnd, TheNoticePointsAtTheWorkAreaWhileTheMailerIsMinimised) {
    key_.Flag(setting::kNotifyVirus, 1);
    engine_->VirusName("*", "EICAR-Test");
    Start();
    struct RestoreAfterwards {
        ~RestoreAfterwards() {
            mailer_->Restore();
            PumpMessages(100);
        }
    } restore;
    mailer_->Minimise();
    PumpMessages(100);
    TrackPositionRecorder track(threadId_);
    ASSERT_EQ(2, Check(0x4));
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    POINT point;
    ASSERT_TRUE(track.Last(&point));
    EXPECT_EQ(work.right, point.x);
    EXPECT_EQ(work.bottom, point.y);
    EXPECT_TRUE(BalloonVisible());
}

TEST_F(CheckAlertsEndToEnd, AClickHidesTheNoticeAtOnce) {
    key_.Flag(setting::kNotifyVirus, 1);
    engine_->VirusName("*", "EICAR-Test");
    Start();
    ASSERT_EQ(1, Check(0x2));
    ASSERT_TRUE(BalloonVisible());
    SendMessageA(balloon_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    EXPECT_FALSE(BalloonVisible());
}

TEST_F(CheckAlertsEndToEnd, TwoFindsInQuickSuccessionLeaveOneNoticeHiddenAfterTheSecond) {
    key_.Flag(setting::kNotifyVirus, 1);
    key_.Flag(setting::kNotifyError, 1);
    engine_->VirusName("*", "EICAR-Test");
    Start();
    ASSERT_EQ(1, Check(0x1));
    PumpMessages(500);
    ASSERT_TRUE(BalloonVisible());
    ASSERT_EQ(-3, Check(-1));
    const DWORD second = GetTickCount();
    EXPECT_TRUE(BalloonVisible());
    EXPECT_EQ(NoticeBody(kNoticeErrorOccurred), BalloonText(balloon_, mailer_->hwnd()));
    EXPECT_EQ(1u, CountWindowsOfThread(threadId_, "tooltips_class32"));
    ASSERT_TRUE(PumpUntil([this] { return !BalloonVisible(); }, 10000));
    EXPECT_GE(GetTickCount() - second, 900u);
}

TEST_F(CheckAlertsEndToEnd, ALogRequestWithoutNoticeReachesTheMailerOncePerFind) {
    key_.Flag(setting::kNotifyVirus, 0);
    key_.Flag(setting::kShowLogVirus, 1);
    engine_->VirusName("*", "EICAR-Test");
    Start();
    const DWORD start = GetTickCount();
    ASSERT_EQ(1, Check(0x1));
    ASSERT_EQ(1, Check(0x1));
    EXPECT_FALSE(BalloonVisible());
    ASSERT_TRUE(PumpUntil([] { return mailer_->Commands().size() >= 2; }, 10000));
    PumpMessages(1500);
    const std::vector<ReceivedCommand>& commands = mailer_->Commands();
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ(0x0001005Fu, commands[0].wParam);
    EXPECT_EQ(0x0001005Fu, commands[1].wParam);
    EXPECT_EQ(0, commands[0].lParam);
    EXPECT_GE(commands[0].tick - start, 900u);
    EXPECT_GE(commands[1].tick - commands[0].tick, 900u);
    EXPECT_FALSE(BalloonVisible());
}

TEST_F(CheckAlertsEndToEnd, AnErrorNotifiesAndOpensTheLogWhenAsked) {
    key_.Flag(setting::kNotifyError, 1);
    key_.Flag(setting::kShowLogError, 1);
    Start();
    ASSERT_EQ(-3, Check(-1));
    // The notice's messages wait out the background thread's pause before
    // the log request, so the notice is up when the check returns.
    EXPECT_TRUE(BalloonVisible());
    EXPECT_EQ(NoticeBody(kNoticeErrorOccurred), BalloonText(balloon_, mailer_->hwnd()));
    ASSERT_TRUE(PumpUntil([] { return !mailer_->Commands().empty(); }, 10000));
    EXPECT_EQ(0x0001005Fu, mailer_->Commands()[0].wParam);
    ASSERT_EQ(0, Check(0));
    PumpMessages(1500);
    EXPECT_EQ(1u, mailer_->Commands().size());
}
}  // namespace
