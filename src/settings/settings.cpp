#include "settings/settings.h"

#include <windows.h>

#include "report/trace.h"
#include "win/unique_handle.h"

namespace {

Settings g_settings;

// A text value as stored, cut at its first NUL; missing, empty or of another
// type reads as empty.
std::string ReadText(HKEY key, const char* name, bool* present = nullptr) {
    if (present) *present = false;
    if (!key) return std::string();
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
    std::string buffer(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &got) != ERROR_SUCCESS)
        return std::string();
    if (present) *present = true;
    buffer.resize(got < size ? got : size);
    return std::string(buffer.c_str());
}

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

void ReadOptionalText(HKEY key, const char* name, std::string& text) {
    bool present = false;
    std::string value = ReadText(key, name, &present);
    if (present) text = value;
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
    s.OrlixPath.clear();

    // A missing key loads like an empty one: a fresh installation must start
    // with the log, the notices and archive checking on.
    win::unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) key.reset();
    HKEY k = key.get();

    s.Path = ReadText(k, "Path");
    s.OrlixPath = ReadText(k, "OrlixPath");
    s.EnginePath = ReadText(k, "EnginePath");
    if (s.EnginePath.empty()) s.EnginePath = s.OrlixPath;
    s.BasePath = ReadText(k, "BasePath");
    if (s.BasePath.empty()) s.BasePath = s.OrlixPath;
    s.LogPath = ReadText(k, "LogPath");
    if (s.LogPath.empty()) s.LogPath = s.Path;

    s.LogEnabled = true;
    s.LogEventsOnly = false;
    s.SoundInfected = false;
    s.SoundIncurable = false;
    s.SoundFileInfected.clear();
    s.SoundFileIncurable.clear();
    s.ScanByFormat = true;
    s.ShowAdvanced = false;
    s.NotifyVirus = true;
    s.NotifyError = true;
    s.ShowLogVirus = false;
    s.ShowLogError = false;
    s.CheckArchives = true;
    s.CheckPacked = true;

    ReadFlag(k, "LogEnabled", s.LogEnabled);
    ReadFlag(k, "LogEventsOnly", s.LogEventsOnly);
    ReadFlag(k, "SoundInfected", s.SoundInfected);
    ReadFlag(k, "SoundIncurable", s.SoundIncurable);
    ReadOptionalText(k, "SoundFileInfected", s.SoundFileInfected);
    ReadOptionalText(k, "SoundFileIncurable", s.SoundFileIncurable);
    ReadFlag(k, "ScanByFormat", s.ScanByFormat);
    ReadFlag(k, "ShowAdvanced", s.ShowAdvanced);
    ReadFlag(k, "NotifyVirus", s.NotifyVirus);
    ReadFlag(k, "NotifyError", s.NotifyError);
    ReadFlag(k, "ShowLogVirus", s.ShowLogVirus);
    ReadFlag(k, "ShowLogError", s.ShowLogError);
    ReadFlag(k, "CheckArchives", s.CheckArchives);
    ReadFlag(k, "CheckPacked", s.CheckPacked);

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
    WriteText(k, "OrlixPath", s.OrlixPath);
    WriteText(k, "EnginePath", s.EnginePath);
    WriteText(k, "BasePath", s.BasePath);
    WriteText(k, "LogPath", s.LogPath);
    WriteFlag(k, "LogEnabled", s.LogEnabled);
    WriteFlag(k, "LogEventsOnly", s.LogEventsOnly);
    WriteFlag(k, "SoundInfected", s.SoundInfected);
    WriteFlag(k, "SoundIncurable", s.SoundIncurable);
    WriteText(k, "SoundFileInfected", s.SoundFileInfected);
    WriteText(k, "SoundFileIncurable", s.SoundFileIncurable);
    WriteFlag(k, "ScanByFormat", s.ScanByFormat);
    WriteFlag(k, "ShowAdvanced", s.ShowAdvanced);
    WriteFlag(k, "NotifyVirus", s.NotifyVirus);
    WriteFlag(k, "NotifyError", s.NotifyError);
    WriteFlag(k, "ShowLogVirus", s.ShowLogVirus);
    WriteFlag(k, "ShowLogError", s.ShowLogError);
    WriteFlag(k, "CheckArchives", s.CheckArchives);
    WriteFlag(k, "CheckPacked", s.CheckPacked);
}

void ReleaseSettings() { g_settings = Settings(); }
