#include "setup/setup.h"

#include <cstddef>
#include <cstring>

#include "plugin/lifecycle.h"
#include "plugin/module.h"
#include "report/trace.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "setup/controls.h"
#include "setup/pages.h"
#include "setup/sheet.h"

namespace {

bool g_setupAccepted = false;
char g_setupFolderBuffer[kSetupFolderBufferSize] = "";
HWND g_sheetWindow = nullptr;

// The header and page records are handed over in their extended sizes.
constexpr UINT kSheetHeaderSize = 52;
constexpr UINT kSheetPageSize = offsetof(PROPSHEETPAGEA, pszHeaderSubTitle) + sizeof(LPCSTR);
static_assert(kSheetPageSize == 48, "page record with header titles");
static_assert(sizeof(PROPSHEETHEADERA) >= kSheetHeaderSize, "header record with watermark fields");

struct PageEntry {
    WORD templateId;
    DLGPROC procedure;
};

const PageEntry kPages[] = {
    {IDD_PAGE_WELCOME, WelcomePageProc},
    {IDD_PAGE_FOLDERS, FoldersPageProc},
    {IDD_PAGE_LOG_SOUNDS, LogSoundsPageProc},
    {IDD_PAGE_OPTIONS, OptionsPageProc},
};
constexpr int kPageCount = sizeof kPages / sizeof kPages[0];

HPROPSHEETPAGE CreatePage(const PageEntry& entry) {
    PROPSHEETPAGEA page;
    std::memset(&page, 0, sizeof page);
    page.dwSize = kSheetPageSize;
    page.dwFlags = 0;
    page.hInstance = PluginInstance();
    page.pszTemplate = MAKEINTRESOURCEA(entry.templateId);
    page.pfnDlgProc = entry.procedure;
    return CreatePropertySheetPageA(&page);
}

}  // namespace

bool& SetupAccepted() { return g_setupAccepted; }
char* SetupFolderBuffer() { return g_setupFolderBuffer; }
HWND& SheetWindow() { return g_sheetWindow; }

void TakeFolderBuffer() {
    CurrentSettings().OrlixPath.assign(g_setupFolderBuffer, strnlen(g_setupFolderBuffer, kSetupFolderBufferSize));
}

void SetFolderBuffer(const std::string& text) { lstrcpynA(g_setupFolderBuffer, text.c_str(), kSetupFolderBufferSize); }

void NotePageMessage(HWND page) { g_sheetWindow = GetParent(page); }

void PostWizardButtons(DWORD flags) { PostMessageA(g_sheetWindow, PSM_SETWIZBUTTONS, 0, flags); }

void HandleCommonNotify(const NMHDR* header) {
    if (header->code == static_cast<UINT>(PSN_APPLY)) {
        TraceCall("PSN_APPLY");
        TakeFolderBuffer();
        g_setupAccepted = true;
    } else if (header->code == static_cast<UINT>(PSN_RESET)) {
        TraceCall("PSN_RESET");
        g_setupAccepted = false;
    }
}

bool IsBoxChecked(HWND page, int id) { return SendDlgItemMessageA(page, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetBox(HWND page, int id, bool checked) {
    SendDlgItemMessageA(page, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string PageText(HWND page, int id) {
    char text[kPageTextLimit] = "";
    GetDlgItemTextA(page, id, text, kPageTextLimit);
    return text;
}

bool RunSetup(HWND parent) {
    g_setupAccepted = false;
    const bool firstRun = CurrentSettings().OrlixPath.empty();

    HPROPSHEETPAGE pages[kPageCount] = {};
    const int first = firstRun ? 0 : 1;
    int count = 0;
    for (int i = first; i < kPageCount; ++i) {
        pages[count] = CreatePage(kPages[i]);
        if (!pages[count]) {
            // A page that cannot be made means no sheet; the ones made so far
            // are not owned by any sheet yet.
            for (int j = 0; j < count; ++j) DestroyPropertySheetPage(pages[j]);
            return false;
        }
        ++count;
    }

    const std::string caption = LoadText(IDS_PLUGIN_NAME);
    PROPSHEETHEADERA header;
    std::memset(&header, 0, sizeof header);
    header.dwSize = kSheetHeaderSize;
    header.dwFlags = firstRun ? PSH_WIZARD : PSH_NOAPPLYNOW;
    header.hwndParent = parent;
    header.hInstance = PluginInstance();
    header.pszCaption = caption.c_str();
    header.nPages = count;
    header.nStartPage = 0;
    header.phpage = pages;
    PropertySheetA(&header);
    g_sheetWindow = nullptr;

    if (g_setupAccepted) {
        TakeFolderBuffer();
        SaveSettings();
        if (firstRun) InitializePlugin();
    }
    return g_setupAccepted;
}
