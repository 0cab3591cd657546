#include "setup/setup.h"

#include <cstring>

#include "base/module.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "setup/controls.h"
#include "setup/pages.h"
#include "setup/sheet.h"

// Threads: the host's thread runs the sheet's modal loop and every page
// procedure.
namespace {

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

HPROPSHEETPAGE CreatePage(const PageEntry& entry, SetupContext* context) {
    PROPSHEETPAGEA page;
    std::memset(&page, 0, sizeof page);
    page.dwSize = kSheetPageSize;
    page.dwFlags = 0;
    page.hInstance = PluginInstance();
    page.pszTemplate = MAKEINTRESOURCEA(entry.templateId);
    page.pfnDlgProc = entry.procedure;
    page.lParam = reinterpret_cast<LPARAM>(context);
    return CreatePropertySheetPageA(&page);
}

}  // namespace

SetupOutcome RunSetup(HWND parent) {
    SetupContext context;
    context.draft = CurrentSettings();
    const bool firstRun = context.draft.OrlixPath.empty();

    HPROPSHEETPAGE pages[kPageCount] = {};
    const int first = firstRun ? 0 : 1;
    int count = 0;
    for (int i = first; i < kPageCount; ++i) {
        pages[count] = CreatePage(kPages[i], &context);
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

    if (!context.accepted) return SetupOutcome::Cancelled;
    CurrentSettings() = context.draft;
    SaveSettings();
    return firstRun ? SetupOutcome::AcceptedFirstRun : SetupOutcome::Accepted;
}
