#include "setup/browse.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstring>

#include "base/module.h"
#include "base/trace.h"
#include "resources/resource.h"

namespace {

constexpr int kDisplayNameSize = 261;
constexpr int kTitleSize = 64;
constexpr int kFileBufferSize = 260;
// The open-file record in its classic size.
const DWORD kOpenFileNameSize = OPENFILENAME_SIZE_VERSION_400A;

// OK is offered only on folders of the file system.
int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM) {
    // Nothing here allocates, so nothing can throw back into the system.
    if (message == BFFM_SELCHANGED) {
        char path[MAX_PATH] = "";
        const bool real = SHGetPathFromIDListA(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path) && path[0] != '\0';
        SendMessageA(browser, BFFM_ENABLEOK, 0, real ? 1 : 0);
    }
    return 0;
}

}  // namespace

std::string BrowseForFolder(HWND owner, const std::string& current) {
    TraceCall("BrowseForFolder");
    std::string result = current;
    char displayName[kDisplayNameSize] = {};
    char title[kTitleSize] = "";
    lstrcpynA(title, LoadText(IDS_SETUP_SELECT_FOLDER).c_str(), kTitleSize);

    BROWSEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = 0;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&info);
    if (chosen) {
        char path[MAX_PATH] = "";
        if (SHGetPathFromIDListA(chosen, path)) result = path;
        CoTaskMemFree(chosen);
    }
    return result;
}

std::string BrowseForSoundFile(HWND owner, const std::string& current) {
    std::string result = current;
    // One pair, "Sound files" and "*.wav", ended by a double NUL.
    std::string filter = LoadText(IDS_SETUP_SOUND_FILES);
    filter += '\0';
    filter += LoadText(IDS_SETUP_SOUND_PATTERN);
    filter += '\0';
    filter += '\0';
    const std::string extension = LoadText(IDS_SETUP_SOUND_EXTENSION);
    char file[kFileBufferSize] = "";
    char initialDir[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, initialDir, MAX_PATH);

    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = kOpenFileNameSize;
    dialog.hwndOwner = owner;
    dialog.hInstance = PluginInstance();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 0;
    dialog.lpstrFile = file;
    dialog.nMaxFile = kFileBufferSize;
    dialog.lpstrInitialDir = initialDir;
    dialog.Flags = OFN_HIDEREADONLY;
    // "wav", not the pattern: a typed name without extension gets ".wav".
    dialog.lpstrDefExt = extension.c_str();
    if (GetOpenFileNameA(&dialog)) result = file;
    return result;
}
