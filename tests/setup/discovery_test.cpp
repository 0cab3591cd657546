// Installation discovery: what the folders page proposes when it opens with
// no installation folder, and the "Choose Orlix Installation" dialog.
#include <gtest/gtest.h>

#include "common/scratch.h"
#include "common/test_engine_setup.h"
#include "plugin_loader.h"
#include "resources/resource.h"
#include "sheet_driver.h"

namespace {

// A first run (empty settings key) taken to the folders page; the choose
// dialog, when one comes up, is handed to the test before the page shows.
class FirstRun {
public:
    FirstRun() {
        loaded_ = api_.Load();
        if (loaded_) api_.Initialize();
        if (loaded_) run_.reset(new SetupRun(api_));
        sheet_ = WaitForSheet();
    }
    ~FirstRun() {
        if (sheet_ && IsWindow(sheet_)) PressSheetButton(sheet_, PSBTN_CANCEL);
        if (run_) run_->Finish();
        run_.reset();
        if (loaded_) api_.Uninitialize();
    }
    HWND sheet() const { return sheet_; }
    bool ToFolders() {
        if (!sheet_ || !WaitForPage(sheet_, "Welcome")) return false;
        PressSheetButton(sheet_, PSBTN_NEXT);
        return true;
    }
    SettingsKeyScratch& key() { return key_; }
    // On to "Options" and Finish; true when BAV_Setup answered 0.
    bool FinishWizard() {
        while (CurrentPageTitle(sheet_) != "Options") {
            const std::string title = CurrentPageTitle(sheet_);
            PressSheetButton(sheet_, PSBTN_NEXT);
            if (!WaitUntil([&] { return CurrentPageTitle(sheet_) != title; })) return false;
        }
        PressSheetButton(sheet_, PSBTN_FINISH);
        return run_->Finish() && run_->result() == 0;
    }
    std::string FolderEdit() {
        if (!WaitForPage(sheet_, "Orlix Folders")) return "<no folders page>";
        return ItemText(CurrentPage(sheet_), IDC_FOLDER_EDIT);
    }

private:
    SettingsKeyScratch key_;
    PluginApi api_;
    bool loaded_ = false;
    std::unique_ptr<SetupRun> run_;
    HWND sheet_ = nullptr;
};

}  // namespace

TEST(Discovery, ProposesFromTheRegistryOrTheModuleFolder) {
    struct Case {
        const char* name;
        const char* first;  // null: no key; "": key without Path
        const char* second;
        const char* proposed;  // null: the plug-in's own folder
    };
    const Case cases[] = {
        {"neither key", nullptr, nullptr, nullptr},
        {"only the second", nullptr, "C:\\Second\\orlix32.dll", "C:\\Second\\"},
        {"first without Path", "", "C:\\Second\\", "C:\\Second\\"},
        {"only the first", "C:\\First\\Engine\\", nullptr, "C:\\First\\Engine\\"},
        {"no trailing backslash", "C:\\First\\Engine", nullptr, "C:\\First\\"},
    };
    for (const Case& c : cases) {
        InstallerKeysScratch installers;
        if (c.first) {
            if (*c.first)
                installers.SetPath(0, c.first);
            else
                installers.CreateEmpty(0);
        }
        if (c.second) installers.SetPath(1, c.second);
        FirstRun run;
        ASSERT_TRUE(run.ToFolders()) << c.name;
        EXPECT_EQ(c.proposed ? std::string(c.proposed) : ProgramFolder(), run.FolderEdit()) << c.name;
        EXPECT_FALSE(FindDialog("Choose Orlix Installation")) << c.name;
    }
}

TEST(Discovery, BothKeysOfferTwoProbedRowsInRegistryOrder) {
    TestEngineSetup current, old;
    ASSERT_TRUE(current.ok() && old.ok());
    current->SetVersion(431);
    old->SetVersion(426);
    InstallerKeysScratch installers;
    installers.SetPath(0, current.EngineFile());
    // A folder named relative to the current one has no backslash at all.
    const std::string& oldPath = old.EngineFolder();
    const std::string oldFolder = oldPath.substr(oldPath.rfind('\\') + 1);
    CurrentFolderScratch here(oldPath.substr(0, oldPath.rfind('\\')));
    ASSERT_TRUE(here.ok());
    installers.SetPath(1, oldFolder);
    FirstRun run;
    ASSERT_TRUE(run.ToFolders());
    HWND choose = WaitForDialog("Choose Orlix Installation");
    ASSERT_TRUE(choose);
    HWND list = GetDlgItem(choose, IDC_CHOOSE_LIST);
    ASSERT_EQ(2, ListCount(list));
    EXPECT_EQ(current.EngineFolder() + "\\", ListText(list, 0, 0));
    EXPECT_EQ("4.31 (Ok to use)", ListText(list, 0, 1));
    EXPECT_EQ(oldFolder, ListText(list, 1, 0));
    EXPECT_EQ("4.26", ListText(list, 1, 1));
    EXPECT_FALSE(ListSelected(list, 0) || ListSelected(list, 1));
    SaveScreenshot(choose, "dialog-choose-installation");
    ListSelect(list, 1, true);
    Click(choose, IDOK);
    EXPECT_EQ(oldFolder, run.FolderEdit());
}

TEST(Discovery, IdenticalCandidatesAndAnEngineThatCannotBeProbed) {
    TempDir empty;
    InstallerKeysScratch installers;
    installers.SetPath(0, empty.path() + "\\");
    installers.SetPath(1, empty.path() + "\\");
    FirstRun run;
    ASSERT_TRUE(run.ToFolders());
    HWND choose = WaitForDialog("Choose Orlix Installation");
    ASSERT_TRUE(choose);
    HWND list = GetDlgItem(choose, IDC_CHOOSE_LIST);
    ASSERT_EQ(2, ListCount(list));
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(empty.path() + "\\", ListText(list, row, 0));
        EXPECT_EQ("0.0", ListText(list, row, 1));
    }
    // OK with no row selected is a cancel.
    Click(choose, IDOK);
    ASSERT_TRUE(WaitForDialogGone(choose));
    // The page asks again as it becomes active; its edit, still empty,
    // shows the answer, which an accepted wizard then keeps.
    HWND again = WaitForDialog("Choose Orlix Installation");
    ASSERT_TRUE(again);
    ListSelect(GetDlgItem(again, IDC_CHOOSE_LIST), 0, true);
    Click(again, IDOK);
    ASSERT_TRUE(WaitForDialogGone(again));
    EXPECT_TRUE(WaitUntil([&] { return run.FolderEdit() == empty.path() + "\\"; })) << run.FolderEdit();
    // Back and forth: the setting is no longer empty, so no third question.
    PressSheetButton(run.sheet(), PSBTN_NEXT);
    ASSERT_TRUE(WaitForPage(run.sheet(), "Log and sounds"));
    PressSheetButton(run.sheet(), PSBTN_BACK);
    ASSERT_TRUE(WaitForPage(run.sheet(), "Orlix Folders"));
    EXPECT_FALSE(FindDialog("Choose Orlix Installation"));
    ASSERT_TRUE(run.FinishWizard());
    EXPECT_EQ(empty.path() + "\\", run.key().Read(setting::kOrlixPath));
}
