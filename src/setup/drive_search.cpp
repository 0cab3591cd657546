// Threads: the dialogs' state belongs to the host's thread, which runs both
// modal dialogs; the worker reaches it only by messages sent to the dialog.
#include "setup/drive_search.h"

#include <memory>

#include "base/module.h"
#include "orlix/contract.h"
#include "resources/resource.h"
#include "setup/controls.h"
#include "setup/discovery.h"
#include "setup/list_view.h"
#include "setup/search_worker.h"
#include "setup/sheet.h"

namespace {

constexpr int kFolderTextSize = 260;
constexpr int kVolumeNameSize = 255;

// The searching dialog's state, owned by the drive dialog that opens it and
// kept under the searching dialog's DWLP_USER. The result travels back
// through chosen, a text owned by the caller of the drive dialog.
struct Searching {
    DriveSet drives = 0;
    std::string* chosen = nullptr;
    int foundCount = 0;
    int firstUsableIndex = -1;
    std::unique_ptr<SearchWorker> worker;
};

Searching* SearchingOf(HWND dialog) { return reinterpret_cast<Searching*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

UINT DriveTypeName(UINT type) {
    switch (type) {
        case DRIVE_REMOVABLE:
            return IDS_SETUP_DRIVE_REMOVABLE;
        case DRIVE_FIXED:
            return IDS_SETUP_DRIVE_FIXED;
        case DRIVE_REMOTE:
            return IDS_SETUP_DRIVE_REMOTE;
        case DRIVE_CDROM:
            return IDS_SETUP_DRIVE_CDROM;
        case DRIVE_RAMDISK:
            return IDS_SETUP_DRIVE_RAMDISK;
    }
    return 0;
}

void FillDrives(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_DRIVE_LIST);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    AddListColumn(list, 0, LoadText(IDS_SETUP_COLUMN_DRIVE));
    AddListColumn(list, 1, LoadText(IDS_SETUP_COLUMN_DRIVE_TYPE));
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char root[] = {letter, ':', '\\', '\0'};
        UINT typeName = DriveTypeName(GetDriveTypeA(root));
        if (!typeName) continue;
        char volume[kVolumeNameSize + 1] = "";
        std::string label;
        if (GetVolumeInformationA(root, volume, kVolumeNameSize, nullptr, nullptr, nullptr, nullptr, 0))
            label = FormatResource(IDS_SETUP_DRIVE_LABEL, volume, letter);
        else
            label = FormatResource(IDS_SETUP_DRIVE_NO_VOLUME, letter);
        int item = AddListItem(list, label, static_cast<unsigned char>(letter));
        SetListSubItem(list, item, 1, LoadText(typeName));
    }
    AutoSizeListColumns(list, 2);
}

DriveSet CheckedDrives(HWND list) {
    DriveSet drives = 0;
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        UINT state = static_cast<UINT>(SendMessageA(list, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK));
        if ((state & LVIS_STATEIMAGEMASK) != INDEXTOSTATEIMAGEMASK(2)) continue;
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        if (item.lParam >= 'A' && item.lParam <= 'Z') drives |= 1u << (item.lParam - 64);
    }
    return drives;
}

void EnableOk(HWND dialog) { EnableWindow(GetDlgItem(dialog, IDOK), TRUE); }

void OnFound(HWND dialog, Searching& search, int32_t version, const char* folder) {
    HWND list = GetDlgItem(dialog, IDC_SEARCH_FOUND);
    int item = AddListItem(list, folder, 0);
    SetListSubItem(list, item, 1, EngineVersionText(version));
    AutoSizeListColumns(list, 2);
    if (orlix::IsSupportedEngineVersion(version) && search.firstUsableIndex == -1 && item >= 0) {
        search.firstUsableIndex = item;
        LVITEMA state = {};
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        SendMessageA(list, LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
        EnableOk(dialog);
    }
    ++search.foundCount;
}

void OnDone(HWND dialog, const Searching& search) {
    std::string summary =
        LoadText(IDS_SETUP_SEARCH_DONE) + FormatText("%d", search.foundCount) + LoadText(IDS_SETUP_LOCATIONS);
    SetDlgItemTextA(dialog, IDC_SEARCH_CURRENT, summary.c_str());
    if (SelectedListItem(GetDlgItem(dialog, IDC_SEARCH_FOUND)) != -1) EnableOk(dialog);
}

void OnSearchingCommand(HWND dialog, Searching& search, int id) {
    if (id == IDOK) {
        if (search.worker) search.worker->Stop();
        HWND list = GetDlgItem(dialog, IDC_SEARCH_FOUND);
        int item = SelectedListItem(list);
        if (item == -1) return;
        char folder[kFolderTextSize] = "";
        LVITEMA text = {};
        text.iSubItem = 0;
        text.pszText = folder;
        text.cchTextMax = kFolderTextSize;
        SendMessageA(list, LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&text));
        *search.chosen = folder;
        search.worker.reset();
        EndDialog(dialog, IDOK);
    } else if (id == IDCANCEL) {
        search.worker.reset();
        EndDialog(dialog, IDCANCEL);
    }
}

INT_PTR SearchingProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    Searching* search = SearchingOf(dialog);
    if (!search) return FALSE;
    switch (message) {
        case WM_INITDIALOG: {
            SetDlgItemTextA(dialog, IDC_SEARCH_CURRENT, LoadText(IDS_SETUP_NOT_AVAILABLE).c_str());
            HWND list = GetDlgItem(dialog, IDC_SEARCH_FOUND);
            SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
            AddListColumn(list, 0, LoadText(IDS_SETUP_COLUMN_PATH));
            AddListColumn(list, 1, LoadText(IDS_SETUP_COLUMN_VERSION));
            AutoSizeListColumns(list, 2);
            search->worker.reset(new SearchWorker(dialog, search->drives));
            break;
        }
        case WM_SEARCHFOLDER:
            SetDlgItemTextA(dialog, IDC_SEARCH_CURRENT, reinterpret_cast<const char*>(lParam));
            break;
        case WM_SEARCHFOUND:
            OnFound(dialog, *search, static_cast<int32_t>(wParam), reinterpret_cast<const char*>(lParam));
            break;
        case WM_SEARCHDONE:
            OnDone(dialog, *search);
            break;
        case WM_NOTIFY:
            if (reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(LVN_ITEMCHANGED)) EnableOk(dialog);
            break;
        case WM_COMMAND:
            OnSearchingCommand(dialog, *search, LOWORD(wParam));
            break;
        case WM_DESTROY:
            // However the dialog goes, the worker is stopped before it does.
            search->worker.reset();
            break;
    }
    return FALSE;
}

INT_PTR CALLBACK SearchingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return NoThrowDialogCall([&] { return SearchingProcBody(dialog, message, wParam, lParam); });
}

INT_PTR DriveProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        FillDrives(dialog);
    } else if (message == WM_COMMAND) {
        std::string* chosen = reinterpret_cast<std::string*>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (LOWORD(wParam) == IDOK) {
            Searching search;
            search.drives = CheckedDrives(GetDlgItem(dialog, IDC_DRIVE_LIST));
            search.chosen = chosen;
            ShowWindow(dialog, SW_HIDE);
            INT_PTR result = DialogBoxParamA(PluginInstance(), MAKEINTRESOURCEA(IDD_SEARCHING), dialog, SearchingProc,
                                             reinterpret_cast<LPARAM>(&search));
            if (result != IDOK) chosen->clear();
            EndDialog(dialog, result == IDOK ? IDOK : IDCANCEL);
        } else if (LOWORD(wParam) == IDCANCEL) {
            chosen->clear();
            EndDialog(dialog, IDCANCEL);
        }
    }
    return FALSE;
}

INT_PTR CALLBACK DriveProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return NoThrowDialogCall([&] { return DriveProcBody(dialog, message, wParam, lParam); });
}

}  // namespace

std::string FindInstallation(HWND owner) {
    std::string chosen;
    INT_PTR result = DialogBoxParamA(PluginInstance(), MAKEINTRESOURCEA(IDD_FIND_DRIVES), owner, DriveProc,
                                     reinterpret_cast<LPARAM>(&chosen));
    if (result != IDOK) return std::string();
    return chosen;
}
