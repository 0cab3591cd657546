// The drive search, on a drive letter that the test wrapper maps to an empty
// folder of the build tree. Nothing here may ever search a real disk.
#include <gtest/gtest.h>

#include "common/process_counters.h"
#include "common/scratch.h"
#include "common/test_engine_setup.h"
#include "plugin_loader.h"
#include "resources/resource.h"
#include "sheet_driver.h"

namespace {

// The mapped drive's root ("O:") after checking that it is the wrapper's
// folder: a marker file at its root, and never C: or Z:.
std::string TestDrive() {
    char letter[8] = "";
    if (!GetEnvironmentVariableA("ORLIX_TEST_DRIVE", letter, sizeof letter)) return std::string();
    std::string root = std::string(1, letter[0]) + ":";
    if (letter[0] == 'C' || letter[0] == 'Z') return std::string();
    if (!FileExists(root + "\\orlix-test-drive.txt")) return std::string();
    return root;
}

// Empties the mapped drive, keeping its marker.
void ClearDrive(const std::string& root) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((root + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = entry.cFileName;
        // The wrapper's loop stays: removing through it would empty the drive.
        if (name == "." || name == ".." || name == "orlix-test-drive.txt") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(root + "\\" + name);
        else
            DeleteFileA((root + "\\" + name).c_str());
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

void MakeFolders(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

// Places a copy of an engine library in folder under the given file name.
bool PlaceEngine(const std::string& source, const std::string& folder, const std::string& name = "orlix32.dll") {
    MakeFolders(folder);
    return CopyFileA(source.c_str(), (folder + "\\" + name).c_str(), FALSE) != FALSE;
}

std::string HoldEngineBuildPath() { return ProgramFolder() + "..\\setupholdengine\\orlix32.dll"; }

// A property sheet open on the folders page, ready for "&Find".
class SearchFixture : public testing::Test {
protected:
    void SetUp() override {
        drive_ = TestDrive();
        ASSERT_FALSE(drive_.empty()) << "the test drive is not mapped";
        ClearDrive(drive_);
        key_.Text(setting::kOrlixPath, folder_.path());
        ASSERT_TRUE(api_.Load());
        api_.Initialize();
        run_.reset(new SetupRun(api_));
        sheet_ = WaitForSheet();
        ASSERT_TRUE(sheet_);
        ASSERT_TRUE(WaitForPage(sheet_, "Orlix Folders"));
        page_ = CurrentPage(sheet_);
    }
    void TearDown() override {
        if (sheet_ && IsWindow(sheet_)) PressSheetButton(sheet_, PSBTN_CANCEL);
        if (run_) run_->Finish();
        run_.reset();
        api_.Uninitialize();
        api_.Unload();
        if (!drive_.empty()) ClearDrive(drive_);
    }

    // Opens the drive dialog, checks the test drive (or none) and starts.
    HWND StartSearch(bool checkDrive = true, const char* screenshot = nullptr) {
        Click(page_, IDC_FOLDER_FIND);
        HWND drives = WaitForDialog("Find Orlix Files");
        if (!drives) return nullptr;
        HWND list = GetDlgItem(drives, IDC_DRIVE_LIST);
        for (int i = 0; i < ListCount(list); ++i)
            EXPECT_EQ(0u, SendMessageA(list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK) & INDEXTOSTATEIMAGEMASK(2));
        // "<volume> (O:)", or "Drive O:" when the volume cannot be asked.
        int row = ListFind(list, "(" + drive_ + ")");
        if (row == -1) row = ListFind(list, "Drive " + drive_);
        EXPECT_NE(-1, row) << "test drive not listed";
        if (row != -1) {
            EXPECT_EQ("Hard Disk", ListText(list, row, 1));
        }
        if (checkDrive && row != -1) ListCheck(list, row, true);
        if (screenshot) SaveScreenshot(drives, screenshot);
        Click(drives, IDOK);
        return WaitForDialog("Searching...");
    }
    static bool WaitForSummary(HWND searching, int found) {
        const std::string summary = "Searching done, found " + std::to_string(found) + " location(s)";
        if (!WaitUntil([&] { return ItemText(searching, IDC_SEARCH_CURRENT) == summary; })) return false;
        Settle(searching);
        return true;
    }
    std::string FolderEdit() { return ItemText(page_, IDC_FOLDER_EDIT); }

    std::string drive_;
    TempDir folder_;
    SettingsKeyScratch key_;
    PluginApi api_;
    std::unique_ptr<SetupRun> run_;
    HWND sheet_ = nullptr;
    HWND page_ = nullptr;
};

}  // namespace

TEST_F(SearchFixture, SupportedEngineSelectedAndTakenByOk) {
    ASSERT_TRUE(PlaceEngine(TestEngineBuildPath(), drive_ + "\\apps\\orlix"));
    HWND searching = StartSearch(true, "dialog-find-drives");
    ASSERT_TRUE(searching);
    ASSERT_TRUE(WaitForSummary(searching, 1)) << ItemText(searching, IDC_SEARCH_CURRENT);
    HWND list = GetDlgItem(searching, IDC_SEARCH_FOUND);
    ASSERT_EQ(1, ListCount(list));
    EXPECT_EQ(drive_ + "\\apps\\orlix", ListText(list, 0, 0));
    EXPECT_EQ("4.31 (Ok to use)", ListText(list, 0, 1));
    EXPECT_TRUE(ListSelected(list, 0));
    EXPECT_TRUE(ItemEnabled(searching, IDOK));
    SaveScreenshot(searching, "dialog-searching");
    Click(searching, IDOK);
    ASSERT_TRUE(WaitForDialogGone(searching));
    EXPECT_TRUE(WaitUntil([&] { return FolderEdit() == drive_ + "\\apps\\orlix"; })) << FolderEdit();
    PressSheetButton(sheet_, PSBTN_OK);
    ASSERT_TRUE(run_->Finish());
    EXPECT_EQ(drive_ + "\\apps\\orlix", key_.Read(setting::kOrlixPath));
}

TEST_F(SearchFixture, OldEngineListedUnmarkedAndOnlyPickedByHand) {
    ASSERT_TRUE(PlaceEngine(TestEngineBuildPath(), drive_ + "\\old"));
    // Script the copy's version: the probe binds the module the test holds.
    HMODULE copy = LoadLibraryA((drive_ + "\\old\\orlix32.dll").c_str());
    ASSERT_TRUE(copy);
    TestEngineApi engine;
    ASSERT_TRUE(engine.Bind(copy));
    engine.SetVersion(426);
    HWND searching = StartSearch();
    ASSERT_TRUE(searching);
    ASSERT_TRUE(WaitForSummary(searching, 1));
    HWND list = GetDlgItem(searching, IDC_SEARCH_FOUND);
    ASSERT_EQ(1, ListCount(list));
    EXPECT_EQ("4.26", ListText(list, 0, 1));
    EXPECT_FALSE(ListSelected(list, 0));
    EXPECT_FALSE(ItemEnabled(searching, IDOK));
    ListSelect(list, 0, true);
    EXPECT_TRUE(WaitUntil([&] { return ItemEnabled(searching, IDOK); }));
    Click(searching, IDOK);
    ASSERT_TRUE(WaitForDialogGone(searching));
    EXPECT_TRUE(WaitUntil([&] { return FolderEdit() == drive_ + "\\old"; })) << FolderEdit();
    FreeLibrary(copy);
}

TEST_F(SearchFixture, FirstOfTwoSupportedSelectedCapitalsFoundLibraryNamedFolderSearched) {
    ASSERT_TRUE(PlaceEngine(TestEngineBuildPath(), drive_ + "\\caps", "ORLIX32.DLL"));
    ASSERT_TRUE(PlaceEngine(TestEngineBuildPath(), drive_ + "\\trap\\orlix32.dll\\inner"));
    // A root engine is reported as the drive alone.
    ASSERT_TRUE(PlaceEngine(TestEngineBuildPath(), drive_));
    ASSERT_TRUE(WriteFileBytes(drive_ + "\\other\\readme.txt", "") || (MakeFolders(drive_ + "\\other"), true));
    HWND searching = StartSearch();
    ASSERT_TRUE(searching);
    ASSERT_TRUE(WaitForSummary(searching, 3)) << ItemText(searching, IDC_SEARCH_CURRENT);
    HWND list = GetDlgItem(searching, IDC_SEARCH_FOUND);
    ASSERT_EQ(3, ListCount(list));
    EXPECT_NE(-1, ListFind(list, drive_ + "\\caps"));
    EXPECT_NE(-1, ListFind(list, drive_ + "\\trap\\orlix32.dll\\inner"));
    int root = -1;
    for (int i = 0; i < 3; ++i)
        if (ListText(list, i, 0) == drive_) root = i;
    EXPECT_NE(-1, root);
    EXPECT_TRUE(ListSelected(list, 0));
    EXPECT_FALSE(ListSelected(list, 1));
    EXPECT_FALSE(ListSelected(list, 2));
    const std::string first = ListText(list, 0, 0);
    Click(searching, IDOK);
    ASSERT_TRUE(WaitForDialogGone(searching));
    EXPECT_TRUE(WaitUntil([&] { return FolderEdit() == first; })) << FolderEdit();
}

TEST_F(SearchFixture, NoDriveCheckedFindsNothing) {
    ASSERT_TRUE(PlaceEngine(TestEngineBuildPath(), drive_ + "\\apps"));
    HWND searching = StartSearch(false);
    ASSERT_TRUE(searching);
    ASSERT_TRUE(WaitForSummary(searching, 0));
    EXPECT_EQ(0, ListCount(GetDlgItem(searching, IDC_SEARCH_FOUND)));
    EXPECT_FALSE(ItemEnabled(searching, IDOK));
    Click(searching, IDCANCEL);
    ASSERT_TRUE(WaitForDialogGone(searching));
    EXPECT_EQ(folder_.path(), FolderEdit());
}

TEST_F(SearchFixture, OkAfterDeselectingStopsTheSearchAndStaysOpen) {
    ASSERT_TRUE(PlaceEngine(TestEngineBuildPath(), drive_ + "\\apps"));
    HWND searching = StartSearch();
    ASSERT_TRUE(searching);
    ASSERT_TRUE(WaitForSummary(searching, 1));
    HWND list = GetDlgItem(searching, IDC_SEARCH_FOUND);
    ListSelect(list, 0, false);
    ASSERT_FALSE(ListSelected(list, 0));
    // Sent, not posted: it returns once the press has been handled.
    SendMessageA(searching, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(IsWindow(searching) && IsWindowVisible(searching));
    Click(searching, IDCANCEL);
    ASSERT_TRUE(WaitForDialogGone(searching));
    EXPECT_EQ(folder_.path(), FolderEdit());
}

// The worker is held inside a probe (the hold engine waits for an event):
// Cancel closes the dialogs at once, and once released the worker probes
// nothing more, enters no folder, and ends.
TEST_F(SearchFixture, CancelDuringAProbeClosesAtOnceAndTheWorkerEnds) {
    HANDLE entered = CreateEventA(nullptr, FALSE, FALSE, "OrlixSetupTestProbeEntered");
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "OrlixSetupTestProbeRelease");
    ASSERT_TRUE(entered && release);
    // Two held engines deep in a wide tree: whichever is met first holds the
    // walk with several listings open.
    ASSERT_TRUE(PlaceEngine(HoldEngineBuildPath(), drive_ + "\\a1\\a2\\hold1"));
    ASSERT_TRUE(PlaceEngine(HoldEngineBuildPath(), drive_ + "\\b1\\b2\\hold2"));
    for (int i = 0; i < 40; ++i) MakeFolders(drive_ + "\\wide\\f" + std::to_string(i) + "\\g");
    const size_t threadsBefore = ThreadsOfProcess().size();
    const DWORD handlesBefore = ReadProcessCounters().handles;
    HWND searching = StartSearch();
    ASSERT_TRUE(searching);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(entered, kWaitMs));
    // The folder being probed is the one shown.
    const std::string shown = ItemText(searching, IDC_SEARCH_CURRENT);
    EXPECT_TRUE(shown == drive_ + "\\a1\\a2\\hold1" || shown == drive_ + "\\b1\\b2\\hold2") << shown;
    Click(searching, IDCANCEL);
    // Closed while the probe is still held: only the test releases it.
    EXPECT_TRUE(WaitForDialogGone(searching));
    EXPECT_TRUE(WaitUntil([&] { return FolderEdit() == folder_.path(); }));
    SetEvent(release);
    EXPECT_TRUE(WaitUntil([&] { return ThreadsOfProcess().size() <= threadsBefore; }))
        << ThreadsOfProcess().size() << " " << threadsBefore;
    // The other held engine was never probed, and the worker's listings and
    // its thread handle are all closed.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(entered, 0));
    EXPECT_EQ(handlesBefore, ReadProcessCounters().handles);
    CloseHandle(entered);
    CloseHandle(release);
}

TEST_F(SearchFixture, AJunctionToItsOwnParentIsNotFollowed) {
    const DWORD loop = GetFileAttributesA((drive_ + "\\loop").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, loop) << "the wrapper made no loop";
    ASSERT_NE(0u, loop & FILE_ATTRIBUTE_REPARSE_POINT);
    ASSERT_TRUE(PlaceEngine(TestEngineBuildPath(), drive_ + "\\apps\\orlix"));
    HWND searching = StartSearch();
    ASSERT_TRUE(searching);
    ASSERT_TRUE(WaitForSummary(searching, 1)) << ItemText(searching, IDC_SEARCH_CURRENT);
    HWND found = GetDlgItem(searching, IDC_SEARCH_FOUND);
    ASSERT_EQ(1, ListCount(found));
    EXPECT_EQ(drive_ + "\\apps\\orlix", ListText(found, 0, 0));
    Click(searching, IDCANCEL);
    ASSERT_TRUE(WaitForDialogGone(searching));
}
