// The AMSI engine as orlix32.dll: ORLIX_InitDll binds a new engine, with the
// system's amsi.dll and its registered providers, to the host's callbacks;
// its entry point dispatches every operation. No exception leaves.
#include <windows.h>

#include <cstdint>
#include <string>

#include "amsi_engine.h"
#include "engine_boundary.h"
#include "registry_providers.h"
#include "windows_amsi.h"

namespace {

using namespace amsiengine;

class DebuggerTrace : public TraceSink {
public:
    void Line(const std::string& text) override {
        std::string line = "orlix32 (amsi): " + text.substr(0, 600);
        for (char& c : line) {
            if (static_cast<unsigned char>(c) < ' ') c = '?';
        }
        line += "\n";
        engineboundary::TraceLine(line.c_str());
    }
};

// What the engine object uses on Windows, made before it and gone after it.
struct WindowsParts {
    DebuggerTrace debuggerTrace;
    WindowsAmsi systemAmsi;
    RegistryProviders registryProviders{systemAmsi, debuggerTrace};
};

class AmsiDllEngine : private WindowsParts, public AmsiEngine {
public:
    AmsiDllEngine() : AmsiEngine(systemAmsi, registryProviders, debuggerTrace) {}
};

using AmsiDoor = engineboundary::Door<AmsiDllEngine>;

}  // namespace

ENGINE_EXPORT void* __cdecl ORLIX_InitDll(const void* callbacks, int32_t count, const void*, int32_t) {
    return AmsiDoor::Init(callbacks, count);
}

// Providers found and lines rejected since ORLIX_InitDll, for tools and tests.
ENGINE_EXPORT void __cdecl ORLIX_BaseStatistics(int32_t* providers, int32_t* rejected) {
    AmsiDoor::Statistics(providers, rejected);
}

// The same two counts in the detailed record.
ENGINE_EXPORT void __cdecl ORLIX_BaseStatisticsEx(orlix::BaseStatisticsEx* statistics) {
    AmsiDoor::StatisticsEx(statistics);
}
