#include "bavhost/host_process.h"

#include <thread>

#include "common/plugin_api.h"
#include "win/unique_handle.h"

std::string Quote(const std::string& argument) { return "\"" + argument + "\""; }

HostRun RunHost(const std::string& arguments, const std::string& folder,
                const std::function<void(DWORD)>& whileRunning) {
    HostRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string commandLine = Quote(ExecutableFolder() + "bavhost.exe") + " " + arguments;
    BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return run;
    }
    // Drain the pipe on a thread so a talkative child never blocks.
    std::string collected;
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) collected.append(buffer, got);
    });
    for (int waited = 0; WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT; waited += 100) {
        if (waited >= 60000) {
            TerminateProcess(process.hProcess, 0xDEAD);
            break;
        }
        if (whileRunning) whileRunning(process.dwProcessId);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    reader.join();
    CloseHandle(readEnd);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (char c : collected) {
        if (c != '\r') run.output += c;
    }
    return run;
}
