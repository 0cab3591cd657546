// The base files the installer writes (clamd.vdb, clamav.vdb), line by line:
// it owns some lines and keeps every other one as the user left it.
#pragma once

#include <functional>
#include <string>

namespace orlixinst {

// Calls take with each line of text without its '\n' (a CR stays) and
// whether it had one (the last line may not), until take answers false.
void ForEachLine(const std::string& text, const std::function<bool(const std::string& line, bool ended)>& take);

// The text with replacement where the first line that owned() accepts (it
// is given each line with its line end)
// stood, or appended when none did. Later owned lines are dropped when
// dropLater is set, else kept. A kept line without a line end gets CR LF.
std::string ReplaceLines(const std::string& text, const std::function<bool(const std::string& line)>& owned,
                         const std::string& replacement, bool dropLater);

}  // namespace orlixinst
