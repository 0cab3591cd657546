// Threads: the host's thread alone plays the sounds.
#include "report/sound.h"

#include <windows.h>
// after windows.h, whose types it uses
#include <mmsystem.h>

namespace {
// An asynchronous sound plays on a thread of the sound library. If the
// mail client unloaded the plug-in meanwhile, the library (loaded for the
// plug-in alone) would be unmapped under that thread; keep it for the
// life of the process once a sound was started.
void PinSoundLibrary() {
    static bool pinned = false;
    if (pinned) return;
    HMODULE module = nullptr;
    pinned = GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "winmm.dll", &module) != FALSE;
}
}  // namespace

void PlayAlertSound(const std::string& soundFile) {
    PinSoundLibrary();
    PlaySoundA(nullptr, nullptr, SND_PURGE);
    // No SND_NODEFAULT: a missing file still gives the user an audible alert.
    PlaySoundA(soundFile.c_str(), nullptr, SND_FILENAME | SND_ASYNC);
}
