// The engine's configuration: the text of its base file, amsi.vdb. One
// setting a line ("max-object 64M", "members off", ...), "#" starts a
// comment. docs/AMSI_ENGINE.md describes the format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace amsiengine {

struct Settings {
    // Larger objects and members are not sent and fail their check.
    uint64_t maxObject = 64ull << 20;
    // One check (an object and every member the walk unpacks from it) ends
    // by then; what is not answered by then fails.
    uint32_t checkMilliseconds = 60000;
    // Members the walk unpacks are sent too; off: only whole objects, and
    // archives are not walked.
    bool members = true;
    // Providers that must be registered, each a "{CLSID}" or a registered
    // name; without one of them the engine loads no records.
    std::vector<std::string> requiredProviders;
};

// Applies one line (without its line end). Blank and comment lines change
// nothing and are fine; a malformed line changes nothing and answers false.
bool ApplyConfigLine(const std::string& line, Settings& settings);

}  // namespace amsiengine
