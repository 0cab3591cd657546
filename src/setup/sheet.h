// What the pages of the setup sheet share: one context per run of the sheet,
// and the page procedure's common body.
#pragma once

#include <windows.h>

#include <string>

#include "settings/settings.h"

// Limit passed to GetDlgItemTextA for every text a page takes: at most 259
// characters reach the settings.
constexpr int kPageTextLimit = 260;
// The installation folder shown in its edit: at most 260 characters.
constexpr int kShownFolderMaxChars = 260;

// One run of the sheet. RunSetup owns it and hands it to every page through
// the page record's lParam; a page finds it again under DWLP_USER.
struct SetupContext {
    // The settings the pages edit: a copy of the live record taken when the
    // sheet opens, which replaces the record only when the sheet is accepted.
    // Its OrlixPath is the installation folder as the folders page last took
    // or found it.
    Settings draft;
    bool accepted = false;
    // The folders page's icon for its three small browse buttons.
    HICON browseIcon = nullptr;
};

// What a page does; every handler may be null.
struct PageRole {
    DWORD wizardButtons;                        // posted when the page becomes active
    void (*fill)(HWND, SetupContext&);          // WM_INITDIALOG: the controls from the draft
    void (*command)(HWND, SetupContext&, int);  // WM_COMMAND, with the control's id
    void (*destroy)(HWND, SetupContext&);       // WM_DESTROY
    void (*activate)(HWND, SetupContext&);      // PSN_SETACTIVE, before the buttons
    void (*take)(HWND, SetupContext&);          // PSN_KILLACTIVE and PSN_WIZFINISH: into the draft
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
