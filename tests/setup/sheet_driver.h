// Drives the plug-in's setup windows from the test's own thread while
// BAV_Setup runs its modal loops on another: windows are found by caption,
// buttons pressed by posted messages (a press may open a modal dialog, so it
// must not wait), states read by sent messages.
#pragma once

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "plugin_loader.h"

constexpr DWORD kWaitMs = 20000;

// Polls until the condition holds; false when the wait ran out.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// A visible top-level dialog of this process with this caption, or null.
HWND FindDialog(const std::string& caption);
HWND WaitForDialog(const std::string& caption, DWORD timeoutMs = kWaitMs);
bool WaitForDialogGone(HWND dialog, DWORD timeoutMs = kWaitMs);
// A visible dialog of this process other than the one given.
HWND WaitForDialogOtherThan(HWND known, DWORD timeoutMs = kWaitMs);

std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);
bool ItemVisible(HWND dialog, int id);
bool ItemChecked(HWND dialog, int id);
void SetItemCheck(HWND dialog, int id, bool checked);
void SetItemText(HWND dialog, int id, const std::string& text);
// BN_CLICKED as the button would send it; posted.
void Click(HWND dialog, int id);

// Property sheet and wizard.
constexpr int kBackButton = 0x3023;
constexpr int kNextButton = 0x3024;
constexpr int kFinishButton = 0x3025;
constexpr int kApplyButton = 0x3021;
HWND CurrentPage(HWND sheet);
// The caption of the current page (its template's caption).
std::string CurrentPageTitle(HWND sheet);
bool WaitForPage(HWND sheet, const std::string& title, DWORD timeoutMs = kWaitMs);
void PressSheetButton(HWND sheet, int psbtn);
void SelectTab(HWND sheet, int index);
std::vector<std::string> TabTitles(HWND sheet);
// Visible and enabled.
bool ButtonLive(HWND sheet, int id);

// List views.
int ListCount(HWND list);
std::string ListText(HWND list, int item, int column);
bool ListSelected(HWND list, int item);
void ListSelect(HWND list, int item, bool selected);
void ListCheck(HWND list, int item, bool checked);
// Index of the row whose column 0 text ends with suffix, or -1.
int ListFind(HWND list, const std::string& suffix);

// BAV_Setup on a thread of its own. If the test ends while the sheet is still
// open, every dialog of the process is cancelled until the call returns.
class SetupRun {
public:
    explicit SetupRun(PluginApi& api, std::function<void()> before = nullptr);
    ~SetupRun();
    bool Finish(DWORD timeoutMs = kWaitMs);
    int32_t result() const { return result_; }

private:
    std::thread thread_;
    volatile LONG done_ = 0;
    int32_t result_ = 0x7fffffff;
};

// Saves a picture of the window (as the screen shows it) as NAME.bmp in the
// run's screenshot folder; nothing when the run has none.
void SaveScreenshot(HWND window, const std::string& name);

// The engine installers' machine-wide keys (index 0 and 1, in the order the
// plug-in reads them), removed on construction and destruction.
class InstallerKeysScratch {
public:
    InstallerKeysScratch();
    ~InstallerKeysScratch();
    void SetPath(int index, const std::string& path, bool withValue = true);
    // The key exists but has no "Path" value.
    void CreateEmpty(int index);
};

// The sheet of a BAV_Setup call.
constexpr char kSheetCaption[] = "Orlix for TheBAT!";

// The top-level windows of this process, for failure messages.
std::string DescribeDialogs();

// The property sheet or wizard of this process (a wizard's title is its
// current page's).
HWND WaitForSheet(DWORD timeoutMs = kWaitMs);

// Returns once the window's thread has finished the message it is handling:
// a state seen half-way through a handler is complete afterwards.
void Settle(HWND window);
