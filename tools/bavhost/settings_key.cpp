#include "settings_key.h"

#include <windows.h>

#include <cstring>

#include "win32/unique_handle.h"

namespace {

struct ValueInfo {
    const char* name;
    bool flag;
};

const ValueInfo kValues[] = {
    {setting::kPath, false},
    {setting::kOrlixPath, false},
    {setting::kEnginePath, false},
    {setting::kBasePath, false},
    {setting::kLogPath, false},
    {setting::kLogEnabled, true},
    {setting::kLogEventsOnly, true},
    {setting::kSoundInfected, true},
    {setting::kSoundIncurable, true},
    {setting::kSoundFileInfected, false},
    {setting::kSoundFileIncurable, false},
    {setting::kScanByFormat, true},
    {setting::kShowAdvanced, true},
    {setting::kNotifyVirus, true},
    {setting::kNotifyError, true},
    {setting::kShowLogVirus, true},
    {setting::kShowLogError, true},
    {setting::kCheckArchives, true},
    {setting::kCheckPacked, true},
};

const ValueInfo* Find(const std::string& name) {
    for (const ValueInfo& v : kValues) {
        if (_stricmp(v.name, name.c_str()) == 0) return &v;
    }
    return nullptr;
}

win::unique_hkey OpenKey(REGSAM access, bool create) {
    win::unique_hkey key;
    LONG status =
        create ? RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, access, nullptr, key.put(), nullptr)
               : RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, access, key.put());
    if (status != ERROR_SUCCESS) key.release();
    return key;
}

// The value as text ("<missing>" when absent).
std::string Read(HKEY key, const char* name, DWORD* typeOut = nullptr) {
    char data[1024] = {};
    DWORD type = 0, size = sizeof data - 1;
    if (!key || RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return "<missing>";
    if (typeOut) *typeOut = type;
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD value;
        std::memcpy(&value, data, sizeof value);
        return std::to_string(value);
    }
    data[sizeof data - 1] = 0;
    return std::string(data);
}

std::string Text(HKEY key, const char* name) {
    DWORD type = 0;
    std::string value = Read(key, name, &type);
    return value == "<missing>" || (type != REG_SZ && type != REG_EXPAND_SZ) ? std::string() : value;
}

}  // namespace

std::vector<std::string> DescribeSettings() {
    win::unique_hkey key = OpenKey(KEY_READ, false);
    std::vector<std::string> lines;
    lines.push_back(std::string("HKEY_CURRENT_USER\\") + kSettingsKey + (key.get() ? "" : " (key missing)"));
    for (const ValueInfo& v : kValues) lines.push_back(std::string("  ") + v.name + " = " + Read(key.get(), v.name));
    return lines;
}

std::string SetSetting(const std::string& assignment) {
    size_t equals = assignment.find('=');
    if (equals == std::string::npos) return "expected NAME=VALUE, got \"" + assignment + "\"";
    std::string name = assignment.substr(0, equals), value = assignment.substr(equals + 1);
    const ValueInfo* info = Find(name);
    if (!info) return "unknown setting \"" + name + "\"";
    win::unique_hkey key = OpenKey(KEY_SET_VALUE, true);
    if (!key.get()) return "cannot open the settings key";
    LONG status;
    if (info->flag) {
        if (value != "0" && value != "1") return std::string(info->name) + " is a flag: give 0 or 1";
        DWORD word = value == "1" ? 1 : 0;
        status = RegSetValueExA(key.get(), info->name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&word), sizeof word);
    } else {
        status = RegSetValueExA(key.get(), info->name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
    }
    return status == ERROR_SUCCESS ? std::string() : "cannot write " + name;
}

std::string UnsetSetting(const std::string& name) {
    const ValueInfo* info = Find(name);
    if (!info) return "unknown setting \"" + name + "\"";
    win::unique_hkey key = OpenKey(KEY_SET_VALUE, false);
    if (key.get()) RegDeleteValueA(key.get(), info->name);
    return std::string();
}

bool SettingFlag(const char* name) {
    win::unique_hkey key = OpenKey(KEY_READ, false);
    DWORD type = 0;
    std::string value = Read(key.get(), name, &type);
    return type == REG_DWORD && value != "0" && value != "<missing>";
}

std::string ReportLogPath() {
    win::unique_hkey key = OpenKey(KEY_READ, false);
    // Without the advanced settings every folder follows OrlixPath.
    std::string folder = Text(key.get(), setting::kOrlixPath);
    if (Read(key.get(), setting::kShowAdvanced) == "1") {
        folder = Text(key.get(), setting::kLogPath);
        if (folder.empty()) folder = Text(key.get(), setting::kPath);
    }
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder + kLogFileName;
}
