// State and helpers shared by the pages of the setup sheet.
#pragma once

#include <windows.h>

#include <string>

#include "settings/settings.h"

// Sized for a 260-character folder and its terminator.
constexpr int kSetupFolderBufferSize = 261;
// Limit passed to GetDlgItemTextA for every text a page takes: at most 259
// characters reach the settings.
constexpr int kPageTextLimit = 260;

// The settings the pages edit: a copy of the live record taken when the sheet
// opens, which replaces the record only when the sheet is accepted.
Settings& SetupDraft();
// The installation folder as last taken from the folders page; keeps its
// contents between runs of the sheet.
char* SetupFolderBuffer();
// The sheet's own window, stored by every page procedure on every message.
HWND& SheetWindow();

// The draft's OrlixPath := the buffer's text up to its first NUL.
void TakeFolderBuffer();
// SetupFolderBuffer := text, at most 260 characters.
void SetFolderBuffer(const std::string& text);

// The wizard buttons of a page, posted to the sheet on PSN_SETACTIVE.
void PostWizardButtons(DWORD flags);
// What a page does; every handler may be null.
struct PageRole {
    DWORD wizardButtons;         // posted when the page becomes active
    void (*fill)(HWND);          // WM_INITDIALOG: the controls from SetupDraft
    void (*command)(HWND, int);  // WM_COMMAND, with the control's id
    void (*destroy)(HWND);       // WM_DESTROY
    void (*activate)(HWND);      // PSN_SETACTIVE, before the buttons
    void (*take)(HWND);          // PSN_KILLACTIVE and PSN_WIZFINISH: into SetupDraft
};

// The body of every page procedure: the role's handlers, then PSN_APPLY and
// PSN_RESET alike for every page. Answers FALSE to every message, so no page
// change, OK, Finish or Cancel is ever refused; no exception leaves it.
INT_PTR RunPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam, const PageRole& role);

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
