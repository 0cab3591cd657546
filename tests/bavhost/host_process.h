// Runs bavhost.exe (beside the test) as a child process and collects what
// it prints.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // stdout and stderr, CR removed
};

// while_running is called every 100 ms with the child's process id until
// it ends; the child is killed after 60 s.
HostRun RunHost(const std::string& arguments, const std::string& folder = std::string(),
                const std::function<void(DWORD)>& whileRunning = nullptr);

// Quotes one argument for the command line.
std::string Quote(const std::string& argument);
