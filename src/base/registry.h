// Reading the registry's text values.
#pragma once

#include <windows.h>

#include <string>

// A text value as stored, cut at its first NUL; a missing key or value, or a
// value of another type, reads as empty with *present false.
std::string ReadRegistryText(HKEY key, const char* name, bool* present = nullptr);
