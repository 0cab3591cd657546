// The commands of bavhost. Each answers the process exit status:
// 0 all clean (or done), 1 something was found, 2 an error.
#pragma once

#include <string>
#include <vector>

#include "host_windows.h"
#include "plugin_loader.h"

constexpr int kExitClean = 0;
constexpr int kExitFound = 1;
constexpr int kExitError = 2;

struct RunOptions {
    bool memory = false;
    bool progress = false;  // progress lines on stderr
    // Set with --show-log: after a find or an error the run waits briefly
    // for the plug-in's delayed request to open the log window.
    const StandInMailer* mailer = nullptr;
};

// WM_COMMAND 95 received by the stand-in main window: the plug-in asked
// the mail client to open its log window.
int LogWindowRequests(const StandInMailer& mailer);

int RunInfo(PluginApi& plugin);
int RunCheck(PluginApi& plugin, const std::vector<std::string>& files, const RunOptions& options);
int RunCure(PluginApi& plugin, const std::vector<std::string>& files, const RunOptions& options);
int RunSetup(PluginApi& plugin, HWND mailer);
