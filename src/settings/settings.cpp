// Threads: the record belongs to the host's thread, which loads, edits (by
// accepting the setup sheet) and saves it. Another thread only reads the log
// fields while the host's thread waits in a modal setup dialog (a search
// worker's probe writing an error line), when nothing changes the record.
#include "settings/settings.h"

#include <windows.h>

#include "base/registry.h"
#include "base/trace.h"
#include "win32/unique_handle.h"

namespace {

Settings g_settings;

// Every stored field once, with its registry value and its default for a
// fresh installation (the log, the notices and archive checking on).
struct FlagField {
    const char* name;
    bool Settings::*field;
    bool fallback;
};
const FlagField kFlags[] = {
    {setting::kLogEnabled, &Settings::LogEnabled, true},
    {setting::kLogEventsOnly, &Settings::LogEventsOnly, false},
    {setting::kSoundInfected, &Settings::SoundInfected, false},
    {setting::kSoundIncurable, &Settings::SoundIncurable, false},
    {setting::kScanByFormat, &Settings::ScanByFormat, true},
    {setting::kShowAdvanced, &Settings::ShowAdvanced, false},
    {setting::kNotifyVirus, &Settings::NotifyVirus, true},
    {setting::kNotifyError, &Settings::NotifyError, true},
    {setting::kShowLogVirus, &Settings::ShowLogVirus, false},
    {setting::kShowLogError, &Settings::ShowLogError, false},
    {setting::kCheckArchives, &Settings::CheckArchives, true},
    {setting::kCheckPacked, &Settings::CheckPacked, true},
};

struct TextField {
    const char* name;
    std::string Settings::*field;
};
// Missing texts read as empty; an empty folder falls back (see LoadSettings).
const TextField kTexts[] = {
    {setting::kOrlixPath, &Settings::OrlixPath},
    {setting::kEnginePath, &Settings::EnginePath},
    {setting::kBasePath, &Settings::BasePath},
    {setting::kLogPath, &Settings::LogPath},
    {setting::kSoundFileInfected, &Settings::SoundFileInfected},
    {setting::kSoundFileIncurable, &Settings::SoundFileIncurable},
};

// A flag keeps its default unless a four-byte REG_DWORD of that name exists.
void ReadFlag(HKEY key, const char* name, bool& flag) {
    if (!key) return;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) return;
    if (type != REG_DWORD || size != sizeof value) return;
    flag = value != 0;
}

void WriteText(HKEY key, const char* name, const std::string& text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void WriteFlag(HKEY key, const char* name, bool flag) {
    DWORD value = flag ? 1 : 0;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace

Settings& CurrentSettings() { return g_settings; }

void LoadSettings() {
    Settings& s = g_settings;
    // A missing key loads like an empty one.
    win::unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) key.reset();
    HKEY k = key.get();

    s.Path = ReadRegistryText(k, setting::kPath);
    for (const TextField& text : kTexts) s.*text.field = ReadRegistryText(k, text.name);
    if (s.EnginePath.empty()) s.EnginePath = s.OrlixPath;
    if (s.BasePath.empty()) s.BasePath = s.OrlixPath;
    if (s.LogPath.empty()) s.LogPath = s.Path;

    for (const FlagField& flag : kFlags) {
        s.*flag.field = flag.fallback;
        ReadFlag(k, flag.name, s.*flag.field);
    }

    if (!s.ShowAdvanced) {
        s.EnginePath = s.OrlixPath;
        s.BasePath = s.OrlixPath;
        s.LogPath = s.OrlixPath;
    }
}

void SaveSettings() {
    TraceCall("SaveSettings");
    win::unique_hkey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
        return;
    const Settings& s = g_settings;
    HKEY k = key.get();
    // Path is read as a fallback only and never written.
    for (const TextField& text : kTexts) WriteText(k, text.name, s.*text.field);
    for (const FlagField& flag : kFlags) WriteFlag(k, flag.name, s.*flag.field);
}

void ReleaseSettings() { g_settings = Settings(); }
