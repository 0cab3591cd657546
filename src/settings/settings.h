// The plug-in's configuration: one process-wide record kept under
// HKEY_CURRENT_USER\Software\Kelvane\Orlix for TheBAT!, one value per field.
#pragma once

#include <string>

#include "orlix/setting_names.h"

struct Settings {
    std::string Path;  // fallback for LogPath only; never written
    std::string OrlixPath;
    std::string EnginePath;
    std::string BasePath;
    std::string LogPath;
    bool LogEnabled = false;
    bool LogEventsOnly = false;
    bool SoundInfected = false;
    bool SoundIncurable = false;
    std::string SoundFileInfected;
    std::string SoundFileIncurable;
    bool ScanByFormat = false;
    bool ShowAdvanced = false;
    bool NotifyVirus = false;
    bool NotifyError = false;
    bool ShowLogVirus = false;
    bool ShowLogError = false;
    bool CheckArchives = false;
    bool CheckPacked = false;
};

// Every text empty and every flag false until the first LoadSettings.
Settings& CurrentSettings();

void LoadSettings();
void SaveSettings();

// Library unload.
void ReleaseSettings();
