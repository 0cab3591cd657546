#include "setup/discovery.h"

#include <windows.h>

#include "base/module.h"
#include "base/path.h"
#include "base/registry.h"
#include "win32/unique_handle.h"
#include "orlix/contract.h"
#include "engine/loader.h"
#include "resources/resource.h"
#include "setup/controls.h"
#include "setup/list_view.h"
#include "setup/sheet.h"

namespace {

// Where the engine's installers record their folder, in the order asked.
const char* const kInstallerKeys[] = {"Software\\Ambervale\\Orlix", "Software\\Pavo\\Orlix32"};
constexpr char kInstallerValue[] = "Path";

struct Candidates {
    std::string folders[2];
};

// The "Path" text of a machine-wide installer key; a missing key, a missing
// value or a value that is not text all read as empty.
std::string ReadInstallerPath(const char* subkey) {
    win::unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::string();
    return ReadRegistryText(key.get(), kInstallerValue);
}

void FillChoices(HWND dialog, const Candidates& candidates) {
    HWND list = GetDlgItem(dialog, IDC_CHOOSE_LIST);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    AddListColumn(list, 0, LoadText(IDS_SETUP_COLUMN_PATH));
    AddListColumn(list, 1, LoadText(IDS_SETUP_COLUMN_VERSION));
    for (const std::string& folder : candidates.folders) {
        int item = AddListItem(list, folder, 0);
        // A candidate without a backslash ("D:", "C:/Orlix") has no separator yet.
        int32_t version = ProbeEngine(JoinPath(folder, orlix::kEngineLibraryName));
        SetListSubItem(list, item, 1, EngineVersionText(version));
    }
    AutoSizeListColumns(list, 2);
}

INT_PTR ChooseProcBody(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        FillChoices(dialog, *reinterpret_cast<const Candidates*>(lParam));
    } else if (message == WM_COMMAND) {
        if (LOWORD(wParam) == IDOK) {
            LRESULT index =
                SendDlgItemMessageA(dialog, IDC_CHOOSE_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
            EndDialog(dialog, index);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, -1);
        }
    }
    return FALSE;
}

INT_PTR CALLBACK ChooseProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return NoThrowDialogCall([&] { return ChooseProcBody(dialog, message, wParam, lParam); });
}

}  // namespace

std::string TrimToFolder(const std::string& text) {
    size_t slash = text.find_last_of('\\');
    if (slash == std::string::npos) return text;
    return text.substr(0, slash + 1);
}

std::string ModuleFolder() {
    char name[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(PluginInstance(), name, MAX_PATH);
    if (length >= MAX_PATH) length = MAX_PATH - 1;
    return TrimToFolder(std::string(name, length));
}

std::string EngineVersionText(int32_t version) {
    std::string text =
        FormatResource(IDS_SETUP_VERSION_FORMAT, static_cast<int>(version / 100), static_cast<int>(version % 100));
    if (orlix::IsSupportedEngineVersion(version)) text += LoadText(IDS_SETUP_OK_TO_USE);
    return text;
}

std::string ChooseInstallation(HWND owner, const std::string& first, const std::string& second) {
    Candidates candidates;
    candidates.folders[0] = first;
    candidates.folders[1] = second;
    INT_PTR chosen = DialogBoxParamA(PluginInstance(), MAKEINTRESOURCEA(IDD_CHOOSE_INSTALLATION), owner, ChooseProc,
                                     reinterpret_cast<LPARAM>(&candidates));
    if (chosen == 0 || chosen == 1) return candidates.folders[chosen];
    return std::string();
}

std::string DiscoverInstallation(HWND owner) {
    int found = 0;
    std::string candidates[2];
    for (int i = 0; i < 2; ++i) {
        std::string path = ReadInstallerPath(kInstallerKeys[i]);
        if (path.empty()) continue;
        candidates[i] = TrimToFolder(path);
        ++found;
    }
    if (found == 0) return ModuleFolder();
    if (found == 1) return candidates[0].empty() ? candidates[1] : candidates[0];
    return ChooseInstallation(owner, candidates[0], candidates[1]);
}
