#include "commands.h"

#include <cstdio>
#include <cstring>

#include "win32/unique_handle.h"
#include "host_windows.h"
#include "settings_key.h"

namespace {

// The plug-in writes up to 286 bytes into the host's verdict buffer.
constexpr size_t kStatusBufferSize = 1024;

const char* Meaning(int32_t result) {
    switch (result) {
        case 0:
            return "clean";
        case 1:
            return "infected";
        case 2:
            return "suspicious";
        case -1:
            return "not supported";
        default:
            return "failed";
    }
}

// The whole file in one block, as the mail client holds a message part.
bool ReadWholeFile(const std::string& path, std::vector<char>& bytes) {
    win::unique_hfile file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    DWORD high = 0, size = GetFileSize(file.get(), &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size >= 0x40000000u) return false;
    bytes.resize(size ? size : 1);
    DWORD done = 0;
    bool ok = ReadFile(file.get(), bytes.data(), size, &done, nullptr) && done == size;
    bytes.resize(size);
    return ok;
}

void Progress(const RunOptions& options, size_t done, size_t total) {
    if (!options.progress) return;
    std::fprintf(stderr, "[%zu/%zu]\r", done, total);
    if (done == total) std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

// The plug-in posts its request about a second after the find, from its
// own thread, which ends with BAV_Uninitialize: wait for it first.
// Waits only when the settings ask for the request, so a run without it
// costs nothing; the limit leaves room for a slow machine.
void AwaitLogWindowRequest(const RunOptions& options, bool found, bool failed) {
    if (!options.mailer) return;
    if (!(found && SettingFlag(setting::kShowLogVirus)) && !(failed && SettingFlag(setting::kShowLogError))) return;
    const StandInMailer& mailer = *options.mailer;
    PumpUntil([&] { return LogWindowRequests(mailer) > 0; }, 5000);
}

int Initialize(PluginApi& plugin) {
    int32_t result = plugin.Initialize();
    if (result != 0) {
        std::printf("BAV_Initialize: %d (the engine or its bases were not loaded; see the report log)\n", result);
        return kExitError;
    }
    return kExitClean;
}

}  // namespace

int LogWindowRequests(const StandInMailer& mailer) {
    int count = 0;
    for (const ReceivedCommand& command : mailer.Commands()) {
        if (LOWORD(command.wParam) == 95) ++count;
    }
    return count;
}

int RunInfo(PluginApi& plugin) {
    auto yes = [](int32_t answer) { return answer == 0 ? "yes" : "no"; };
    std::printf("Name:      %s\n", plugin.Text(plugin.GetName).c_str());
    std::printf("Version:   %s\n", plugin.Text(plugin.GetVersion).c_str());
    std::printf("Files:     %s\n", yes(plugin.FileChecking()));
    std::printf("Memory:    %s\n", yes(plugin.MemoryChecking()));
    std::printf("Streams:   %s\n", yes(plugin.StreamChecking()));
    std::printf("Status:    %d\n", plugin.GetStatus());
    std::printf("ComNeeded: %d\n", plugin.ComNeeded());
    std::printf("ConfigNeeded: %d\n", plugin.ConfigNeeded());
    return kExitClean;
}

int RunCheck(PluginApi& plugin, const std::vector<std::string>& files, const RunOptions& options) {
    int exitCode = Initialize(plugin);
    bool found = false;
    for (size_t i = 0; i < files.size(); ++i) {
        char status[kStatusBufferSize] = "";
        int32_t result;
        if (options.memory) {
            std::vector<char> bytes;
            if (!ReadWholeFile(files[i], bytes)) {
                std::printf("%s: cannot read the file into memory\n", files[i].c_str());
                exitCode = kExitError;
                Progress(options, i + 1, files.size());
                continue;
            }
            // The plug-in reads the block through the object name it makes
            // of this address and size.
            result = plugin.CheckMemory(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(bytes.data())),
                                        static_cast<int32_t>(bytes.size()), status);
        } else {
            result = plugin.CheckFile(files[i].c_str(), status);
        }
        status[kStatusBufferSize - 1] = 0;
        std::printf("%s: %d %s - %s\n", files[i].c_str(), result, Meaning(result), status);
        std::fflush(stdout);
        if (result == 1 || result == 2) found = true;
        if (result != 0 && result != 1 && result != 2) exitCode = kExitError;
        Progress(options, i + 1, files.size());
        PumpMessages(0);
    }
    AwaitLogWindowRequest(options, found, exitCode == kExitError);
    plugin.Uninitialize();
    if (exitCode == kExitError) return kExitError;
    return found ? kExitFound : kExitClean;
}

int RunCure(PluginApi& plugin, const std::vector<std::string>& files, const RunOptions& options) {
    int exitCode = Initialize(plugin);
    for (size_t i = 0; i < files.size(); ++i) {
        // The plug-in leaves the buffer alone when the engine neither cured
        // nor failed outright; this text then shows through.
        char status[kStatusBufferSize] = "not cured";
        int32_t result = plugin.CureFile(files[i].c_str(), status);
        status[kStatusBufferSize - 1] = 0;
        std::printf("%s: %d %s - %s\n", files[i].c_str(), result, result == 0 ? "cured or clean" : "failed", status);
        std::fflush(stdout);
        if (result != 0) exitCode = kExitError;
        Progress(options, i + 1, files.size());
        PumpMessages(0);
    }
    plugin.Uninitialize();
    return exitCode;
}

int RunSetup(PluginApi& plugin, HWND mailer) {
    // The sheet takes the virus centre of the calling thread as its parent.
    HWND centre = CreateStandInVirusCentre(mailer);
    int32_t result = plugin.Setup();
    std::printf("BAV_Setup: %d (%s)\n", result, result == 0 ? "accepted" : "not accepted");
    if (centre) DestroyWindow(centre);
    return result == 0 ? kExitClean : kExitError;
}
