// Threads: the binding is written by the host's thread only (initialise,
// unload); a search worker's probe reads its library and version (atomic).
// A fault in the bound library, on either thread, is listed by the guarded
// calls; readiness reads that list rather than being cleared by them.
#include "engine/loader.h"

#include <windows.h>

#include <atomic>

#include "base/module.h"
#include "base/path.h"
#include "win32/unique_handle.h"
#include "engine/engine_call.h"
#include "report/log.h"
#include "resources/resource.h"
#include "settings/settings.h"

namespace {

// The binding used for scanning.
struct EngineBinding {
    // Read by a probe on another thread, hence atomic.
    std::atomic<HMODULE> library{nullptr};
    std::atomic<int32_t> version{0};
    orlix::EngineEntryProc entry = nullptr;
    // The last initialisation bound a supported engine that loaded at least
    // one virus record. A fault since then is the guarded calls' to list.
    std::atomic<bool> loaded{false};
};
EngineBinding g_binding;

// A library bound on its own: for scanning it becomes the binding, for a
// probe it is released again.
struct Candidate {
    HMODULE library = nullptr;
    orlix::EngineEntryProc entry = nullptr;
    int32_t version = 0;
    bool versionRead = false;
};

// Loading, then initialising: steps shared by the binding and the probe.
// The library is kept in candidate->library even when a later step fails.
bool LoadCandidate(const std::string& path, Candidate* candidate) {
    candidate->library = LoadLibraryA(path.c_str());
    if (candidate->library) return true;
    LogError(FormatResource(IDS_CANNOT_LOAD_ENGINE, path.c_str()));
    return false;
}

bool InitialiseCandidate(const std::string& path, Candidate* candidate) {
    if (EngineLibraryFaulted(candidate->library)) {
        LogError(FormatResource(IDS_ENGINE_DISABLED, path.c_str()));
        return false;
    }
    orlix::EngineInitProc init = reinterpret_cast<orlix::EngineInitProc>(
        reinterpret_cast<void*>(GetProcAddress(candidate->library, orlix::kEngineInitExport)));
    if (!init) {
        LogError(LoadText(IDS_NO_INIT_PROC));
        return false;
    }
    bool faulted = false;
    candidate->entry = reinterpret_cast<orlix::EngineEntryProc>(CallEngineInit(candidate->library, init, &faulted));
    if (faulted) return false;
    if (!candidate->entry) {
        LogError(LoadText(IDS_NO_ENTRY_POINT));
        return false;
    }
    int32_t version = 0;
    if (!CallEngineEntry(candidate->library, candidate->entry, orlix::EngineGetVersion, 0, nullptr, &version))
        return false;
    candidate->version = version;
    candidate->versionRead = true;
    return true;
}

// Drops a library reference, unless the library faulted: its DllMain would
// run inside an engine in an unknown state.
void Release(HMODULE library) {
    if (library && !EngineLibraryFaulted(library)) FreeLibrary(library);
}

bool OfferBases(const std::string& prefix, WIN32_FIND_DATAA& entry, HANDLE search, uint64_t* total) {
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        LogAppend(FormatResource(IDS_LOADING_BASE, entry.cFileName));
        const std::string path = prefix + entry.cFileName;
        const uint32_t args[1] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(path.c_str()))};
        int32_t records = orlix::kEngineFailure;
        const bool completed =
            CallEngineEntry(g_binding.library.load(), g_binding.entry, orlix::EngineLoadBase, 1, args, &records);
        // A negative count is no number of records, whatever the engine meant.
        if (records < 0) {
            LogLine(LoadText(IDS_BASE_FAILED));
        } else {
            LogLine(FormatResource(IDS_BASE_OK, static_cast<unsigned>(records)));
            *total += static_cast<uint32_t>(records);
        }
        if (!completed) return false;
    } while (FindNextFileA(search, &entry));
    return true;
}

}  // namespace

bool ReadyEngine(BoundEngine* bound) {
    HMODULE library = g_binding.library.load();
    if (!g_binding.loaded || !g_binding.entry || EngineLibraryFaulted(library)) return false;
    if (bound) *bound = BoundEngine{library, g_binding.entry};
    return true;
}

bool LoadEngine() {
    g_binding.loaded = false;
    const bool ready =
        BindEngine(JoinPath(CurrentSettings().EnginePath, orlix::kEngineLibraryName), false) && LoadBases();
    g_binding.loaded = ready;
    return ready;
}

bool BindEngine(const std::string& path, bool probe) {
    if (probe) return ProbeEngine(path) != 0;
    // A new binding replaces the old one; the old reference is dropped after
    // the new load, so re-binding the same library never unloads it.
    Candidate candidate;
    const bool initialised = LoadCandidate(path, &candidate) && InitialiseCandidate(path, &candidate);
    HMODULE previous = g_binding.library.exchange(candidate.library);
    Release(previous);
    g_binding.loaded = false;
    g_binding.entry = initialised ? candidate.entry : nullptr;
    // Zero until the new library answered: a probe must not take an older
    // library's version for this one.
    g_binding.version = candidate.versionRead ? candidate.version : 0;
    if (!initialised) return false;
    const int32_t version = candidate.version;
    if (!orlix::IsSupportedEngineVersion(version)) {
        LogError(LoadText(IDS_VERSION_MISMATCH));
        return false;
    }
    LogLine(
        FormatResource(IDS_ENGINE_VERSION, static_cast<unsigned>(version) / 100, static_cast<unsigned>(version) % 100));
    return true;
}

bool LoadBases() {
    LogFlush();
    const std::string& folder = CurrentSettings().BasePath;
    uint64_t total = 0;
    bool completed = true;
    WIN32_FIND_DATAA entry;
    win::unique_hfind search(FindFirstFileA(JoinPath(folder, orlix::kBaseFilePattern).c_str(), &entry));
    if (search) {
        completed = OfferBases(JoinPath(folder, std::string()), entry, search.get(), &total);
        int32_t ignored;
        if (completed)
            completed = CallEngineEntry(g_binding.library.load(), g_binding.entry, orlix::EngineFinishLoad, 0, nullptr,
                                        &ignored);
        search.reset();
    }
    bool loaded = false;
    if (!completed) {
        // The fault line said it all: the engine is not used again.
    } else if (total != 0) {
        LogLine(FormatResource(IDS_BASES_TOTAL, static_cast<unsigned>(total > UINT32_MAX ? UINT32_MAX : total)));
        loaded = true;
    } else {
        LogError(LoadText(IDS_NO_BASES));
    }
    LogFlush();
    return loaded;
}

int32_t ProbeEngine(const std::string& path) {
    Candidate candidate;
    if (!LoadCandidate(path, &candidate)) return 0;
    // The library bound for scanning is never initialised a second time: its
    // version is already known.
    const int32_t boundVersion = g_binding.version.load();
    if (candidate.library == g_binding.library.load() && boundVersion != 0 &&
        !EngineLibraryFaulted(candidate.library)) {
        FreeLibrary(candidate.library);
        return boundVersion;
    }
    const bool initialised = InitialiseCandidate(path, &candidate);
    Release(candidate.library);
    return initialised ? candidate.version : 0;
}

void ReleaseEngine(bool processExiting) {
    HMODULE library = g_binding.library.exchange(nullptr);
    g_binding.entry = nullptr;
    g_binding.loaded = false;
    // At process exit the system unloads every module itself.
    if (!processExiting) Release(library);
}
