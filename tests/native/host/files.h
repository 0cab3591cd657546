// Scratch files for native tests.
#pragma once

#include <string>

#include "../../common/temp_dir.h"

bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
// Files in folder whose names start with prefix.
int CountFiles(const std::string& folder, const std::string& prefix);
