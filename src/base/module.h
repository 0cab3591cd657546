// The plug-in module itself: its instance handle and its string resources.
#pragma once

#include <windows.h>

#include <string>

// The module whose resources the plug-in uses. Set at library load; until
// then (unit tests linking the code directly) it is the process's own image.
HINSTANCE PluginInstance();
void SetPluginInstance(HINSTANCE instance);

// A string resource of the plug-in, empty when it does not exist.
std::string LoadText(UINT id);

// printf-style formatting into a string of any length.
std::string FormatText(const char* format, ...);

// A string resource used as a printf format.
std::string FormatResource(UINT id, ...);
