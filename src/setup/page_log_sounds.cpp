#include "resources/resource.h"
#include "settings/settings.h"
#include "setup/browse.h"
#include "setup/controls.h"
#include "setup/pages.h"
#include "setup/sheet.h"

namespace {

void FillPage(HWND page, SetupContext& context) {
    const Settings& s = context.draft;
    // Boxes of false fields stay as the template has them: unchecked.
    if (s.LogEnabled) SetBox(page, IDC_LOG_ENABLED, true);
    if (s.LogEventsOnly) SetBox(page, IDC_LOG_EVENTS_ONLY, true);
    if (s.SoundInfected) SetBox(page, IDC_SOUND_INFECTED, true);
    if (s.SoundIncurable) SetBox(page, IDC_SOUND_INCURABLE, true);
    SetDlgItemTextA(page, IDC_SOUND_INFECTED_FILE, s.SoundFileInfected.c_str());
    SetDlgItemTextA(page, IDC_SOUND_INCURABLE_FILE, s.SoundFileIncurable.c_str());
}

void TakePage(HWND page, SetupContext& context) {
    Settings& s = context.draft;
    s.SoundInfected = IsBoxChecked(page, IDC_SOUND_INFECTED);
    s.SoundFileInfected = PageText(page, IDC_SOUND_INFECTED_FILE);
    s.SoundIncurable = IsBoxChecked(page, IDC_SOUND_INCURABLE);
    s.SoundFileIncurable = PageText(page, IDC_SOUND_INCURABLE_FILE);
    s.LogEnabled = IsBoxChecked(page, IDC_LOG_ENABLED);
    s.LogEventsOnly = IsBoxChecked(page, IDC_LOG_EVENTS_ONLY);
}

// The start value is the setting, so Cancel shows the setting again.
void OnCommand(HWND page, SetupContext& context, int id) {
    const Settings& s = context.draft;
    if (id == IDC_SOUND_INFECTED_BROWSE) {
        std::string file = BrowseForSoundFile(page, s.SoundFileInfected);
        SetDlgItemTextA(page, IDC_SOUND_INFECTED_FILE, file.c_str());
    } else if (id == IDC_SOUND_INCURABLE_BROWSE) {
        std::string file = BrowseForSoundFile(page, s.SoundFileIncurable);
        SetDlgItemTextA(page, IDC_SOUND_INCURABLE_FILE, file.c_str());
    }
}

const PageRole kRole = {PSWIZB_BACK | PSWIZB_NEXT, FillPage, OnCommand, nullptr, nullptr, TakePage};

}  // namespace

INT_PTR CALLBACK LogSoundsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    return RunPage(page, message, wParam, lParam, kRole);
}
