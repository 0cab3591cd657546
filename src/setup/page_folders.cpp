// Threads: the host's thread runs the page; its icon is that thread's.
#include "base/module.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "setup/browse.h"
#include "setup/controls.h"
#include "setup/discovery.h"
#include "setup/drive_search.h"
#include "setup/pages.h"
#include "setup/sheet.h"

namespace {

const int kAdvancedControls[] = {IDC_ENGINE_LABEL, IDC_BASE_LABEL,    IDC_LOG_LABEL,   IDC_ENGINE_EDIT, IDC_BASE_EDIT,
                                 IDC_LOG_EDIT,     IDC_ENGINE_BROWSE, IDC_BASE_BROWSE, IDC_LOG_BROWSE};
const int kFolderControls[] = {IDC_FOLDER_LABEL, IDC_FOLDER_EDIT, IDC_FOLDER_BROWSE, IDC_FOLDER_FIND};
const int kIconButtons[] = {IDC_ENGINE_BROWSE, IDC_BASE_BROWSE, IDC_LOG_BROWSE};

void ShowFolder(HWND page, const std::string& folder) {
    SetDlgItemTextA(page, IDC_FOLDER_EDIT, folder.substr(0, kShownFolderMaxChars).c_str());
}

// Advanced checked: the three path rows are live and the installation row is
// greyed; unchecked, the reverse. The frame keeps its state.
void ApplyEnablingRule(HWND page) {
    const bool advanced = IsBoxChecked(page, IDC_ADVANCED);
    for (int id : kAdvancedControls) EnableWindow(GetDlgItem(page, id), advanced);
    for (int id : kFolderControls) EnableWindow(GetDlgItem(page, id), !advanced);
}

void InitPage(HWND page, SetupContext& context) {
    Settings& s = context.draft;
    if (s.OrlixPath.empty()) s.OrlixPath = DiscoverInstallation(GetParent(page));
    ShowFolder(page, s.OrlixPath);

    if (!context.browseIcon)
        context.browseIcon = static_cast<HICON>(
            LoadImageA(PluginInstance(), MAKEINTRESOURCEA(IDI_BROWSE), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
    for (int id : kIconButtons)
        SendDlgItemMessageA(page, id, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(context.browseIcon));

    SetDlgItemTextA(page, IDC_ENGINE_EDIT, s.EnginePath.c_str());
    SetDlgItemTextA(page, IDC_BASE_EDIT, s.BasePath.c_str());
    SetDlgItemTextA(page, IDC_LOG_EDIT, s.LogPath.c_str());
    if (s.ShowAdvanced) {
        SetBox(page, IDC_ADVANCED, true);
        SendMessageA(page, WM_COMMAND, IDC_ADVANCED, 0);
    }
}

void BrowseInto(HWND page, int editId, const std::string& setting) {
    // The start value is the setting, not the edit: Cancel shows the setting.
    std::string folder = BrowseForFolder(page, setting);
    SetDlgItemTextA(page, editId, folder.c_str());
}

void OnCommand(HWND page, SetupContext& context, int id) {
    Settings& s = context.draft;
    switch (id) {
        case IDC_FOLDER_BROWSE:
            BrowseInto(page, IDC_FOLDER_EDIT, s.OrlixPath);
            break;
        case IDC_FOLDER_FIND: {
            std::string found = FindInstallation(page);
            if (!found.empty()) s.OrlixPath = found;
            ShowFolder(page, s.OrlixPath);
            break;
        }
        case IDC_ADVANCED:
            ApplyEnablingRule(page);
            break;
        case IDC_ENGINE_BROWSE:
            BrowseInto(page, IDC_ENGINE_EDIT, s.EnginePath);
            break;
        case IDC_BASE_BROWSE:
            BrowseInto(page, IDC_BASE_EDIT, s.BasePath);
            break;
        case IDC_LOG_BROWSE:
            BrowseInto(page, IDC_LOG_EDIT, s.LogPath);
            break;
    }
}

void TakePage(HWND page, SetupContext& context) {
    Settings& s = context.draft;
    s.OrlixPath = PageText(page, IDC_FOLDER_EDIT);
    s.ShowAdvanced = IsBoxChecked(page, IDC_ADVANCED);
    // Taken whether or not the rows are enabled.
    s.EnginePath = PageText(page, IDC_ENGINE_EDIT);
    s.BasePath = PageText(page, IDC_BASE_EDIT);
    s.LogPath = PageText(page, IDC_LOG_EDIT);
}

// No installation folder yet (the discovery at opening gave nothing or was
// cancelled, or the page was left with an empty folder): ask again. An empty
// edit shows the answer too, or taking the page would replace the chosen
// folder with the empty text; a folder the user typed stays.
void Activate(HWND page, SetupContext& context) {
    Settings& s = context.draft;
    if (!s.OrlixPath.empty()) return;
    s.OrlixPath = DiscoverInstallation(GetParent(page));
    if (!s.OrlixPath.empty() && GetWindowTextLengthA(GetDlgItem(page, IDC_FOLDER_EDIT)) == 0)
        ShowFolder(page, s.OrlixPath);
}

// The buttons go with the page; the icon would otherwise stay behind once
// per opening of the sheet.
void ReleaseIcon(HWND page, SetupContext& context) {
    if (!context.browseIcon) return;
    for (int id : kIconButtons) SendDlgItemMessageA(page, id, BM_SETIMAGE, IMAGE_ICON, 0);
    DestroyIcon(context.browseIcon);
    context.browseIcon = nullptr;
}

const PageRole kRole = {PSWIZB_BACK | PSWIZB_NEXT, InitPage, OnCommand, ReleaseIcon, Activate, TakePage};

}  // namespace

INT_PTR CALLBACK FoldersPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return RunPage(page, message, wParam, lParam, kRole);
}
