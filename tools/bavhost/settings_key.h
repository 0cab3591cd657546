// The plug-in's settings key as an installer or a user sees it: every value
// shown, values written one by one, and where the report log goes.
#pragma once

#include <string>
#include <vector>

#include "orlix/setting_names.h"

// "Name = value" lines for every known value, "<missing>" where unset.
std::vector<std::string> DescribeSettings();
// Writes "Name=value": flags as 0/1 DWORDs, the rest as text. Empty on
// success, else the reason.
std::string SetSetting(const std::string& assignment);
std::string UnsetSetting(const std::string& name);
// A flag of the key as the plug-in reads it: a non-zero DWORD is true.
bool SettingFlag(const char* name);
// The report log's path as the plug-in works it out from the key.
std::string ReportLogPath();
