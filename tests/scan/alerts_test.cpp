// The alerts at the end of a file check, observed at the plug-in's import
// table: which calls happen, and their order around the two result traces.
#include "engine_fixture.h"

namespace {
bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, strlen(prefix), prefix) == 0; }

// A visible stand-in for the mail client's main window, which the plug-in's
// background thread waits for before it makes its notice.
class HostMainWindow {
public:
    HostMainWindow() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TMailerForm";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "TMailerForm", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    }
    ~HostMainWindow() {
        if (window) DestroyWindow(window);
    }
    HWND window = nullptr;
};

}  // namespace

class Alerts : public EngineFixture {
protected:
    HostMainWindow host;

    // The sounds and the background thread's requests are compiled in.
    bool AlertCallsObservable() {
        return ModuleImports(api.module, "winmm.dll", "PlaySoundA") &&
               ModuleImports(api.module, "user32.dll", "PostMessageA");
    }

    void Start() {
        PrepareEngine();
        key.Text(setting::kSoundFileInfected, "C:\\snd\\virus.wav");
        te.VirusName("*", "W32.Alert");
        StartEngine();
    }

    std::vector<std::string> CheckWith(int32_t answer) {
        te.QueueScan("C:\\a\\f.txt", 0, answer);
        recorder->Clear();
        api.CheckFile("C:\\a\\f.txt", status);
        return recorder->AlertEvents();
    }

    // The background thread makes the notice once it has found the host's
    // window; until then a find shows nothing. Checks a find (pumping this
    // thread's messages) until its notice is shown; false if it never is.
    bool WaitUntilNoticeShows() {
        for (int i = 0; i < 400; ++i) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
            for (const std::string& e : CheckWith(0x1)) {
                if (StartsWith(e, "SendMessageA(")) return true;
            }
            Sleep(25);
        }
        return false;
    }

    // Requests go to the background thread's window; made before it exists,
    // that thread posts them itself, out of the recorder's sight.
    static bool WaitForHiddenWindow() {
        for (int i = 0; i < 400; ++i) {
            if (FindWindowA("OrlixBavHiddenWindow", nullptr)) return true;
            Sleep(25);
        }
        return false;
    }

    // Index of the first event starting with prefix at or after from, or -1.
    static int Find(const std::vector<std::string>& events, const char* prefix, int from = 0) {
        for (int i = from; i < static_cast<int>(events.size()); ++i) {
            if (StartsWith(events[i], prefix)) return i;
        }
        return -1;
    }
};

TEST_F(Alerts, FindRaisesEveryAlertInOrder) {
    Flag(setting::kSoundInfected);
    Flag(setting::kShowLogVirus);
    Flag(setting::kNotifyVirus);
    Start();
    if (AlertCallsObservable()) {
        ASSERT_TRUE(WaitForHiddenWindow() && WaitUntilNoticeShows());
    }
    std::vector<std::string> events = CheckWith(0x1);
    const int first = Find(events, "trace: CheckFile #0: Result = 1");
    const int second = Find(events, "trace: CheckFile #1: Result = 1");
    ASSERT_GE(first, 0);
    ASSERT_GT(second, first);
    EXPECT_EQ(-1, Find(events, "trace: CheckFile #", second + 1));
    if (!AlertCallsObservable()) GTEST_SKIP() << "this build makes no alert calls";

    std::vector<std::string> sound = {"PlaySoundA(<null>, 0x40)", "PlaySoundA(C:\\snd\\virus.wav, 0x20001)"};
    EXPECT_EQ(sound, std::vector<std::string>(events.begin(), events.begin() + first));
    const int showLog = Find(events, "PostMessageA(0x8001)", first);
    const int notice = Find(events, "SendMessageA(", first);
    ASSERT_GT(showLog, first);
    ASSERT_GT(notice, showLog);
    EXPECT_LT(notice, second);
    // The hide timer's restart is asked for after the notice is shown.
    int lastNotice = notice;
    while (Find(events, "SendMessageA(", lastNotice + 1) >= 0 && Find(events, "SendMessageA(", lastNotice + 1) < second)
        lastNotice = Find(events, "SendMessageA(", lastNotice + 1);
    EXPECT_GT(second - lastNotice, 1) << "no timer restart after the notice";
}

TEST_F(Alerts, ErrorsSoundButNoticeOnlyWhenAsked) {
    Flag(setting::kSoundInfected);
    Flag(setting::kNotifyError, false);
    Flag(setting::kShowLogError, false);
    Flag(setting::kNotifyVirus);
    Start();
    if (AlertCallsObservable()) {
        ASSERT_TRUE(WaitUntilNoticeShows());
    }
    std::vector<std::string> events = CheckWith(-1);
    const int first = Find(events, "trace: CheckFile #0: Result = -3");
    const int second = Find(events, "trace: CheckFile #1: Result = -3");
    ASSERT_GE(first, 0);
    ASSERT_EQ(first + 1, second) << "nothing is raised between the traces";
    if (!AlertCallsObservable()) GTEST_SKIP() << "this build makes no alert calls";
    std::vector<std::string> sound = {"PlaySoundA(<null>, 0x40)", "PlaySoundA(C:\\snd\\virus.wav, 0x20001)"};
    EXPECT_EQ(sound, std::vector<std::string>(events.begin(), events.begin() + first));
}

TEST_F(Alerts, LogRequestWithoutNoticeAndCleanRaisesNothing) {
    Flag(setting::kSoundInfected, false);
    Flag(setting::kShowLogVirus);
    Flag(setting::kNotifyVirus, false);
    Start();
    if (AlertCallsObservable()) {
        ASSERT_TRUE(WaitForHiddenWindow());
    }
    std::vector<std::string> events = CheckWith(0x4);
    std::vector<std::string> traces = {"trace: CheckFile #0: Result = 2", "trace: CheckFile #1: Result = 2"};
    if (AlertCallsObservable()) {
        std::vector<std::string> expected = {traces[0], "PostMessageA(0x8001)", traces[1]};
        EXPECT_EQ(expected, events);
    } else {
        EXPECT_EQ(traces, events);
    }

    Flag(setting::kSoundInfected);
    Flag(setting::kShowLogError);
    Flag(setting::kNotifyVirus);
    Flag(setting::kNotifyError);
    api.Initialize();  // reads the settings again
    std::vector<std::string> clean = {"trace: CheckFile #0: Result = 0", "trace: CheckFile #1: Result = 0"};
    EXPECT_EQ(clean, CheckWith(0));
    EXPECT_EQ(clean, CheckWith(0x8));
}
