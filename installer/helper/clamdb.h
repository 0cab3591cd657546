// The folder of ClamAV's databases as the installer takes it, and the
// clamav.vdb it writes from it: one "database FOLDER" line the reference
// engine reads back exactly.
#pragma once

#include <string>

namespace orlixinst {

// Why the reference engine could not load a folder named so by a database
// line (it trims blanks around the path, and opens files by their ANSI
// names up to MAX_PATH), or why Windows has no such folder; empty when fine.
std::string ClamDbFolderProblem(const std::string& folder);

// The folder as the installer keeps it: without trailing separators, but a
// drive's root ("C:\").
std::string NormalFolder(const std::string& folder);

// The new clamav.vdb text: the old one with its first database line naming
// this folder, everything else kept as the user left it. Without an old
// text, a short explanation and the line.
std::string MergeClamDb(const std::string& oldText, const std::string& folder);

// The folder of the first database line of a clamav.vdb text, as the engine
// reads it and normalised; empty when there is none.
std::string ClamDbOf(const std::string& text);

// What follows the first `count` arguments of a Windows command line and
// the one blank after them, verbatim: a folder passed there keeps its
// blanks and a trailing backslash, which quoting would not.
std::string CommandLineTail(const std::string& commandLine, int count);

}  // namespace orlixinst
