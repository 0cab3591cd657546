// Threads: every page procedure runs on the host's thread, in the sheet's
// modal loop.
#include "setup/sheet.h"

#include "base/trace.h"
#include "setup/controls.h"

namespace {

SetupContext* ContextOf(HWND page) { return reinterpret_cast<SetupContext*>(GetWindowLongPtrA(page, DWLP_USER)); }

void HandlePageNotify(HWND page, SetupContext& context, const NMHDR* header, const PageRole& role) {
    switch (header->code) {
        case PSN_WIZFINISH:
            // A wizard's Finish does not leave the page first.
            if (role.take) role.take(page, context);
            context.accepted = true;
            break;
        case PSN_KILLACTIVE:
            if (role.take) role.take(page, context);
            break;
        case PSN_SETACTIVE:
            if (role.activate) role.activate(page, context);
            PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, role.wizardButtons);
            break;
        case PSN_APPLY:
            TraceCall("PSN_APPLY");
            context.accepted = true;
            break;
        case PSN_RESET:
            TraceCall("PSN_RESET");
            context.accepted = false;
            break;
    }
}

INT_PTR RunPageBody(HWND page, UINT message, WPARAM wParam, LPARAM lParam, const PageRole& role) {
    if (message == WM_INITDIALOG) {
        const PROPSHEETPAGEA* record = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        SetWindowLongPtrA(page, DWLP_USER, record->lParam);
    }
    // Messages before WM_INITDIALOG (the font, for one) have no context yet.
    SetupContext* context = ContextOf(page);
    if (!context) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            if (role.fill) role.fill(page, *context);
            break;
        case WM_COMMAND:
            if (role.command) role.command(page, *context, LOWORD(wParam));
            break;
        case WM_DESTROY:
            if (role.destroy) role.destroy(page, *context);
            break;
        case WM_NOTIFY:
            HandlePageNotify(page, *context, reinterpret_cast<const NMHDR*>(lParam), role);
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
