// Searching chosen drives for the engine library.
#pragma once

#include <windows.h>

#include <string>

// Runs the drive dialog and the search; the folder the user accepted, or
// empty text when either dialog is cancelled.
std::string FindInstallation(HWND owner);
