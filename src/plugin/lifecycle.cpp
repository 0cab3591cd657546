#include "plugin/lifecycle.h"

#include "base/module.h"
#include "base/trace.h"
#include "engine/loader.h"
#include "report/host_find.h"
#include "report/log.h"
#include "report/thread.h"
#include "resources/resource.h"
#include "scan/scan.h"
#include "settings/settings.h"
#include "setup/setup.h"

void OnLibraryLoad(HINSTANCE instance) {
    SetPluginInstance(instance);
    CaptureRegionalSettings();
    TraceCall("Loading Orlix Plug-In Module...");
}

void OnLibraryUnload(bool processExiting) {
    // At process exit the system has already ended the thread.
    if (!processExiting) StopPluginThreadAtUnload();
    ReleaseEngine(processExiting);
    DiscardPendingLogText();
    ReleaseSettings();
}

int32_t InitializePlugin() {
    int32_t result = BavResultFailed;
    LoadSettings();
    LogFlush();
    LogLine(FormatResource(IDS_BANNER, kPluginVersionString));
    LogLine(LoadText(IDS_BANNER_SECOND));
    LogFlush();
    const Settings& s = CurrentSettings();
    if (s.OrlixPath.empty()) return result;
    LogLine(FormatResource(IDS_INSTALL_FOLDER, s.OrlixPath.c_str()));
    LogLine(FormatResource(IDS_ENGINE_PATH, s.EnginePath.c_str()));
    LogLine(FormatResource(IDS_BASE_PATH, s.BasePath.c_str()));
    LogLine(FormatResource(IDS_LOG_PATH, s.LogPath.c_str()));
    if (LoadEngine()) result = BavResultOk;
    return result;
}

int32_t PluginInitialize() {
    TraceCall("BAV_Initialize");
    StartPluginThread();
    return InitializePlugin();
}

int32_t PluginSetup() {
    TraceCall("BAV_Setup");
    const SetupOutcome outcome = RunSetup(FindVirusCentreWindow());
    if (outcome == SetupOutcome::AcceptedFirstRun) InitializePlugin();
    return outcome == SetupOutcome::Cancelled ? BavResultFailed : BavResultOk;
}

int32_t PluginUninitialize() {
    TraceCall("BAV_Uninitialize");
    StopPluginThread();
    LogFlush();
    LogLine(LoadText(IDS_PLUGIN_NAME) + LoadText(IDS_UNLOADED));
    return BavResultOk;
}
