#include "common/child.h"

#include <map>

namespace {
std::map<std::string, ChildScenario>& Scenarios() {
    static std::map<std::string, ChildScenario> scenarios;
    return scenarios;
}

std::string Quote(const std::string& arg) {
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string ReadRemoteString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
    std::string text(info.nDebugStringLength, '\0');
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, info.lpDebugStringData, &text[0], text.size(), &got)) return std::string();
    text.resize(got);
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}
}  // namespace

ChildScenarioRegistrar::ChildScenarioRegistrar(const char* name, ChildScenario scenario) {
    Scenarios()[name] = scenario;
}

std::vector<std::string> CapturedRun::Traces() const {
    static const std::string prefix = "Orlix for TheBAT!: ";
    std::vector<std::string> lines;
    for (const std::string& s : debugStrings) {
        if (s.compare(0, prefix.size(), prefix) != 0) continue;
        std::string line = s.substr(prefix.size());
        if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.resize(line.size() - 2);
        lines.push_back(line);
    }
    return lines;
}

CapturedRun RunChildUnderDebugger(const std::string& scenario, const std::vector<std::string>& args, DWORD timeoutMs) {
    CapturedRun run;
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = Quote(self) + " --child " + Quote(scenario);
    for (const std::string& a : args) command += " " + Quote(a);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string mutableCommand = command;
    if (!CreateProcessA(nullptr, &mutableCommand[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr,
                        &startup, &process))
        return run;
    run.started = true;

    const DWORD deadline = GetTickCount() + timeoutMs;
    bool done = false;
    while (!done) {
        DEBUG_EVENT event = {};
        DWORD now = GetTickCount();
        if (static_cast<int32_t>(deadline - now) <= 0) {
            TerminateProcess(process.hProcess, 0xdead);
        }
        if (!WaitForDebugEvent(&event, 1000)) continue;
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case OUTPUT_DEBUG_STRING_EVENT:
                run.debugStrings.push_back(ReadRemoteString(process.hProcess, event.u.DebugString));
                break;
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
                break;
            case EXCEPTION_DEBUG_EVENT:
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    status = DBG_EXCEPTION_NOT_HANDLED;
                    if (!event.u.Exception.dwFirstChance) {
                        char text[64];
                        wsprintfA(text, "%08lX", event.u.Exception.ExceptionRecord.ExceptionCode);
                        run.exceptions.push_back(text);
                    }
                }
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                run.exitCode = event.u.ExitProcess.dwExitCode;
                done = true;
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

bool RunChildScenarioIfAsked(int argc, char** argv, int* exitCode) {
    if (argc < 3 || std::string(argv[1]) != "--child") return false;
    auto it = Scenarios().find(argv[2]);
    if (it == Scenarios().end()) {
        *exitCode = 97;
        return true;
    }
    std::vector<std::string> args(argv + 3, argv + argc);
    *exitCode = it->second(args);
    return true;
}
