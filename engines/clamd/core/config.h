// The bridge's configuration: the text of its base file, clamd.vdb. One
// setting a line ("server HOST:PORT", "connect-timeout 2s", ...), "#" starts
// a comment. docs/CLAMD_BRIDGE.md describes the format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace clamdbridge {

struct Server {
    std::string host;  // a name, an IPv4 address, or an IPv6 address without brackets
    uint16_t port = 0;
};

struct Settings {
    std::vector<Server> servers;  // tried in this order
    uint32_t connectTimeoutMs = 2000;
    // Longest wait for a connected server: to take the next bytes, or for its
    // reply after the last. Longer than clamd's default scan time limit.
    uint32_t replyTimeoutMs = 150000;
    // How long a server that refused, stalled or broke off is left alone.
    uint32_t downTimeMs = 60000;
    uint64_t maxObject = 25ull << 20;  // the stream limit of Debian's clamd.conf
    uint32_t chunk = 64u << 10;
    // A connection kept per server (an IDSESSION) is closed after this long
    // unused, before clamd ends it itself (its shortest default idle limit
    // is 30 s); 0: one connection per object.
    uint32_t sessionIdleMs = 20000;
    // Each check starts at the server after the one the last check started
    // at, instead of at the first.
    bool spread = false;
};

// Applies one line (without its line end) to the settings. Blank and comment
// lines change nothing and are fine. A malformed line (unknown keyword, bad
// value) changes nothing and answers false.
bool ApplyConfigLine(const std::string& line, Settings& settings);

// "HOST:PORT" or "[IPV6]:PORT" as it is written in the file, for messages.
std::string Describe(const Server& server);

}  // namespace clamdbridge
