// Finding an engine installation from the installers' registry entries.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// A folder for OrlixPath: the one registry candidate, the user's choice
// between two (asked in a dialog owned by owner), or the plug-in's own folder.
// May be empty.
std::string DiscoverInstallation(HWND owner);
// The chosen candidate, or empty when the dialog is cancelled.
std::string ChooseInstallation(HWND owner, const std::string& first, const std::string& second);
// The text up to and including its last backslash; unchanged without one.
std::string TrimToFolder(const std::string& text);
// The plug-in file's folder, with its trailing backslash.
std::string ModuleFolder();
// "4.31 (Ok to use)", "4.26", "0.0": the version column of the setup lists.
std::string EngineVersionText(int32_t version);
