#include "servers.h"

#include <cctype>

#include "clamdb.h"
#include "config.h"
#include "default_clamd_vdb.h"
#include "vdb_lines.h"

namespace orlixinst {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsServerLine(const std::string& line) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    std::string keyword = Lower(line.substr(i, 6));
    return keyword == "server" && (line.size() == i + 6 || line[i + 6] == ' ' || line[i + 6] == '\t');
}

// "/NAME=value" with NAME compared without case; false for other options.
bool OptionValue(const std::string& option, const char* name, std::string* value) {
    std::string prefix = std::string("/") + name + "=";
    if (option.size() < prefix.size() || Lower(option.substr(0, prefix.size())) != Lower(prefix)) return false;
    *value = option.substr(prefix.size());
    return true;
}

}  // namespace

bool ParseServerList(const std::string& list, std::vector<std::string>* servers, std::string* bad) {
    servers->clear();
    size_t i = 0;
    while (i < list.size()) {
        size_t end = list.find_first_of(",; \t", i);
        if (end == std::string::npos) end = list.size();
        std::string entry = list.substr(i, end - i);
        i = end + 1;
        if (entry.empty()) continue;
        clamdbridge::Settings parsed;
        if (!clamdbridge::ApplyConfigLine("server " + entry, parsed) || parsed.servers.size() != 1) {
            *bad = entry;
            return false;
        }
        servers->push_back(entry);
    }
    if (servers->empty()) {
        *bad = list;
        return false;
    }
    return true;
}

std::string MergeServers(const std::string& oldText, const std::vector<std::string>& servers) {
    if (oldText.empty()) return MergeServers(kDefaultClamdVdb, servers);
    std::string serverLines;
    for (const std::string& server : servers) serverLines += "server " + server + "\r\n";
    return ReplaceLines(oldText, IsServerLine, serverLines, true);
}

std::string ServersOf(const std::string& text) {
    std::string list;
    ForEachLine(text, [&](const std::string& line, bool) {
        clamdbridge::Settings parsed;
        if (!IsServerLine(line) || !clamdbridge::ApplyConfigLine(line, parsed) || parsed.servers.size() != 1)
            return true;
        if (!list.empty()) list += ",";
        list += clamdbridge::Describe(parsed.servers[0]);
        return true;
    });
    return list;
}

std::string CheckOptions(const std::vector<std::string>& options) {
    std::string engine;
    bool serversGiven = false;
    bool clamDbGiven = false;
    for (const std::string& option : options) {
        std::string value;
        std::string upper = Lower(option);
        if (upper == "/s" || upper == "/ncrc") continue;
        if (OptionValue(option, "ENGINE", &value)) {
            engine = Lower(value);
            if (engine != "reference" && engine != "clamd" && engine != "clamav-db")
                return "/ENGINE= takes reference, clamav-db or clamd, not \"" + value + "\".";
        } else if (OptionValue(option, "SERVERS", &value)) {
            std::vector<std::string> servers;
            std::string bad;
            if (!ParseServerList(value, &servers, &bad))
                return "/SERVERS= takes HOST:PORT entries separated by commas; \"" + bad + "\" is not one.";
            serversGiven = true;
        } else if (OptionValue(option, "CLAMDB", &value)) {
            std::string problem = ClamDbFolderProblem(value);
            if (!problem.empty()) return "/CLAMDB=: " + problem;
            clamDbGiven = true;
        } else if (OptionValue(option, "D", &value)) {
            return "/D= must come last and without quotes: /D=C:\\My Folder";
        } else {
            return "Unknown option \"" + option +
                   "\". Options: /S /D=folder /ENGINE=reference|clamav-db|clamd /CLAMDB=folder /SERVERS=host:port,...";
        }
    }
    if (serversGiven && clamDbGiven) return "/SERVERS= and /CLAMDB= exclude each other.";
    if (serversGiven && !engine.empty() && engine != "clamd") return "/SERVERS= goes with /ENGINE=clamd only.";
    if (clamDbGiven && !engine.empty() && engine != "clamav-db") return "/CLAMDB= goes with /ENGINE=clamav-db only.";
    return std::string();
}

std::string OptionValueOf(const std::vector<std::string>& options, const char* name) {
    std::string value;
    for (const std::string& option : options)
        if (OptionValue(option, name, &value)) break;
    return value;
}

}  // namespace orlixinst
