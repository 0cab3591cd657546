#include "setup/controls.h"
#include "setup/pages.h"
#include "setup/sheet.h"

static INT_PTR WelcomePageProcBody(HWND page, UINT message, WPARAM, LPARAM lParam) {
    NotePageMessage(page);
    if (message != WM_NOTIFY) return FALSE;
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header->code == static_cast<UINT>(PSN_SETACTIVE)) PostWizardButtons(PSWIZB_NEXT);
    HandleCommonNotify(header);
    return FALSE;
}

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return NoThrowDialogCall([&] { return WelcomePageProcBody(page, message, wParam, lParam); });
}
