// The clamd bridge as orlix32.dll: ORLIX_InitDll binds the host's callbacks,
// EngineEntry loads the configuration (the base file clamd.vdb) and checks
// objects through clamd. No exception leaves either.
#include <windows.h>

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "base_file.h"
#include "bridge.h"
#include "engine_boundary.h"
#include "host_object.h"
#include "orlix/contract.h"

namespace {

using namespace clamdbridge;

struct EngineState {
    Bridge bridge;
    int32_t rejectedLines = 0;
    explicit EngineState(Network& network) : bridge(network) {}
};

// Checks may run on several of the mail client's threads at once; each asks
// for the name of its own find. A plain array: a thread-local with a
// destructor would keep the DLL loaded until each such thread ends.
thread_local char t_lastVirus[orlix::kVirusNameMaxChars + 1];

void KeepVirusName(const std::string& name) {
    size_t length =
        name.size() < static_cast<size_t>(orlix::kVirusNameMaxChars) ? name.size() : orlix::kVirusNameMaxChars;
    std::memcpy(t_lastVirus, name.data(), length);
    t_lastVirus[length] = 0;
}

EngineState& State() {
    // Winsock is started once and never cleaned up: WSACleanup must not run
    // inside DllMain, where static destructors would call it at unload.
    static Network* network = MakeSocketNetwork().release();
    static EngineState state(*network);
    return state;
}

void Trace(const std::string& text) {
    std::string line = "orlix32 (clamd): " + text.substr(0, 600);
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    }
    line += "\n";
    OutputDebugStringA(line.c_str());
}

// Closes the bridge's idle sessions while any is open, so that a shared
// clamd gets its connection back before its own idle limit even when no
// check comes. The thread holds a reference to this DLL, so an unload waits
// for it; it ends once no session is left.
std::mutex g_reaperLock;
bool g_reaperRunning = false;

DWORD WINAPI CloseIdleSessions(void* module) {
    for (;;) {
        std::chrono::milliseconds wait;
        {
            std::lock_guard<std::mutex> hold(g_reaperLock);
            if (!State().bridge.CloseIdleSessions(&wait)) {
                g_reaperRunning = false;
                break;
            }
        }
        Sleep(static_cast<DWORD>(wait.count()));
    }
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

void StartReaper() {
    std::lock_guard<std::mutex> hold(g_reaperLock);
    if (g_reaperRunning || State().bridge.settings().sessionIdleMs == 0) return;
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&CloseIdleSessions),
                            &self))
        return;
    HANDLE thread = CreateThread(nullptr, 0, &CloseIdleSessions, self, 0, nullptr);
    if (!thread) {
        FreeLibrary(self);
        return;
    }
    CloseHandle(thread);
    g_reaperRunning = true;
}

int32_t LoadBase(const engineboundary::HostTable& host, const char* path) {
    if (!path) return orlix::kEngineFailure;
    HostObject file(host, path);
    uint64_t size;
    if (!file.Open(&size)) return orlix::kEngineFailure;
    EngineState& state = State();
    Settings& settings = state.bridge.settings();
    size_t serversBefore = settings.servers.size();
    BaseFileParser parser(settings);
    unsigned char chunk[4096];
    for (;;) {
        int32_t got = file.Read(chunk, sizeof chunk);
        if (got < 0) return orlix::kEngineFailure;
        if (got == 0) break;
        parser.Feed(chunk, static_cast<size_t>(got));
    }
    parser.Finish();
    int32_t rejected = parser.rejected();
    state.rejectedLines += rejected;
    int32_t servers = static_cast<int32_t>(settings.servers.size() - serversBefore);
    char trace[400];
    std::snprintf(trace, sizeof trace, "%.260s: %d servers, %d lines rejected", path, servers, rejected);
    std::string text = trace;
    if (rejected) text += " (the first is line " + std::to_string(parser.firstRejected()) + ")";
    Trace(text);
    return servers;
}

int32_t ScanObject(const engineboundary::HostTable& host, int32_t mode, const char* name) {
    EngineState& state = State();
    t_lastVirus[0] = 0;
    if (!name || (mode != orlix::kScanModeCheck && mode != orlix::kScanModeCure)) return orlix::kEngineFailure;
    HostObject object(host, name);
    CheckResult result = state.bridge.Check(object);
    StartReaper();
    switch (result.verdict) {
        case Verdict::Clean:
            return orlix::ResultClean;
        case Verdict::Infected:
        case Verdict::Suspicious: {
            KeepVirusName(result.virusName);
            uint32_t flags =
                result.verdict == Verdict::Infected ? orlix::ResultInfected : orlix::ResultProbablyInfected;
            // clamd finds but cannot cure.
            if (mode == orlix::kScanModeCure) flags |= orlix::ResultIncurable;
            return static_cast<int32_t>(flags);
        }
        default:
            Trace(std::string(name).substr(0, 260) + ": not checked: " + result.detail);
            return orlix::kEngineFailure;
    }
}

void CopyLastVirusName(char* buffer) {
    if (!buffer) return;
    std::memcpy(buffer, t_lastVirus, std::strlen(t_lastVirus) + 1);
}

// The bridge's binding: the bridge itself outlives it, for the thread that
// closes idle sessions may still hold it.
class ClamdEngine : public engineboundary::Engine {
public:
    bool Bind(const orlix::CallbackSlot* table, int32_t count) override {
        EngineState& state = State();
        state.bridge.Reset();
        t_lastVirus[0] = 0;
        state.rejectedLines = 0;
        return BindHostTable(host_, table, count);
    }
    int32_t LoadBase(const char* path) override { return ::LoadBase(host_, path); }
    int32_t ScanFile(int32_t mode, const char* name) override { return ScanObject(host_, mode, name); }
    void LastVirusName(char* buffer) override { CopyLastVirusName(buffer); }
    // clamd walks archives itself: there is never one to open here.
    void Statistics(int32_t* servers, int32_t* rejected) override {
        EngineState& state = State();
        *servers = static_cast<int32_t>(state.bridge.settings().servers.size());
        *rejected = state.rejectedLines;
    }

private:
    engineboundary::HostTable host_;
};

using ClamdDoor = engineboundary::Door<ClamdEngine>;

}  // namespace

ENGINE_EXPORT void* __cdecl ORLIX_InitDll(const void* callbacks, int32_t count, const void*, int32_t) {
    return ClamdDoor::Init(callbacks, count);
}

// Servers configured and lines rejected since ORLIX_InitDll, for tools and
// tests (the reference engine's export of the same name counts records).
ENGINE_EXPORT void __cdecl ORLIX_BaseStatistics(int32_t* servers, int32_t* rejected) {
    ClamdDoor::Statistics(servers, rejected);
}
