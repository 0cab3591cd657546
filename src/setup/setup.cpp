#include "setup/setup.h"

#include <cstring>

#include "base/module.h"
#include "base/trace.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "setup/controls.h"
#include "setup/pages.h"
#include "setup/sheet.h"

// Threads: all of it belongs to the host's thread, which runs the sheet's
// modal loop and every page procedure.
namespace {

bool g_setupAccepted = false;
Settings g_draft;
char g_setupFolderBuffer[kSetupFolderBufferSize] = "";
HWND g_sheetWindow = nullptr;

// The header and page records are handed over in their extended sizes: the
// header with its watermark fields, the page with its header titles.
// PROPSHEETHEADERA_V2_SIZE, spelt out: mingw-w64's macro does not expand.
const UINT kSheetHeaderSize = CCSIZEOF_STRUCT(PROPSHEETHEADERA, hbmHeader);
const UINT kSheetPageSize = PROPSHEETPAGEA_V2_SIZE;

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

Settings& SetupDraft() { return g_draft; }
char* SetupFolderBuffer() { return g_setupFolderBuffer; }
HWND& SheetWindow() { return g_sheetWindow; }

void TakeFolderBuffer() {
    g_draft.OrlixPath.assign(g_setupFolderBuffer, strnlen(g_setupFolderBuffer, kSetupFolderBufferSize));
}

void SetFolderBuffer(const std::string& text) { lstrcpynA(g_setupFolderBuffer, text.c_str(), kSetupFolderBufferSize); }

void PostWizardButtons(DWORD flags) { PostMessageA(g_sheetWindow, PSM_SETWIZBUTTONS, 0, flags); }

namespace {
void HandlePageNotify(HWND page, const NMHDR* header, const PageRole& role) {
    switch (header->code) {
        case PSN_WIZFINISH:
            // A wizard's Finish does not leave the page first.
            if (role.take) role.take(page);
            g_setupAccepted = true;
            break;
        case PSN_KILLACTIVE:
            if (role.take) role.take(page);
            break;
        case PSN_SETACTIVE:
            if (role.activate) role.activate(page);
            PostWizardButtons(role.wizardButtons);
            break;
        case PSN_APPLY:
            TraceCall("PSN_APPLY");
            TakeFolderBuffer();
            g_setupAccepted = true;
            break;
        case PSN_RESET:
            TraceCall("PSN_RESET");
            g_setupAccepted = false;
            break;
    }
}

INT_PTR RunPageBody(HWND page, UINT message, WPARAM wParam, LPARAM lParam, const PageRole& role) {
    g_sheetWindow = GetParent(page);
    switch (message) {
        case WM_INITDIALOG:
            if (role.fill) role.fill(page);
            break;
        case WM_COMMAND:
            if (role.command) role.command(page, LOWORD(wParam));
            break;
        case WM_DESTROY:
            if (role.destroy) role.destroy(page);
            break;
        case WM_NOTIFY:
            HandlePageNotify(page, reinterpret_cast<const NMHDR*>(lParam), role);
            break;
    }
    return FALSE;
}
}  // namespace

INT_PTR RunPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam, const PageRole& role) {
    return NoThrowDialogCall([&] { return RunPageBody(page, message, wParam, lParam, role); });
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

SetupOutcome RunSetup(HWND parent) {
    g_setupAccepted = false;
    g_draft = CurrentSettings();
    const bool firstRun = g_draft.OrlixPath.empty();

    HPROPSHEETPAGE pages[kPageCount] = {};
    const int first = firstRun ? 0 : 1;
    int count = 0;
    for (int i = first; i < kPageCount; ++i) {
        pages[count] = CreatePage(kPages[i]);
        if (!pages[count]) {
            // A page that cannot be made means no sheet; the ones made so far
            // are not owned by any sheet yet.
            for (int j = 0; j < count; ++j) DestroyPropertySheetPage(pages[j]);
            return SetupOutcome::Cancelled;
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

    if (!g_setupAccepted) return SetupOutcome::Cancelled;
    TakeFolderBuffer();
    CurrentSettings() = g_draft;
    SaveSettings();
    return firstRun ? SetupOutcome::AcceptedFirstRun : SetupOutcome::Accepted;
}
