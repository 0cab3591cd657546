#include "bavhost/host_process.h"

#include <thread>

#include "base/unique_handle.h"
#include "common/plugin_api.h"

std::string Quote(const std::string& argument) { return "\"" + argument + "\""; }

HostRun RunHost(const std::string& arguments, const std::string& folder,
                const std::function<void(DWORD)>& whileRunning) {
    HostRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    win::unique_handle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return run;
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION process = {};
    std::string commandLine = Quote(ExecutableFolder() + "bavhost.exe") + " " + arguments;
    BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    writeEnd.reset();
    if (!started) return run;
    win::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
    // Drain the pipe on a thread so a talkative child never blocks.
    std::string collected;
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) collected.append(buffer, got);
    });
    for (int waited = 0; WaitForSingleObject(processHandle.get(), 100) == WAIT_TIMEOUT; waited += 100) {
        if (waited >= 60000) {
            TerminateProcess(processHandle.get(), 0xDEAD);
            break;
        }
        if (whileRunning) whileRunning(process.dwProcessId);
    }
    GetExitCodeProcess(processHandle.get(), &run.exitCode);
    reader.join();
    for (char c : collected) {
        if (c != '\r') run.output += c;
    }
    return run;
}
