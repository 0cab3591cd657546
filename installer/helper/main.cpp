// The installer's helper, extracted to its temporary folder and run with
// nsExec: checks the command-line options, the clamd server list and the
// folder of ClamAV's databases, asks each server for zPING and writes
// clamd.vdb and clamav.vdb.
//   orlixinst options ARG...         exit 0 with the /CLAMDB= folder (if any), or 2 with the message
//   orlixinst servers LIST           exit 0, or 2 with the message
//   orlixinst ping LIST              one "SERVER: answer" line each; 0 when all answered PONG
//   orlixinst write-vdb FILE LIST    exit 0, 1 when the file cannot be written, 2 for a bad list
//   orlixinst servers-of FILE        the servers a clamd.vdb names, as a list; 1 when it names none
//   orlixinst clamdb-folder FOLDER   exit 0 with the folder as the installer keeps it, or 2 with the message
//   orlixinst write-clamdb FILE FOLDER  exit 0, 1 when the file cannot be written, 2 for a bad folder
//   orlixinst clamdb-of FILE         the folder a clamav.vdb names; 1 when it names none
// FOLDER is the rest of the command line, verbatim; folders are read and
// written in the ANSI code page, by which the plug-in opens the engine's files.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "clamdb.h"
#include "config.h"
#include "net.h"
#include "servers.h"

namespace {

constexpr uint32_t kPingTimeoutMs = 3000;

std::string Narrow(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

std::string Ping(clamdbridge::Network& network, const std::string& entry) {
    clamdbridge::Settings parsed;
    clamdbridge::ApplyConfigLine("server " + entry, parsed);
    clamdbridge::NetStatus status = clamdbridge::NetStatus::Ok;
    auto connection = network.Connect(parsed.servers.at(0), kPingTimeoutMs, &status);
    if (!connection) return std::string("no answer (") + clamdbridge::Describe(status) + ")";
    static const char kCommand[] = "zPING";
    status = connection->SendAll(kCommand, sizeof kCommand, kPingTimeoutMs);
    if (status != clamdbridge::NetStatus::Ok) return std::string("no answer (") + clamdbridge::Describe(status) + ")";
    std::string reply;
    char buffer[256];
    while (reply.size() < 1024) {
        size_t got = 0;
        status = connection->Receive(buffer, sizeof buffer, &got, kPingTimeoutMs);
        if (status != clamdbridge::NetStatus::Ok) break;
        reply.append(buffer, got);
        size_t nul = reply.find('\0');
        if (nul != std::string::npos) return reply.substr(0, nul);
    }
    if (reply.empty()) return std::string("no answer (") + clamdbridge::Describe(status) + ")";
    return "not a clamd answer: " + reply.substr(0, 40);
}

std::wstring Widen(const std::string& text) {
    int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size - 1 : 0, L'\0');
    if (size > 1) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], size);
    return wide;
}

// False when a character has no exact ANSI form: the engine could not open it.
bool ToAnsi(const std::wstring& text, std::string* ansi) {
    ansi->clear();
    if (text.empty()) return true;
    BOOL lossy = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (size <= 1 || lossy) return false;
    ansi->assign(size - 1, '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, &(*ansi)[0], size, nullptr, nullptr);
    return true;
}

// The folder of ClamAV's databases as the engine will read it, normalised;
// false with the message for the user in *problem.
bool AnsiFolder(const std::wstring& folder, std::string* ansi, std::string* problem) {
    if (!ToAnsi(folder, ansi)) {
        *problem =
            "The folder of ClamAV's databases holds a character outside this computer's ANSI code page, by which "
            "the plug-in opens the engine's files. Choose a folder whose path has none.";
        return false;
    }
    *problem = orlixinst::ClamDbFolderProblem(*ansi);
    *ansi = orlixinst::NormalFolder(*ansi);
    return problem->empty();
}

// The command line after its first `count` arguments, as the user wrote it.
std::wstring Tail(int count) { return Widen(orlixinst::CommandLineTail(Narrow(GetCommandLineW()), count)); }

bool ReadWhole(const std::wstring& path, std::string* text) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, got);
    fclose(file);
    return true;
}

// Through a temporary file, so a failure never leaves half a configuration.
bool WriteFileWhole(const std::wstring& path, const std::string& text) {
    std::wstring temporary = path + L".new";
    FILE* file = _wfopen(temporary.c_str(), L"wb");
    if (!file) return false;
    bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    written = fclose(file) == 0 && written;
    if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileW(temporary.c_str());
    return false;
}

// Writes a base file anew from its old text (none when it is missing); exit
// code 0, or 1 with the message when it cannot be written.
int Rewrite(const std::wstring& path, const std::string& shownPath,
            const std::function<std::string(const std::string& old)>& merge) {
    std::string old;
    ReadWhole(path, &old);
    if (!WriteFileWhole(path, merge(old))) {
        std::printf("cannot write %s", shownPath.c_str());
        return 1;
    }
    return 0;
}

// Prints what a base file names (servers, a folder); exit code 1 when it names none.
int PrintNamed(const std::wstring& path, std::string (*named)(const std::string& text)) {
    std::string text;
    ReadWhole(path, &text);
    const std::string what = named(text);
    std::printf("%s", what.c_str());
    return what.empty() ? 1 : 0;
}

int Usage() {
    std::puts(
        "usage: orlixinst options ARG... | servers LIST | ping LIST | write-vdb FILE LIST | servers-of FILE |"
        " clamdb-folder FOLDER | write-clamdb FILE FOLDER | clamdb-of FILE");
    return 2;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide || count < 2) return Usage();
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
    const std::string& command = args[0];

    if (command == "options") {
        const std::vector<std::string> options(args.begin() + 1, args.end());
        std::string message = orlixinst::CheckOptions(options);
        std::string folder;
        const std::string given = orlixinst::OptionValueOf(options, "CLAMDB");
        if (message.empty() && !given.empty() && !AnsiFolder(Widen(given), &folder, &message))
            message = "/CLAMDB=: " + message;
        if (!message.empty()) {
            std::printf("%s", message.c_str());
            return 2;
        }
        std::printf("%s", folder.c_str());
        return 0;
    }
    if (command == "clamdb-folder" || command == "write-clamdb") {
        const bool write = command == "write-clamdb";
        if (write && args.size() < 2) return Usage();
        std::string folder;
        std::string problem;
        if (!AnsiFolder(Tail(write ? 3 : 2), &folder, &problem)) {
            std::printf("%s", problem.c_str());
            return 2;
        }
        if (!write) {
            std::printf("%s", folder.c_str());
            return 0;
        }
        return Rewrite(wide[2], args[1], [&](const std::string& old) { return orlixinst::MergeClamDb(old, folder); });
    }
    if (command == "clamdb-of" && args.size() == 2) return PrintNamed(wide[2], orlixinst::ClamDbOf);
    if (command == "servers-of" && args.size() == 2) return PrintNamed(wide[2], orlixinst::ServersOf);
    std::vector<std::string> servers;
    std::string bad;
    const size_t listIndex = command == "write-vdb" ? 2 : 1;
    if (args.size() != listIndex + 1) return Usage();
    if (!orlixinst::ParseServerList(args[listIndex], &servers, &bad)) {
        std::printf("\"%s\" is not a server: write HOST:PORT, for example 127.0.0.1:3310.", bad.c_str());
        return 2;
    }
    if (command == "servers") {
        for (size_t i = 0; i < servers.size(); ++i) std::printf(i ? ",%s" : "%s", servers[i].c_str());
        return 0;
    }
    if (command == "ping") {
        auto network = clamdbridge::MakeSocketNetwork();
        bool allAnswered = true;
        for (const std::string& server : servers) {
            std::string answer = Ping(*network, server);
            allAnswered = allAnswered && answer == "PONG";
            std::printf("%s: %s\n", server.c_str(), answer.c_str());
        }
        return allAnswered ? 0 : 1;
    }
    if (command == "write-vdb")
        return Rewrite(wide[2], args[1], [&](const std::string& old) { return orlixinst::MergeServers(old, servers); });
    return Usage();
}
