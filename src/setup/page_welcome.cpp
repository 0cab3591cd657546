#include "setup/controls.h"
#include "setup/pages.h"
#include "setup/sheet.h"

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    NotePageMessage(page);
    if (message != WM_NOTIFY) return FALSE;
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->code == static_cast<UINT>(PSN_SETACTIVE)) PostWizardButtons(PSWIZB_NEXT);
    HandleCommonNotify(header);
    return FALSE;
}
