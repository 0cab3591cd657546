// The setup sheet in both modes, driven through its real controls.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/child.h"
#include "common/scratch.h"
#include "common/test_engine_setup.h"
#include "plugin_loader.h"
#include "resources/resource.h"
#include "sheet_driver.h"

namespace {

const char kBanner[] = "Orlix Plug-In Module for TheBAT! Version 4.31.0.04020";

int CountLines(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

// A property sheet needs an installation folder in the settings.
void WriteConfigured(SettingsKeyScratch& key, const TempDir& folder, const TempDir& logs) {
    key.Text(setting::kOrlixPath, folder.path());
    key.Flag(setting::kShowAdvanced, 1);
    key.Text(setting::kEnginePath, folder.path());
    key.Text(setting::kBasePath, folder.path());
    key.Text(setting::kLogPath, logs.path());
    key.Flag(setting::kLogEnabled, 1);
}

struct Box {
    const char* value;
    int page;  // tab index in the property sheet
    int id;
};

const Box kBoxes[] = {
    {setting::kShowAdvanced, 0, IDC_ADVANCED},          {setting::kLogEnabled, 1, IDC_LOG_ENABLED},
    {setting::kLogEventsOnly, 1, IDC_LOG_EVENTS_ONLY},  {setting::kSoundInfected, 1, IDC_SOUND_INFECTED},
    {setting::kSoundIncurable, 1, IDC_SOUND_INCURABLE}, {setting::kNotifyVirus, 2, IDC_NOTIFY_VIRUS},
    {setting::kNotifyError, 2, IDC_NOTIFY_ERROR},       {setting::kShowLogVirus, 2, IDC_SHOWLOG_VIRUS},
    {setting::kShowLogError, 2, IDC_SHOWLOG_ERROR},     {setting::kCheckArchives, 2, IDC_CHECK_ARCHIVES},
    {setting::kCheckPacked, 2, IDC_CHECK_PACKED},
};

bool IsDefaultOn(const std::string& value) {
    return value == setting::kLogEnabled || value == setting::kNotifyVirus || value == setting::kNotifyError ||
           value == setting::kCheckArchives || value == setting::kCheckPacked;
}

HWND OpenTab(HWND sheet, int index) {
    static const char* const titles[] = {"Orlix Folders", "Log and sounds", "Options"};
    SelectTab(sheet, index);
    if (!WaitForPage(sheet, titles[index])) return nullptr;
    return CurrentPage(sheet);
}

// Cancels a dialog the page opened; the field then shows text again.
void CancelAndExpect(HWND dialog, HWND page, int id, const std::string& text) {
    ASSERT_TRUE(dialog);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitForDialogGone(dialog));
    EXPECT_TRUE(WaitUntil([&] { return ItemText(page, id) == text; })) << ItemText(page, id);
}

}  // namespace

TEST(SetupWizard, FirstRunOffersFinishOnOptionsAndLoadsTheEngine) {
    TestEngineSetup engine;
    ASSERT_TRUE(engine.ok());
    ASSERT_TRUE(WriteFileBytes(engine.EngineFolder() + "\\main.vdb", "base"));
    engine->SetBaseRecords("main.vdb", 5);
    SettingsKeyScratch key;
    InstallerKeysScratch installers;
    installers.SetPath(0, engine.EngineFile());
    PluginApi api;
    ASSERT_TRUE(api.Load());
    EXPECT_EQ(-3, api.Initialize());
    {
        SetupRun run(api);
        HWND sheet = WaitForSheet();
        ASSERT_TRUE(sheet) << DescribeDialogs();
        ASSERT_TRUE(WaitForPage(sheet, "Welcome"));
        // The page posts its buttons: the sheet's own ones show first.
        EXPECT_TRUE(WaitUntil([&] { return ButtonLive(sheet, kNextButton) && !ButtonLive(sheet, kBackButton); }));
        Settle(sheet);
        EXPECT_FALSE(ButtonLive(sheet, kFinishButton));
        SaveScreenshot(sheet, "wizard-1-welcome");

        const char* const later[] = {"Orlix Folders", "Log and sounds"};
        for (const char* title : later) {
            PressSheetButton(sheet, PSBTN_NEXT);
            ASSERT_TRUE(WaitForPage(sheet, title));
            EXPECT_TRUE(WaitUntil([&] { return ButtonLive(sheet, kBackButton) && ButtonLive(sheet, kNextButton); }))
                << title;
            Settle(sheet);
            EXPECT_FALSE(ButtonLive(sheet, kFinishButton)) << title;
            SaveScreenshot(sheet, std::string("wizard-") + (title[0] == 'O' ? "2-folders" : "3-log-sounds"));
            if (title[0] == 'O') {
                EXPECT_EQ(engine.EngineFolder() + "\\", ItemText(CurrentPage(sheet), IDC_FOLDER_EDIT));
            }
        }
        PressSheetButton(sheet, PSBTN_NEXT);
        ASSERT_TRUE(WaitForPage(sheet, "Options"));
        EXPECT_TRUE(WaitUntil([&] { return ButtonLive(sheet, kFinishButton); }));
        Settle(sheet);
        EXPECT_FALSE(ButtonLive(sheet, kNextButton));
        SaveScreenshot(sheet, "wizard-4-options");
        PressSheetButton(sheet, PSBTN_FINISH);
        ASSERT_TRUE(run.Finish());
        EXPECT_EQ(0, run.result());
    }
    EXPECT_EQ(engine.EngineFolder() + "\\", key.Read(setting::kOrlixPath));
    EXPECT_EQ("1", key.Read(setting::kLogEnabled));
    EXPECT_EQ("1", key.Read(setting::kScanByFormat));
    // The engine was bound and its base loaded by the initialisation that
    // followed the first run; the log lives in the installation folder now.
    std::vector<std::string> log = ReadLogLines(engine.EngineFolder());
    EXPECT_EQ(1, CountLines(log, kBanner));
    EXPECT_EQ(1, CountLines(log, "Engine version: 4.31"));
    EXPECT_EQ(1, CountLines(log, "Loading virus definition base: main.vdb - Ok, 5 records"));
    EXPECT_EQ(0, api.Uninitialize());
}

// The settings store loads a missing key like an empty one, so a first run
// without any key shows and saves the defaults.
TEST(SetupWizard, NoSettingsKeyShowsTheDefaultsAndFinishSavesThem) {
    DeleteSettingsKey();
    InstallerKeysScratch installers;
    TempDir folder;
    installers.SetPath(1, folder.path() + "\\");
    PluginApi api;
    ASSERT_TRUE(api.Load());
    api.Initialize();
    {
        SetupRun run(api);
        HWND sheet = WaitForSheet();
        ASSERT_TRUE(sheet) << DescribeDialogs();
        const char* const pages[] = {"Orlix Folders", "Log and sounds", "Options"};
        for (const char* title : pages) {
            PressSheetButton(sheet, PSBTN_NEXT);
            ASSERT_TRUE(WaitForPage(sheet, title));
            HWND page = CurrentPage(sheet);
            for (const Box& box : kBoxes) {
                if (std::string(title) == pages[box.page]) {
                    EXPECT_EQ(IsDefaultOn(box.value), ItemChecked(page, box.id)) << box.value;
                }
            }
            if (title[0] == 'O') {
                EXPECT_EQ("", ItemText(page, IDC_ENGINE_EDIT));
                EXPECT_EQ("", ItemText(page, IDC_BASE_EDIT));
                EXPECT_EQ("", ItemText(page, IDC_LOG_EDIT));
            }
        }
        PressSheetButton(sheet, PSBTN_FINISH);
        ASSERT_TRUE(run.Finish());
        EXPECT_EQ(0, run.result());
    }
    ASSERT_TRUE(SettingsKeyExists());
    for (const Box& box : kBoxes) {
        DWORD value = 7, size = sizeof value;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, box.value, RRF_RT_REG_DWORD, nullptr, &value, &size));
        EXPECT_EQ(IsDefaultOn(box.value) ? 1u : 0u, value) << box.value;
    }
    EXPECT_EQ(0, api.Uninitialize());
    DeleteSettingsKey();
}

TEST(SetupSheet, ThreeTabsWithOkAndCancelAndOkSavesWithoutInitialising) {
    SettingsKeyScratch key;
    TempDir folder, logs;
    WriteConfigured(key, folder, logs);
    key.Flag(setting::kScanByFormat, 0);
    key.Flag(setting::kNotifyVirus, 1);
    PluginApi api;
    ASSERT_TRUE(api.Load());
    api.Initialize();
    const int bannersBefore = CountLines(ReadLogLines(logs.path()), kBanner);
    ASSERT_EQ(1, bannersBefore);
    {
        SetupRun run(api);
        HWND sheet = WaitForSheet();
        ASSERT_TRUE(sheet) << DescribeDialogs();
        ASSERT_TRUE(WaitForPage(sheet, "Orlix Folders"));
        EXPECT_EQ(kSheetCaption, WindowText(sheet));
        EXPECT_EQ((std::vector<std::string>{"Orlix Folders", "Log and sounds", "Options"}), TabTitles(sheet));
        EXPECT_TRUE(ButtonLive(sheet, IDOK));
        EXPECT_TRUE(ButtonLive(sheet, IDCANCEL));
        EXPECT_FALSE(ButtonLive(sheet, kApplyButton));
        SaveScreenshot(sheet, "sheet-1-folders");
        HWND logPage = OpenTab(sheet, 1);
        ASSERT_TRUE(logPage);
        EXPECT_FALSE(ItemVisible(logPage, IDC_VIEW_LOG));
        EXPECT_FALSE(ItemEnabled(logPage, IDC_VIEW_LOG));
        SaveScreenshot(sheet, "sheet-2-log-sounds");
        HWND options = OpenTab(sheet, 2);
        ASSERT_TRUE(options);
        SaveScreenshot(sheet, "sheet-3-options");
        SetItemCheck(options, IDC_NOTIFY_VIRUS, false);
        PressSheetButton(sheet, PSBTN_OK);
        ASSERT_TRUE(run.Finish());
        EXPECT_EQ(0, run.result());
    }
    EXPECT_EQ("0", key.Read(setting::kNotifyVirus));
    EXPECT_EQ("0", key.Read(setting::kScanByFormat));
    EXPECT_EQ(folder.path(), key.Read(setting::kOrlixPath));
    EXPECT_EQ(bannersBefore, CountLines(ReadLogLines(logs.path()), kBanner));
    EXPECT_EQ(0, api.Uninitialize());
}

TEST(SetupSheet, CheckBoxesAndSoundFilesRoundTrip) {
    for (int pattern = 0; pattern < 2; ++pattern) {
        SettingsKeyScratch key;
        TempDir folder, logs;
        WriteConfigured(key, folder, logs);
        int n = 0;
        for (const Box& box : kBoxes) key.Flag(box.value, (n++ + pattern) % 2);
        key.Text(setting::kSoundFileInfected, "C:\\sounds\\virus.wav");
        key.Text(setting::kSoundFileIncurable, "C:\\sounds\\incurable.wav");
        PluginApi api;
        ASSERT_TRUE(api.Load());
        api.Initialize();
        {
            SetupRun run(api);
            HWND sheet = WaitForSheet();
            ASSERT_TRUE(sheet);
            n = 0;
            for (const Box& box : kBoxes) {
                HWND page = OpenTab(sheet, box.page);
                ASSERT_TRUE(page);
                const bool stored = (n++ + pattern) % 2 != 0;
                EXPECT_EQ(stored, ItemChecked(page, box.id)) << box.value << " pattern " << pattern;
                SetItemCheck(page, box.id, !stored);
            }
            HWND logPage = OpenTab(sheet, 1);
            ASSERT_TRUE(logPage);
            EXPECT_EQ("C:\\sounds\\virus.wav", ItemText(logPage, IDC_SOUND_INFECTED_FILE));
            EXPECT_EQ("C:\\sounds\\incurable.wav", ItemText(logPage, IDC_SOUND_INCURABLE_FILE));
            SetItemText(logPage, IDC_SOUND_INFECTED_FILE, "D:\\a.wav");
            SetItemText(logPage, IDC_SOUND_INCURABLE_FILE, "D:\\b.wav");
            PressSheetButton(sheet, PSBTN_OK);
            ASSERT_TRUE(run.Finish());
            EXPECT_EQ(0, run.result());
        }
        n = 0;
        for (const Box& box : kBoxes) {
            const bool stored = (n++ + pattern) % 2 != 0;
            EXPECT_EQ(stored ? "0" : "1", key.Read(box.value)) << box.value << " pattern " << pattern;
        }
        EXPECT_EQ("D:\\a.wav", key.Read(setting::kSoundFileInfected));
        EXPECT_EQ("D:\\b.wav", key.Read(setting::kSoundFileIncurable));
        EXPECT_EQ(0, api.Uninitialize());
    }
}

TEST(SetupSheet, AdvancedRuleAndAllFourFolderTextsTaken) {
    SettingsKeyScratch key;
    TempDir folder, logs;
    WriteConfigured(key, folder, logs);
    key.Flag(setting::kShowAdvanced, 0);
    PluginApi api;
    ASSERT_TRUE(api.Load());
    api.Initialize();
    const int rowControls[] = {IDC_FOLDER_LABEL, IDC_FOLDER_EDIT, IDC_FOLDER_BROWSE, IDC_FOLDER_FIND};
    const int advancedControls[] = {IDC_ENGINE_LABEL,  IDC_BASE_LABEL,  IDC_LOG_LABEL,
                                    IDC_ENGINE_EDIT,   IDC_BASE_EDIT,   IDC_LOG_EDIT,
                                    IDC_ENGINE_BROWSE, IDC_BASE_BROWSE, IDC_LOG_BROWSE};
    const std::string longFolder = "C:\\" + std::string(297, 'x');
    {
        SetupRun run(api);
        HWND sheet = WaitForSheet();
        ASSERT_TRUE(sheet) << DescribeDialogs();
        ASSERT_TRUE(WaitForPage(sheet, "Orlix Folders"));
        HWND page = CurrentPage(sheet);
        auto expectRule = [&](bool advanced) {
            for (int id : rowControls) EXPECT_EQ(!advanced, ItemEnabled(page, id)) << id << " advanced " << advanced;
            for (int id : advancedControls)
                EXPECT_EQ(advanced, ItemEnabled(page, id)) << id << " advanced " << advanced;
            EXPECT_FALSE(ItemEnabled(page, IDC_ADVANCED_FRAME));
        };
        expectRule(false);
        SetItemCheck(page, IDC_ADVANCED, true);
        Click(page, IDC_ADVANCED);
        EXPECT_TRUE(WaitUntil([&] { return ItemEnabled(page, IDC_ENGINE_EDIT); }));
        Settle(page);
        expectRule(true);
        SaveScreenshot(sheet, "sheet-1-folders-advanced");
        SetItemCheck(page, IDC_ADVANCED, false);
        Click(page, IDC_ADVANCED);
        EXPECT_TRUE(WaitUntil([&] { return ItemEnabled(page, IDC_FOLDER_EDIT); }));
        Settle(page);
        expectRule(false);
        // With the rows greyed the texts are still taken.
        SetItemText(page, IDC_FOLDER_EDIT, longFolder);
        SetItemText(page, IDC_ENGINE_EDIT, "C:\\engine");
        SetItemText(page, IDC_BASE_EDIT, "C:\\bases");
        SetItemText(page, IDC_LOG_EDIT, "C:\\logs");
        ASSERT_TRUE(OpenTab(sheet, 2));
        PressSheetButton(sheet, PSBTN_OK);
        ASSERT_TRUE(run.Finish());
        EXPECT_EQ(0, run.result());
    }
    EXPECT_EQ(longFolder.substr(0, 259), key.Read(setting::kOrlixPath));
    EXPECT_EQ("C:\\engine", key.Read(setting::kEnginePath));
    EXPECT_EQ("C:\\bases", key.Read(setting::kBasePath));
    EXPECT_EQ("C:\\logs", key.Read(setting::kLogPath));
    EXPECT_EQ("0", key.Read(setting::kShowAdvanced));
    EXPECT_EQ(0, api.Uninitialize());
}

TEST(SetupSheet, CancelledBrowseAndFindShowTheSettingAgain) {
    SettingsKeyScratch key;
    TempDir folder, logs;
    WriteConfigured(key, folder, logs);
    PluginApi api;
    ASSERT_TRUE(api.Load());
    api.Initialize();
    {
        SetupRun run(api);
        HWND sheet = WaitForSheet();
        ASSERT_TRUE(sheet) << DescribeDialogs();
        ASSERT_TRUE(WaitForPage(sheet, "Orlix Folders"));
        HWND page = CurrentPage(sheet);
        // ShowAdvanced is on: the engine row is live.
        ASSERT_TRUE(ItemEnabled(page, IDC_ENGINE_EDIT));
        SetItemText(page, IDC_ENGINE_EDIT, "typed engine folder");
        Click(page, IDC_ENGINE_BROWSE);
        ASSERT_NO_FATAL_FAILURE(CancelAndExpect(WaitForDialogOtherThan(sheet), page, IDC_ENGINE_EDIT, folder.path()));

        SetItemCheck(page, IDC_ADVANCED, false);
        Click(page, IDC_ADVANCED);
        ASSERT_TRUE(WaitUntil([&] { return ItemEnabled(page, IDC_FOLDER_BROWSE); }));
        SetItemText(page, IDC_FOLDER_EDIT, "typed installation folder");
        Click(page, IDC_FOLDER_BROWSE);
        ASSERT_NO_FATAL_FAILURE(CancelAndExpect(WaitForDialogOtherThan(sheet), page, IDC_FOLDER_EDIT, folder.path()));

        SetItemText(page, IDC_FOLDER_EDIT, "typed again");
        Click(page, IDC_FOLDER_FIND);
        ASSERT_NO_FATAL_FAILURE(
            CancelAndExpect(WaitForDialog("Find Orlix Files"), page, IDC_FOLDER_EDIT, folder.path()));

        HWND logPage = OpenTab(sheet, 1);
        ASSERT_TRUE(logPage);
        SetItemText(logPage, IDC_SOUND_INFECTED_FILE, "typed sound");
        Click(logPage, IDC_SOUND_INFECTED_BROWSE);
        ASSERT_NO_FATAL_FAILURE(CancelAndExpect(WaitForDialogOtherThan(sheet), logPage, IDC_SOUND_INFECTED_FILE, ""));

        PressSheetButton(sheet, PSBTN_CANCEL);
        ASSERT_TRUE(run.Finish());
        EXPECT_EQ(-3, run.result());
    }
    EXPECT_EQ(0, api.Uninitialize());
}

// The sheet's traces, read as a debugger reads them. args[0]: how many pages
// to show (1 or 3); args[1] "cancel": Cancel instead of OK.
CHILD_SCENARIO(SheetOk) {
    PluginApi api;
    if (!api.Load()) return 10;
    api.Initialize();
    int result = -1;
    {
        SetupRun run(api);
        HWND sheet = WaitForSheet();
        if (!sheet || !WaitForPage(sheet, "Orlix Folders")) return 11;
        if (args.size() > 0 && args[0] == "3") {
            if (!OpenTab(sheet, 1) || !OpenTab(sheet, 2)) return 12;
        }
        const bool cancel = args.size() > 1 && args[1] == "cancel";
        PressSheetButton(sheet, cancel ? PSBTN_CANCEL : PSBTN_OK);
        if (!run.Finish()) return 13;
        result = run.result();
        if (cancel) return result == -3 ? 0 : 15;
    }
    api.Uninitialize();
    return result == 0 ? 0 : 14;
}

TEST(SetupSheet, OkAndCancelTraceOncePerCreatedPageAndKeepUnshownFields) {
    SettingsKeyScratch key;
    TempDir folder, logs;
    WriteConfigured(key, folder, logs);
    key.Flag(setting::kNotifyVirus, 0);
    key.Flag(setting::kCheckPacked, 0);
    key.Flag(setting::kSoundInfected, 1);
    key.Text(setting::kSoundFileIncurable, "C:\\sounds\\x.wav");
    CapturedRun first = RunChildUnderDebugger("SheetOk", {"1"});
    ASSERT_TRUE(first.started);
    EXPECT_EQ(0u, first.exitCode);
    std::vector<std::string> traces = first.Traces();
    EXPECT_EQ(1, CountLines(traces, "PSN_APPLY"));
    EXPECT_EQ(0, CountLines(traces, "PSN_RESET"));
    EXPECT_EQ(1, CountLines(traces, "SaveSettings"));
    EXPECT_EQ("0", key.Read(setting::kNotifyVirus));
    EXPECT_EQ("0", key.Read(setting::kCheckPacked));
    EXPECT_EQ("1", key.Read(setting::kSoundInfected));
    EXPECT_EQ("C:\\sounds\\x.wav", key.Read(setting::kSoundFileIncurable));

    CapturedRun all = RunChildUnderDebugger("SheetOk", {"3"});
    EXPECT_EQ(0u, all.exitCode);
    EXPECT_EQ(3, CountLines(all.Traces(), "PSN_APPLY"));

    CapturedRun cancelled = RunChildUnderDebugger("SheetOk", {"3", "cancel"});
    EXPECT_EQ(0u, cancelled.exitCode);
    traces = cancelled.Traces();
    EXPECT_EQ(3, CountLines(traces, "PSN_RESET"));
    EXPECT_EQ(0, CountLines(traces, "PSN_APPLY"));
    EXPECT_EQ(0, CountLines(traces, "SaveSettings"));
}

// Cancel leaves everything as it was, whatever the pages took on the way.
TEST(SetupSheet, CancelKeepsWhatEveryPageTook) {
    TestEngineSetup engine;
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 1);
    SettingsKeyScratch key;
    engine.WriteSettings(key);
    TempDir elsewhere;
    PluginApi api;
    ASSERT_TRUE(api.Load());
    ASSERT_EQ(0, api.Initialize());
    {
        SetupRun run(api);
        HWND sheet = WaitForSheet();
        ASSERT_TRUE(sheet) << DescribeDialogs();
        HWND folders = OpenTab(sheet, 0);
        ASSERT_TRUE(folders);
        SetItemText(folders, IDC_LOG_EDIT, elsewhere.path());
        HWND logPage = OpenTab(sheet, 1);
        ASSERT_TRUE(logPage);
        SetItemCheck(logPage, IDC_LOG_ENABLED, false);
        HWND options = OpenTab(sheet, 2);
        ASSERT_TRUE(options);
        SetItemCheck(options, IDC_CHECK_ARCHIVES, false);
        ASSERT_TRUE(OpenTab(sheet, 0));
        PressSheetButton(sheet, PSBTN_CANCEL);
        ASSERT_TRUE(run.Finish());
        EXPECT_EQ(-3, run.result());
    }
    // Log on, in its folder, and archives walked: the settings as loaded.
    const std::string object = engine.LogFolder() + "\\a.zip";
    engine->QueueScan(object.c_str(), 0, 0x1000);
    char status[512] = {};
    EXPECT_EQ(0, api.CheckFile(object.c_str(), status));
    EXPECT_STREQ("Ok", status);
    const std::vector<std::string> log = ReadLogLines(engine.LogFolder());
    const std::string heading = "CheckArchive: " + object + " - Archive";
    EXPECT_EQ(2, std::count_if(log.begin(), log.end(),
                               [&](const std::string& line) { return line.compare(0, heading.size(), heading) == 0; }))
        << ::testing::PrintToString(log);
    EXPECT_TRUE(ReadLogLines(elsewhere.path()).empty());
    EXPECT_EQ(engine.LogFolder(), key.Read(setting::kLogPath));
    EXPECT_EQ(0, api.Uninitialize());
}

TEST(SetupWizard, CancelAfterDiscoveryKeepsTheFirstRun) {
    TestEngineSetup engine;
    ASSERT_TRUE(engine.ok());
    DeleteSettingsKey();
    InstallerKeysScratch installers;
    installers.SetPath(0, engine.EngineFile());
    PluginApi api;
    ASSERT_TRUE(api.Load());
    EXPECT_EQ(-3, api.Initialize());
    for (int round = 0; round < 2; ++round) {
        SetupRun run(api);
        HWND sheet = WaitForSheet();
        ASSERT_TRUE(sheet) << DescribeDialogs();
        ASSERT_TRUE(WaitForPage(sheet, "Welcome")) << "round " << round << ": " << CurrentPageTitle(sheet);
        PressSheetButton(sheet, PSBTN_NEXT);
        ASSERT_TRUE(WaitForPage(sheet, "Orlix Folders"));
        EXPECT_EQ(engine.EngineFolder() + "\\", ItemText(CurrentPage(sheet), IDC_FOLDER_EDIT));
        PressSheetButton(sheet, PSBTN_NEXT);
        ASSERT_TRUE(WaitForPage(sheet, "Log and sounds"));
        EXPECT_TRUE(ItemChecked(CurrentPage(sheet), IDC_LOG_ENABLED)) << round;
        SetItemCheck(CurrentPage(sheet), IDC_LOG_ENABLED, false);
        PressSheetButton(sheet, PSBTN_NEXT);
        ASSERT_TRUE(WaitForPage(sheet, "Options"));
        EXPECT_TRUE(ItemChecked(CurrentPage(sheet), IDC_CHECK_ARCHIVES)) << round;
        SetItemCheck(CurrentPage(sheet), IDC_CHECK_ARCHIVES, false);
        PressSheetButton(sheet, PSBTN_BACK);
        ASSERT_TRUE(WaitForPage(sheet, "Log and sounds"));
        PressSheetButton(sheet, PSBTN_CANCEL);
        ASSERT_TRUE(run.Finish());
        EXPECT_EQ(-3, run.result());
    }
    EXPECT_FALSE(SettingsKeyExists());
    EXPECT_EQ(0, api.Uninitialize());
}
