// The background thread as the mail client meets it: through the plug-in's
// entry points, with its trace read by a debugger.
#include "report/thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <thread>

#include "alert_probe.h"
#include "common/child.h"
#include "common/scratch.h"
#include "host_windows.h"
#include "plugin_loader.h"
#include "report/hidden_window.h"
#include "report/notice.h"

namespace {
constexpr int64_t kMillisecond = 10000;  // in 100 ns units

std::set<DWORD> NewThreads(const std::set<DWORD>& before) {
    std::set<DWORD> now = ThreadsOfProcess();
    std::set<DWORD> added;
    for (DWORD id : now)
        if (!before.count(id)) added.insert(id);
    return added;
}

size_t IndexOf(const std::vector<std::string>& lines, const std::string& line, size_t from = 0) {
    auto it = std::find(lines.begin() + std::min(from, lines.size()), lines.end(), line);
    return static_cast<size_t>(it - lines.begin());
}

CHILD_SCENARIO(start_and_stop_with_mailer) {
    StandInMailer mailer;
    if (!mailer.Create(100, 100, 500, 300)) return 10;
    PluginApi api;
    if (!api.Load()) return 11;
    api.Initialize();
    HWND hidden = nullptr, balloon = nullptr;
    if (!WaitForPluginWindows(api.module, &hidden, &balloon)) return 12;
    if (SendMessageA(hidden, WM_TIMER, 1, 0) != 0) return 13;
    if (SendMessageA(hidden, WM_TIMER, 7, 0) != 0) return 14;
    if (api.Uninitialize() != 0) return 15;
    // The balloon's tool had subclassed this window: destroying it must be safe.
    mailer.Destroy();
    PumpMessages(300);
    api.Unload();
    return args.empty() ? 0 : 16;
}

CHILD_SCENARIO(notice_shown_hidden_by_its_timer) {
    StandInMailer mailer;
    if (!mailer.Create(100, 100, 500, 300)) return 10;
    StartPluginThread();
    if (!PumpUntil([] { return NoticeWindow() != nullptr; }, 10000)) return 11;
    ShowNotice(kNoticeVirusFound);
    RestartNoticeHideTimer();
    if (!IsWindowVisible(NoticeWindow())) return 12;
    if (!PumpUntil([] { return !IsWindowVisible(NoticeWindow()); }, 10000)) return 13;
    StopPluginThread();
    mailer.Destroy();
    PumpMessages(300);
    return args.empty() ? 0 : 14;
}

CHILD_SCENARIO(unload_without_uninitialize) {
    PluginApi api;
    // While the thread waits for the mail client's window ...
    if (!api.Load()) return 10;
    api.Initialize();
    Sleep(300);
    api.Unload();
    Sleep(300);
    // ... and once it has created its windows.
    StandInMailer mailer;
    if (!mailer.Create(100, 100, 500, 300)) return 11;
    if (!api.Load()) return 12;
    api.Initialize();
    HWND hidden = nullptr, balloon = nullptr;
    if (!WaitForPluginWindows(api.module, &hidden, &balloon)) return 13;
    api.Unload();
    PumpMessages(300);
    mailer.Destroy();
    PumpMessages(300);
    return args.empty() ? 0 : 14;
}

class PluginThreadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(api_.Load()); }
    SettingsKeyScratch settings_;
    PluginApi api_;
};

TEST_F(PluginThreadTest, TracesItsStartAndTheHiddenWindowsCreationInOrder) {
    CapturedRun run = RunChildUnderDebugger("start_and_stop_with_mailer");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.exceptions.empty());
    std::vector<std::string> t = run.Traces();
    size_t init = IndexOf(t, "BAV_Initialize");
    size_t created = IndexOf(t, "Thread created", init);
    ASSERT_LT(created, t.size());
    // The host thread's own lines may come between; the thread's are in order.
    std::vector<std::string> mine;
    for (size_t i = created; i < t.size(); ++i)
        if (t[i].rfind("BAV_", 0) != 0) mine.push_back(t[i]);
    ASSERT_GE(mine.size(), 6u);
    EXPECT_TRUE(std::regex_match(mine[1], std::regex("Instance = [0-9A-F]{8}"))) << mine[1];
    EXPECT_TRUE(std::regex_match(mine[2], std::regex("RegisterClass - [1-9][0-9]*"))) << mine[2];
    EXPECT_TRUE(std::regex_match(mine[3], std::regex("ClassName = OrlixBavHiddenWindow, WndProc = [0-9A-F]{8}")))
        << mine[3];
    size_t nccreate = IndexOf(mine, "BavWndProc: msg = 00000081");
    size_t create = IndexOf(mine, "BavWndProc: msg = 00000001");
    ASSERT_LT(create, mine.size());
    EXPECT_LT(nccreate, create);
    for (size_t i = 4; i <= create; ++i) EXPECT_EQ(0u, mine[i].rfind("BavWndProc: msg = ", 0)) << mine[i];
    // Both timer messages reach the window procedure and are traced.
    size_t firstTick = IndexOf(mine, "BavWndProc: msg = 00000113", create);
    EXPECT_LT(IndexOf(mine, "BavWndProc: msg = 00000113", firstTick + 1), mine.size());
    EXPECT_LT(IndexOf(t, "BAV_Uninitialize", created), t.size());
}

TEST_F(PluginThreadTest, TheHideTimerTicksOnTheHiddenWindow) {
    CapturedRun run = RunChildUnderDebugger("notice_shown_hidden_by_its_timer");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.exceptions.empty());
    std::vector<std::string> t = run.Traces();
    EXPECT_LT(IndexOf(t, "BavWndProc: msg = 00000113"), t.size());
}

TEST_F(PluginThreadTest, UnloadingWithoutUninitializeIsSafe) {
    CapturedRun run = RunChildUnderDebugger("unload_without_uninitialize");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.exceptions.empty());
}

TEST_F(PluginThreadTest, ProcessorTimeMeasurementSeesABusyThread) {
    // Guards the next test: a measurement that always read zero would pass it.
    std::atomic<DWORD> id{0};
    std::thread busy([&] {
        id = GetCurrentThreadId();
        const DWORD start = GetTickCount();
        volatile unsigned sink = 0;
        while (GetTickCount() - start < 600) ++sink;
        Sleep(500);
    });
    while (!id) Sleep(10);
    Sleep(800);
    int64_t used = ThreadProcessorTime(id);
    busy.join();
    EXPECT_GT(used, 150 * kMillisecond);
}

TEST_F(PluginThreadTest, WaitingForTheMailerCostsNoProcessorTime) {
    std::set<DWORD> before = ThreadsOfProcess();
    api_.Initialize();
    Sleep(300);
    std::set<DWORD> added = NewThreads(before);
    ASSERT_FALSE(added.empty());
    int64_t start = 0;
    for (DWORD id : added) start += ThreadProcessorTime(id);
    const int64_t processStart = ProcessProcessorTime();
    Sleep(3000);
    int64_t end = 0;
    for (DWORD id : added) end += ThreadProcessorTime(id);
    const int64_t processUsed = ProcessProcessorTime() - processStart;
    EXPECT_LT(end - start, 150 * kMillisecond);
    EXPECT_LT(processUsed, 300 * kMillisecond);
    api_.Uninitialize();
}

TEST_F(PluginThreadTest, UninitializeReturnsPromptlyWhileWaitingForTheMailer) {
    std::set<DWORD> before = ThreadsOfProcess();
    api_.Initialize();
    Sleep(300);
    const DWORD start = GetTickCount();
    EXPECT_EQ(0, api_.Uninitialize());
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_TRUE(NewThreads(before).empty());
}

TEST_F(PluginThreadTest, UninitializeReturnsPromptlyDuringTheLogPause) {
    StandInMailer mailer;
    ASSERT_TRUE(mailer.Create(100, 100, 500, 300));
    std::set<DWORD> before = ThreadsOfProcess();
    api_.Initialize();
    HWND hidden = nullptr, balloon = nullptr;
    ASSERT_TRUE(WaitForPluginWindows(api_.module, &hidden, &balloon));
    ASSERT_TRUE(PostMessageA(hidden, kWmShowLog, 0, 0));
    PumpMessages(300);
    const DWORD start = GetTickCount();
    EXPECT_EQ(0, api_.Uninitialize());
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_TRUE(NewThreads(before).empty());
    EXPECT_FALSE(IsWindow(hidden));
    EXPECT_FALSE(IsWindow(balloon));
    PumpMessages(1500);
    EXPECT_TRUE(mailer.Commands().empty());
}

TEST_F(PluginThreadTest, ALogRequestThroughThePluginsThreadReachesTheMailer) {
    StandInMailer mailer;
    ASSERT_TRUE(mailer.Create(100, 100, 500, 300));
    api_.Initialize();
    HWND hidden = nullptr, balloon = nullptr;
    ASSERT_TRUE(WaitForPluginWindows(api_.module, &hidden, &balloon));
    ASSERT_TRUE(PostMessageA(hidden, kWmShowLog, 0, 0));
    ASSERT_TRUE(PumpUntil([&] { return !mailer.Commands().empty(); }, 10000));
    EXPECT_EQ(0x0001005Fu, mailer.Commands()[0].wParam);
    api_.Uninitialize();
}

TEST_F(PluginThreadTest, RepeatedInitializeAndUninitializeLeaveNoThread) {
    api_.Initialize();
    api_.Uninitialize();
    std::set<DWORD> before = ThreadsOfProcess();
    for (int i = 0; i < 200; ++i) {
        api_.Initialize();
        api_.Uninitialize();
    }
    EXPECT_TRUE(NewThreads(before).empty());

    // With the mailer present each thread also creates and removes its windows.
    StandInMailer mailer;
    ASSERT_TRUE(mailer.Create(100, 100, 500, 300));
    for (int i = 0; i < 20; ++i) {
        api_.Initialize();
        if (i % 2 == 0) {
            HWND hidden = nullptr, balloon = nullptr;
            ASSERT_TRUE(WaitForPluginWindows(api_.module, &hidden, &balloon));
        }
        api_.Uninitialize();
    }
    EXPECT_TRUE(NewThreads(before).empty());
    EXPECT_EQ(nullptr, FindHiddenWindow(api_.module));
}

TEST_F(PluginThreadTest, ASecondInitializeReplacesTheFirstThread) {
    StandInMailer mailer;
    ASSERT_TRUE(mailer.Create(100, 100, 500, 300));
    std::set<DWORD> before = ThreadsOfProcess();
    api_.Initialize();
    HWND firstHidden = nullptr, firstBalloon = nullptr;
    ASSERT_TRUE(WaitForPluginWindows(api_.module, &firstHidden, &firstBalloon));
    api_.Initialize();
    HWND hidden = nullptr, balloon = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return WaitForPluginWindows(api_.module, &hidden, &balloon) && hidden != firstHidden; },
                          10000));
    EXPECT_FALSE(IsWindow(firstHidden));
    EXPECT_FALSE(IsWindow(firstBalloon));
    EXPECT_EQ(1u, NewThreads(before).size());
    // The new thread still serves requests.
    ASSERT_TRUE(PostMessageA(hidden, kWmShowLog, 0, 0));
    EXPECT_TRUE(PumpUntil([&] { return !mailer.Commands().empty(); }, 10000));
    api_.Uninitialize();
    EXPECT_TRUE(NewThreads(before).empty());
}
}  // namespace
