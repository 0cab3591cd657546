// Scratch state for tests: temporary folders, the settings key, log files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "orlix/setting_names.h"
#include "temp_dir.h"

// Makes a folder the current one; the previous one is current again on
// destruction, also when an assertion ends the test early.
class CurrentFolderScratch {
public:
    explicit CurrentFolderScratch(const std::string& folder) {
        GetCurrentDirectoryA(MAX_PATH, previous_);
        ok_ = SetCurrentDirectoryA(folder.c_str()) != FALSE;
    }
    ~CurrentFolderScratch() { SetCurrentDirectoryA(previous_); }
    CurrentFolderScratch(const CurrentFolderScratch&) = delete;
    CurrentFolderScratch& operator=(const CurrentFolderScratch&) = delete;
    bool ok() const { return ok_; }

private:
    char previous_[MAX_PATH] = "";
    bool ok_ = false;
};

void RemoveTree(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// The plug-in's settings key, emptied on construction and removed on
// destruction, so every test starts from a known registry.
class SettingsKeyScratch {
public:
    SettingsKeyScratch();
    ~SettingsKeyScratch();
    SettingsKeyScratch(const SettingsKeyScratch&) = delete;
    SettingsKeyScratch& operator=(const SettingsKeyScratch&) = delete;
    void Text(const char* name, const std::string& value, DWORD type = REG_SZ);
    void Flag(const char* name, DWORD value);
    void Raw(const char* name, DWORD type, const void* data, DWORD size);
    // The value as stored, or "<missing>"; flags read as their decimal value.
    std::string Read(const char* name, DWORD* type = nullptr);
    bool Has(const char* name);
};
void DeleteSettingsKey();
bool SettingsKeyExists();

// Report-log lines with their time stamps removed (the text after the first
// two blanks), in file order; an empty vector when the file does not exist.
std::vector<std::string> ReadLogLines(const std::string& logFolder);
// Whole lines with time stamp, without CR LF.
std::vector<std::string> ReadRawLogLines(const std::string& logFolder);
