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

void FillBoxes(HWND page, SetupContext& context) {
    const Settings& s = context.draft;
    for (const OptionBox& box : kBoxes) SetBox(page, box.id, s.*box.field);
}

void TakeBoxes(HWND page, SetupContext& context) {
    Settings& s = context.draft;
    for (const OptionBox& box : kBoxes) s.*box.field = IsBoxChecked(page, box.id);
}

const PageRole kRole = {PSWIZB_BACK | PSWIZB_FINISH, FillBoxes, nullptr, nullptr, nullptr, TakeBoxes};

}  // namespace

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return RunPage(page, message, wParam, lParam, kRole);
}
