#include "resources/resource.h"
#include "settings/settings.h"
#include "setup/controls.h"
#include "setup/pages.h"
#include "setup/sheet.h"

namespace {

struct OptionBox {
    int id;
    bool Settings::*field;
};

const OptionBox kBoxes[] = {
    {IDC_NOTIFY_VIRUS, &Settings::NotifyVirus},     {IDC_NOTIFY_ERROR, &Settings::NotifyError},
    {IDC_SHOWLOG_VIRUS, &Settings::ShowLogVirus},   {IDC_SHOWLOG_ERROR, &Settings::ShowLogError},
    {IDC_CHECK_ARCHIVES, &Settings::CheckArchives}, {IDC_CHECK_PACKED, &Settings::CheckPacked},
};

void FillBoxes(HWND page) {
    Settings& s = CurrentSettings();
    for (const OptionBox& box : kBoxes) SetBox(page, box.id, s.*box.field);
}

void TakeBoxes(HWND page) {
    Settings& s = CurrentSettings();
    for (const OptionBox& box : kBoxes) s.*box.field = IsBoxChecked(page, box.id);
}

}  // namespace

static INT_PTR OptionsPageProcBody(HWND page, UINT message, WPARAM, LPARAM lParam) {
    NotePageMessage(page);
    if (message == WM_INITDIALOG) {
        FillBoxes(page);
    } else if (message == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        switch (header->code) {
            case PSN_WIZFINISH:
                // A wizard's Finish does not leave the page first.
                TakeBoxes(page);
                SetupAccepted() = true;
                break;
            case PSN_KILLACTIVE:
                TakeBoxes(page);
                break;
            case PSN_SETACTIVE:
                PostWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
                break;
        }
        HandleCommonNotify(header);
    }
    return FALSE;
}

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return NoThrowDialogCall([&] { return OptionsPageProcBody(page, message, wParam, lParam); });
}
