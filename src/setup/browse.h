// The folder and sound-file pickers of the setup pages.
#pragma once

#include <windows.h>

#include <string>

// The folder the user picks, or current when the user cancels.
std::string BrowseForFolder(HWND owner, const std::string& current);
// The "*.wav" file the user picks, or current when the dialog is cancelled
// or fails.
std::string BrowseForSoundFile(HWND owner, const std::string& current);
