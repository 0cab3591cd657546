// Scenarios that run in a child process started by the test under a
// debugger, so the plug-in's trace is read as a debugger reads it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

typedef int (*ChildScenario)(const std::vector<std::string>& args);

struct ChildScenarioRegistrar {
    ChildScenarioRegistrar(const char* name, ChildScenario scenario);
};

// Defines a scenario run by "<test>.exe --child NAME args...".
#define CHILD_SCENARIO(name)                                                                \
    static int ChildScenario_##name([[maybe_unused]] const std::vector<std::string>& args); \
    static ChildScenarioRegistrar registrar_##name(#name, ChildScenario_##name);            \
    static int ChildScenario_##name([[maybe_unused]] const std::vector<std::string>& args)

struct CapturedRun {
    bool started = false;
    DWORD exitCode = 0xdeadbeef;
    std::vector<std::string> debugStrings;  // every OUTPUT_DEBUG_STRING, as sent
    std::vector<std::string> exceptions;    // unhandled second-chance exceptions
    // The trace lines ("Orlix for TheBAT!: " removed, CR LF removed), in order.
    std::vector<std::string> Traces() const;
};

// Runs a scenario of this executable in a child process under the debugger
// and collects what it sends to the debugger output. timeoutMs bounds the run.
CapturedRun RunChildUnderDebugger(const std::string& scenario, const std::vector<std::string>& args = {},
                                  DWORD timeoutMs = 60000);

// Called by main: runs a scenario when the process was started as a child.
bool RunChildScenarioIfAsked(int argc, char** argv, int* exitCode);
