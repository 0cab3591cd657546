#include "clamdb.h"

#include <cstring>

#include "vdb_lines.h"

namespace orlixinst {
namespace {

// CreateFileA's limit, its terminator included.
constexpr size_t kMaxPath = 260;
// The longest name the engine opens in a database folder ("bytecode.cvd").
constexpr size_t kLongestDatabaseName = 12;
constexpr char kKeyword[] = "database";

const char kNewFileHead[] =
    "# ClamAV's signature databases for the reference engine, written by the installer.\r\n"
    "# A database line names a folder (its main, daily and bytecode .cvd or .cld and\r\n"
    "# its local.* databases are loaded) or one database file. Everything after\r\n"
    "# \"database \" is the path: no comment may follow it on the line.\r\n";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The path of a database line as the engine takes it; false for other lines.
bool DatabasePath(const std::string& line, std::string* path) {
    const size_t length = sizeof kKeyword - 1;
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line.compare(first, length, kKeyword) != 0 || line.size() <= first + length ||
        !IsBlank(line[first + length]))
        return false;
    const size_t from = line.find_first_not_of(" \t", first + length);
    const size_t to = line.find_last_not_of(" \t\r");
    if (from == std::string::npos || to < from) return false;
    *path = line.substr(from, to + 1 - from);
    return true;
}

// The engine takes a path whose last name has a known database extension
// for a file; a separator after it keeps any dotted name a folder.
std::string LinePath(const std::string& folder) {
    if (IsSeparator(folder.back())) return folder;
    const size_t slash = folder.find_last_of("/\\");
    const size_t dot = folder.rfind('.');
    const bool dotted = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return dotted ? folder + "\\" : folder;
}

}  // namespace

std::string NormalFolder(const std::string& folder) {
    size_t end = folder.size();
    while (end > 0 && IsSeparator(folder[end - 1])) --end;
    // "C:\" stays a root; "C:" alone would be the drive's current folder.
    if (end == 2 && folder[1] == ':' && folder.size() > 2) end = 3;
    return folder.substr(0, end);
}

std::string ClamDbFolderProblem(const std::string& folder) {
    if (folder.empty()) return "Enter the folder of ClamAV's databases.";
    if (IsBlank(folder.front()) || IsBlank(folder.back()))
        return "The folder of ClamAV's databases must not start or end with a space: the engine would not read "
               "them back.";
    for (size_t i = 0; i < folder.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(folder[i]);
        if (c < 0x20 || std::strchr("\"<>|?*", c) || (c == ':' && i != 1))
            return "The folder of ClamAV's databases holds a character no Windows folder name can hold.";
    }
    const bool drive = folder.size() > 2 && folder[1] == ':' && IsSeparator(folder[2]) &&
                       ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z'));
    const bool share = folder.size() > 2 && IsSeparator(folder[0]) && IsSeparator(folder[1]) && !IsSeparator(folder[2]);
    if (!drive && !share)
        return "The folder of ClamAV's databases must be a full path, such as C:\\Program Files\\ClamAV\\database.";
    const std::string path = LinePath(NormalFolder(folder));
    const size_t longest = path.size() + (IsSeparator(path.back()) ? 0 : 1) + kLongestDatabaseName;
    if (longest >= kMaxPath)
        return "The folder of ClamAV's databases is too long: the engine opens files of at most " +
               std::to_string(kMaxPath - 1) + " characters.";
    return std::string();
}

std::string MergeClamDb(const std::string& oldText, const std::string& folder) {
    const std::string line = std::string(kKeyword) + " " + LinePath(NormalFolder(folder)) + "\r\n";
    if (oldText.empty()) return kNewFileHead + line;
    std::string path;
    return ReplaceLines(
        oldText, [&](const std::string& text) { return DatabasePath(text, &path); }, line, false);
}

std::string ClamDbOf(const std::string& text) {
    std::string folder;
    ForEachLine(text, [&](const std::string& line, bool) {
        std::string path;
        if (!DatabasePath(line, &path)) return true;
        folder = NormalFolder(path);
        return false;
    });
    return folder;
}

std::string CommandLineTail(const std::string& commandLine, int count) {
    size_t i = 0;
    for (int argument = 0; argument < count; ++argument) {
        while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
        bool quoted = false;
        while (i < commandLine.size() && (quoted || !IsBlank(commandLine[i]))) {
            if (commandLine[i] == '"') quoted = !quoted;
            ++i;
        }
    }
    if (i < commandLine.size()) ++i;
    return commandLine.substr(i);
}

}  // namespace orlixinst
