// The alert sounds: a new alert always cuts off the one before.
#include <windows.h>
// after windows.h, whose types it uses
#include <mmsystem.h>

#include "report/notice.h"

void PlayAlertSound(const std::string& soundFile) {
    PlaySoundA(nullptr, nullptr, SND_PURGE);
    // No SND_NODEFAULT: a missing file still gives the user an audible alert.
    PlaySoundA(soundFile.c_str(), nullptr, SND_FILENAME | SND_ASYNC);
}
