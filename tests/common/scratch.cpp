#include "common/scratch.h"

namespace {
const char* const kKey = kSettingsKey;

void DeleteKeyTree(HKEY root, const std::string& sub) {
    HKEY key;
    if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char name[256];
        while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS) DeleteKeyTree(key, name);
        RegCloseKey(key);
    }
    RegDeleteKeyA(root, sub.c_str());
}
}  // namespace

TempDir::TempDir() {
    char base[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        char name[MAX_PATH];
        wsprintfA(name, "%sorxt%lu_%ld_%lu", base, GetCurrentProcessId(), InterlockedIncrement(&counter),
                  GetTickCount());
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            break;
        }
    }
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void DeleteSettingsKey() { DeleteKeyTree(HKEY_CURRENT_USER, kKey); }

bool SettingsKeyExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

SettingsKeyScratch::SettingsKeyScratch() { DeleteSettingsKey(); }
SettingsKeyScratch::~SettingsKeyScratch() { DeleteSettingsKey(); }

void SettingsKeyScratch::Raw(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    if (name) RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SettingsKeyScratch::Text(const char* name, const std::string& value, DWORD type) {
    Raw(name, type, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void SettingsKeyScratch::Flag(const char* name, DWORD value) { Raw(name, REG_DWORD, &value, sizeof value); }

std::string SettingsKeyScratch::Read(const char* name, DWORD* type) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
    BYTE data[2048] = {};
    DWORD size = sizeof data - 1;
    DWORD kind = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &kind, data, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return "<missing>";
    if (type) *type = kind;
    if (kind == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD*>(data));
    return std::string(reinterpret_cast<char*>(data));
}

bool SettingsKeyScratch::Has(const char* name) { return Read(name) != "<missing>"; }

std::vector<std::string> ReadRawLogLines(const std::string& logFolder) {
    std::vector<std::string> lines;
    std::string text = ReadFileBytes(logFolder + "\\orxbat!.log");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> ReadLogLines(const std::string& logFolder) {
    std::vector<std::string> lines;
    for (const std::string& raw : ReadRawLogLines(logFolder)) {
        size_t gap = raw.find("  ");
        lines.push_back(gap == std::string::npos ? raw : raw.substr(gap + 2));
    }
    return lines;
}
