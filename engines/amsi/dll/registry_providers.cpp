#include "registry_providers.h"

#include <windows.h>

namespace amsiengine {
namespace {

constexpr char kProvidersKey[] = "SOFTWARE\\Microsoft\\AMSI\\Providers";
constexpr REGSAM kRead = KEY_READ | KEY_WOW64_32KEY;

// One open registry key, closed when it goes.
class RegistryKey {
public:
    RegistryKey(HKEY parent, const std::string& path) {
        if (RegOpenKeyExA(parent, path.c_str(), 0, kRead, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

    // The key's default value as text, environment strings expanded; empty
    // when it has none.
    std::string DefaultText() const {
        char value[2048];
        DWORD type = 0, size = sizeof value - 1;
        if (RegQueryValueExA(key_, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::string();
        value[size] = 0;  // a stored value need not end in NUL
        std::string text(value);
        if (type == REG_EXPAND_SZ) {
            char expanded[2048];
            const DWORD length = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof expanded);
            if (length == 0 || length > sizeof expanded) return std::string();
            text = expanded;
        }
        return text;
    }

private:
    HKEY key_ = nullptr;
};

std::string Unquoted(std::string path) {
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') path = path.substr(1, path.size() - 2);
    return path;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool RegistryProviders::List(std::vector<Provider>& providers, std::string& why) {
    providers.clear();
    if (!amsi_.available()) {
        why = amsi_.why();
        return false;
    }
    RegistryKey list(HKEY_LOCAL_MACHINE, kProvidersKey);
    if (!list) {
        why = std::string("no HKLM\\") + kProvidersKey + " key (32-bit view): no provider registered";
        return false;
    }
    for (DWORD index = 0;; ++index) {
        char clsid[256];
        DWORD length = sizeof clsid;
        const LONG status = RegEnumKeyExA(list.get(), index, clsid, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;  // a name longer than a CLSID is none
        Provider provider;
        provider.clsid = std::string(clsid, length);
        RegistryKey classKey(HKEY_CLASSES_ROOT, "CLSID\\" + provider.clsid);
        RegistryKey server(HKEY_CLASSES_ROOT, "CLSID\\" + provider.clsid + "\\InprocServer32");
        if (!classKey || !server) {
            trace_.Line("provider " + provider.clsid + " skipped: no CLSID\\...\\InprocServer32 in the 32-bit view");
            continue;
        }
        provider.name = classKey.DefaultText();
        provider.path = Unquoted(server.DefaultText());
        if (provider.path.empty() || !FileExists(provider.path)) {
            trace_.Line("provider " + provider.clsid + " skipped: its server file \"" + provider.path +
                        "\" does not exist");
            continue;
        }
        providers.push_back(provider);
    }
    return true;
}

}  // namespace amsiengine
