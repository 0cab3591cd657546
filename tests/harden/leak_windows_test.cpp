// Leak checks with a stand-in mail client window present, so that the
// plug-in's background thread really creates its hidden window and its
// notice, and checks really raise notices, sounds and log-window requests.
// Handles, GDI and USER objects, threads and the plug-in's own counters end
// where they started.
#include <cstdio>

#include "alerts/alert_probe.h"
#include "harden_fixture.h"
#include "host_windows.h"

namespace {

struct Snapshot {
    ProcessCounters system;
    size_t threads = 0;
};

Snapshot TakeSnapshot() {
    Snapshot s;
    s.system = ReadProcessCounters();
    s.threads = ThreadsOfProcess().size();
    return s;
}

std::string Describe(const Snapshot& s) {
    return "handles " + std::to_string(s.system.handles) + ", GDI " + std::to_string(s.system.gdiObjects) + ", USER " +
           std::to_string(s.system.userObjects) + ", threads " + std::to_string(s.threads);
}

class LeaksWithMailer : public Hardened {
protected:
    StandInMailer mailer;
    std::string infected, failing, clean;
    HWND hidden = nullptr;
    HWND balloon = nullptr;

    void SetUp() override {
        ASSERT_TRUE(mailer.Create(120, 100, 600, 400));
        PumpMessages(50);
    }
    void TearDown() override {
        if (plugin.module) plugin.Uninitialize();
        Hardened::TearDown();
        mailer.Destroy();
        PumpMessages(50);
    }

    void Script(bool alerts) {
        ASSERT_NO_FATAL_FAILURE(Prepare());
        for (const char* flag : {setting::kNotifyVirus, setting::kNotifyError, setting::kSoundInfected,
                                 setting::kShowLogVirus, setting::kShowLogError})
            key.Flag(flag, alerts ? 1 : 0);
        const std::string folder = engine->LogFolder();
        infected = folder + "\\infected.exe";
        failing = folder + "\\failing.bin";
        clean = folder + "\\clean.txt";
        for (const std::string* f : {&infected, &failing, &clean})
            ASSERT_TRUE(WriteFileBytes(*f, std::string(3000, 'x')));
        te().VirusName("*", "Leak.Window");
        te().SetScanFallback(infected.c_str(), 0, 0x1);
        te().SetScanFallback(failing.c_str(), 0, -1);
        te().SetScanFallback(clean.c_str(), 1, 0);
        te().SetReadObject(1);
    }

    // The thread has found the window, made its own and runs its loop.
    bool WindowsMade() { return WaitForPluginWindows(plugin.module, &hidden, &balloon); }

    // What the mail client's thread would do between checks: handle its
    // messages until the notice has hidden itself again.
    bool NoticeHidden() {
        return PumpUntil([&] { return !balloon || !IsWindowVisible(balloon); }, 10000);
    }

    int32_t CheckFile(const std::string& file) {
        HostStatus status;
        int32_t answer = plugin.CheckFile(file.c_str(), status.get());
        return status.Bounded() ? answer : 99;
    }

    void ExpectSame(const Snapshot& before, const Snapshot& after) {
        const CounterAvailability a = ProbeCounters();
        if (a.handlesCounted) {
            EXPECT_EQ(before.system.handles, after.system.handles);
        }
        if (a.gdiCounted) {
            EXPECT_EQ(before.system.gdiObjects, after.system.gdiObjects);
        }
        if (a.userCounted) {
            EXPECT_EQ(before.system.userObjects, after.system.userObjects);
        }
        EXPECT_EQ(before.threads, after.threads);
        if (!a.handlesCounted || !a.gdiCounted || !a.userCounted)
            printf("[ leaks    ] counted here: handles %d, GDI %d, USER %d\n", a.handlesCounted, a.gdiCounted,
                   a.userCounted);
    }
};

}  // namespace

TEST_F(LeaksWithMailer, CyclesThatMakeTheThreadsWindowsHoldNothingBack) {
    ASSERT_NO_FATAL_FAILURE(Script(true));
    ASSERT_NO_FATAL_FAILURE(Start());
    te().SetRecording(0);
    ASSERT_TRUE(WindowsMade());
    // First uses allocate once: the common controls, the sound system.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(0, plugin.Uninitialize());
        ASSERT_EQ(0, plugin.Initialize());
        ASSERT_TRUE(WindowsMade());
        ASSERT_EQ(1, CheckFile(infected));
        ASSERT_TRUE(NoticeHidden());
    }
    ProbeCounters();
    const Snapshot before = TakeSnapshot();
    const PluginCounters own = plugin.Counters();

    const DWORD began = GetTickCount();
    int notMade = 0;
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(0, plugin.Uninitialize());
        ASSERT_EQ(0, plugin.Initialize());
        notMade += !WindowsMade();
        // Every tenth cycle raises a notice before the thread is stopped.
        if (i % 10 == 0) {
            ASSERT_EQ(1, CheckFile(infected));
        }
    }
    // The last cycle's thread and windows are the ones counted before.
    ASSERT_TRUE(NoticeHidden());
    PumpMessages(100);
    const Snapshot after = TakeSnapshot();
    printf("[ leaks    ] 200 cycles with windows in %lu ms; before: %s; after: %s\n",
           static_cast<unsigned long>(GetTickCount() - began), Describe(before).c_str(), Describe(after).c_str());
    EXPECT_EQ(0, notMade);
    ExpectSame(before, after);
    EXPECT_EQ(own, plugin.Counters());
    EXPECT_EQ(start, plugin.Counters());

    // Stopped, the thread and its windows are gone.
    ASSERT_EQ(0, plugin.Uninitialize());
    EXPECT_EQ(before.threads - 1, ThreadsOfProcess().size());
    EXPECT_EQ(nullptr, FindHiddenWindow(plugin.module));
}

TEST_F(LeaksWithMailer, ChecksThatRaiseNoticesHoldNothingBack) {
    ASSERT_NO_FATAL_FAILURE(Script(true));
    ASSERT_NO_FATAL_FAILURE(Start());
    te().SetRecording(0);
    ASSERT_TRUE(WindowsMade());
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(1, CheckFile(infected));
        ASSERT_EQ(-3, CheckFile(failing));
        ASSERT_TRUE(NoticeHidden());
    }
    ProbeCounters();
    const Snapshot before = TakeSnapshot();

    // Finds and failures in bursts: each burst shows the notice, restarts
    // its hide timer and asks for the log window; the window's thread
    // handles its messages between bursts, as the mail client would.
    const DWORD began = GetTickCount();
    int wrong = 0;
    for (int burst = 0; burst < 40; ++burst) {
        for (int i = 0; i < 5; ++i) {
            wrong += CheckFile(infected) != 1;
            wrong += CheckFile(failing) != -3;
            wrong += CheckFile(clean) != 0;
        }
        PumpMessages(20);
    }
    const bool shownAfterBursts = IsWindowVisible(balloon) != FALSE;
    ASSERT_TRUE(NoticeHidden());
    PumpMessages(100);
    const Snapshot after = TakeSnapshot();
    printf("[ leaks    ] 600 alerting checks in %lu ms; before: %s; after: %s\n",
           static_cast<unsigned long>(GetTickCount() - began), Describe(before).c_str(), Describe(after).c_str());
    EXPECT_EQ(0, wrong);
    EXPECT_TRUE(shownAfterBursts);
    ExpectSame(before, after);
    EXPECT_EQ(start, plugin.Counters());
    // The log-window requests reached the mail client's window.
    EXPECT_FALSE(mailer.Commands().empty());
}

// A find asks for the log window and shows the notice in one check. The
// background thread pauses a second before the log command; the check's
// messages to the notice must not wait for that pause, or every such check
// holds the mail client's thread for a second and a burst of finds hangs it.
TEST_F(LeaksWithMailer, ChecksDoNotWaitForThePauseBeforeTheLogCommand) {
    ASSERT_NO_FATAL_FAILURE(Script(true));
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(WindowsMade());
    const DWORD thread = GetWindowThreadProcessId(hidden, nullptr);
    const int64_t cpuBefore = ThreadProcessorTime(thread);
    const DWORD began = GetTickCount();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(1, CheckFile(infected));
    // Nothing has been pumped: a command in the queue was posted while a
    // check waited. Each command needs its own full pause, so all three can
    // only be there when each check waited for one.
    int queued = 0;
    MSG msg;
    while (PeekMessageA(&msg, mailer.hwnd(), WM_COMMAND, WM_COMMAND, PM_REMOVE)) ++queued;
    EXPECT_LT(queued, 3);
    EXPECT_TRUE(IsWindowVisible(balloon));
    // The notice still hides itself while the requests wait their turn.
    EXPECT_TRUE(NoticeHidden());
    // Waiting in the pause costs no processor time (no spinning on the
    // requests left in the queue): well under half of the time spent.
    PumpUntil([&] { return mailer.Commands().size() + queued >= 3; }, 10000);
    const int64_t cpu = ThreadProcessorTime(thread) - cpuBefore;
    const int64_t wall = static_cast<int64_t>(GetTickCount() - began) * 10000;
    EXPECT_GE(mailer.Commands().size() + queued, 3u);
    if (cpuBefore >= 0) {
        EXPECT_LT(cpu * 2, wall) << cpu << " of " << wall;
    }
}
