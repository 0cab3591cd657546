// State and helpers shared by the pages of the setup sheet.
#pragma once

#include <windows.h>

#include <string>

// Sized for a 260-character folder and its terminator.
constexpr int kSetupFolderBufferSize = 261;
// Limit passed to GetDlgItemTextA for every text a page takes: at most 259
// characters reach the settings.
constexpr int kPageTextLimit = 260;

bool& SetupAccepted();
// The installation folder as last taken from the folders page; keeps its
// contents between runs of the sheet.
char* SetupFolderBuffer();
// The sheet's own window, stored by every page procedure on every message.
HWND& SheetWindow();

// OrlixPath := the buffer's text up to its first NUL.
void TakeFolderBuffer();
// SetupFolderBuffer := text, at most 260 characters.
void SetFolderBuffer(const std::string& text);

// Every page procedure starts with this.
void NotePageMessage(HWND page);
// The wizard buttons of a page, posted to the sheet on PSN_SETACTIVE.
void PostWizardButtons(DWORD flags);
// PSN_APPLY and PSN_RESET, handled alike by every page after its own work.
void HandleCommonNotify(const NMHDR* header);

bool IsBoxChecked(HWND page, int id);
void SetBox(HWND page, int id, bool checked);
// The control's text, at most 259 characters.
std::string PageText(HWND page, int id);

// Page and dialog procedures are called back by the system: no exception may
// leave them (an allocation failing inside is taken as "not handled").
template <typename Body>
INT_PTR NoThrowDialogCall(Body body) {
    try {
        return body();
    } catch (...) {
        return FALSE;
    }
}
