// Joining a folder and a file name.
#pragma once

#include <string>

// folder + "\" (unless it is empty or already ends in "\" or "/") + name.
std::string JoinPath(const std::string& folder, const std::string& name);
