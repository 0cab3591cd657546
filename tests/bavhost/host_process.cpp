#include "bavhost/host_process.h"

#include "win32/unique_handle.h"
#include "common/scratch.h"
#include "plugin_loader.h"

std::string Quote(const std::string& argument) { return "\"" + argument + "\""; }

// The output goes to a file, not a pipe: the first Winsock use in a Wine
// session may start background services that inherit the child's handles,
// and a pipe would then never end.
HostRun RunHost(const std::string& arguments, const std::string& folder,
                const std::function<void(DWORD)>& whileRunning) {
    HostRun run;
    char temp[MAX_PATH] = "", outputFile[MAX_PATH] = "";
    if (!GetTempPathA(MAX_PATH, temp) || !GetTempFileNameA(temp, "bvh", 0, outputFile)) return run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    win::unique_hfile output(CreateFileA(outputFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                         CREATE_ALWAYS, 0, nullptr));
    if (!output) return run;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION process = {};
    std::string commandLine = Quote(ProgramFolder() + "bavhost.exe") + " " + arguments;
    BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    output.reset();
    if (started) {
        win::unique_handle processHandle(process.hProcess), threadHandle(process.hThread);
        for (int waited = 0; WaitForSingleObject(processHandle.get(), 100) == WAIT_TIMEOUT; waited += 100) {
            if (waited >= 60000) {
                TerminateProcess(processHandle.get(), 0xDEAD);
                WaitForSingleObject(processHandle.get(), 5000);
                break;
            }
            if (whileRunning) whileRunning(process.dwProcessId);
        }
        GetExitCodeProcess(processHandle.get(), &run.exitCode);
        for (char c : ReadFileBytes(outputFile)) {
            if (c != '\r') run.output += c;
        }
    }
    DeleteFileA(outputFile);
    return run;
}
