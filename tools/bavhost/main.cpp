// bavhost: loads a BAV anti-virus plug-in and drives it as the mail client
// does, from the command line.
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "win32/unique_handle.h"
#include "commands.h"
#include "host_windows.h"
#include "plugin_loader.h"
#include "settings_key.h"

namespace {

const char kHelp[] =
    "Usage: bavhost [options] COMMAND [arguments]\n"
    "\n"
    "Loads a BAV anti-virus plug-in (default: orlix.bav beside bavhost.exe) and\n"
    "drives it as the mail client does.\n"
    "\n"
    "Commands:\n"
    "  info                 name, version and capabilities of the plug-in\n"
    "  check FILE...        BAV_Initialize, then BAV_CheckFile for each file;\n"
    "                       one line per file: result code, meaning, verdict text\n"
    "  check --memory FILE...\n"
    "                       the same, with each file's bytes handed over as a\n"
    "                       memory block through BAV_CheckMemory\n"
    "  cure FILE...         BAV_CureFile for each file\n"
    "  setup                opens the plug-in's setup sheet over a stand-in\n"
    "                       \"TVirusCentre\" window\n"
    "  config               shows the plug-in's settings key\n"
    "  config NAME=VALUE... writes values as an installer would (flags 0 or 1,\n"
    "                       folders and sound files as text); --unset NAME removes one\n"
    "  help                 this text\n"
    "\n"
    "Options:\n"
    "  --plugin PATH        the plug-in to load\n"
    "  --show-log           print the report-log lines this run wrote\n"
    "  --progress           progress on stderr (default when stderr is a terminal)\n"
    "  --no-progress        no progress lines\n"
    "  --help               this text\n"
    "\n"
    "Exit status: 0 all clean (or the command succeeded), 1 something infected\n"
    "or suspicious was found, 2 an error (a failed check or cure, the plug-in\n"
    "or its engine could not be loaded, bad arguments). An error outranks a find.\n"
    "\n"
    "A stand-in \"TMailerForm\" window is created so that notices and the request\n"
    "to open the mail client's log window have a target.\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "bavhost: %s\nTry bavhost --help.\n", problem.c_str());
    return kExitError;
}

uint64_t FileLength(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Prints what the run appended to the report log.
void ShowLog(const std::string& path, uint64_t from) {
    std::printf("--- report log %s\n", path.c_str());
    win::unique_hfile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    if (!file) {
        std::printf("(no report log)\n");
        return;
    }
    LONG high = static_cast<LONG>(from >> 32);
    SetFilePointer(file.get(), static_cast<LONG>(from & 0xFFFFFFFF), &high, FILE_BEGIN);
    std::string text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            std::printf("%s\n", line.c_str());
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) std::printf("%s\n", line.c_str());
}

int RunConfig(const std::vector<std::string>& args) {
    if (args.empty()) {
        for (const std::string& line : DescribeSettings()) std::printf("%s\n", line.c_str());
        return kExitClean;
    }
    for (size_t i = 0; i < args.size(); ++i) {
        std::string problem;
        if (args[i] == "--unset") {
            if (++i == args.size()) return Usage("--unset needs a name");
            problem = UnsetSetting(args[i]);
        } else {
            problem = SetSetting(args[i]);
        }
        if (!problem.empty()) return Usage(problem);
    }
    return kExitClean;
}

}  // namespace

int main(int argc, char** argv) {
    std::string pluginPath = ProgramFolder() + "orlix.bav";
    bool showLog = false;
    RunOptions options;
    options.progress = _isatty(_fileno(stderr)) != 0;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        std::string option = argv[i];
        if (option == "--help") {
            std::fputs(kHelp, stdout);
            return kExitClean;
        } else if (option == "--plugin" && i + 1 < argc) {
            pluginPath = argv[++i];
        } else if (option == "--show-log") {
            showLog = true;
        } else if (option == "--progress") {
            options.progress = true;
        } else if (option == "--no-progress") {
            options.progress = false;
        } else {
            return Usage("unknown option " + option);
        }
    }
    if (i == argc) return Usage("no command given");
    std::string command = argv[i++];
    std::vector<std::string> args(argv + i, argv + argc);
    if (command == "help") {
        std::fputs(kHelp, stdout);
        return kExitClean;
    }
    if (command == "config") return RunConfig(args);
    if (command == "check" && !args.empty() && args[0] == "--memory") {
        options.memory = true;
        args.erase(args.begin());
    }
    if ((command == "check" || command == "cure") && args.empty()) return Usage(command + " needs at least one file");
    if (command != "info" && command != "check" && command != "cure" && command != "setup")
        return Usage("unknown command " + command);

    std::string logPath = ReportLogPath();
    uint64_t logStart = FileLength(logPath);
    // Shown, since the plug-in only uses a visible main window; out of the
    // way (minimised) unless the setup sheet is to appear over it.
    StandInMailer mailer;
    mailer.Create(CW_USEDEFAULT, CW_USEDEFAULT, 480, 320);
    if (command != "setup") mailer.Minimise();
    PluginApi plugin;
    std::string problem = plugin.Open(pluginPath);
    if (!problem.empty()) {
        std::fprintf(stderr, "bavhost: %s\n", problem.c_str());
        return kExitError;
    }
    if (showLog) options.mailer = &mailer;
    int exitCode = kExitClean;
    if (command == "info")
        exitCode = RunInfo(plugin);
    else if (command == "check")
        exitCode = RunCheck(plugin, args, options);
    else if (command == "cure")
        exitCode = RunCure(plugin, args, options);
    else
        exitCode = RunSetup(plugin, mailer.hwnd());
    if (showLog) {
        // A requested log window arrives about a second after the find.
        ShowLog(logPath, logStart);
        if (LogWindowRequests(mailer)) std::printf("--- the plug-in asked the mail client to open its log window\n");
    } else {
        PumpMessages(0);
    }
    std::fflush(stdout);
    return exitCode;
}
