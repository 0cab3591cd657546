#include "config.h"

#include <cctype>
#include <cstdlib>

#include "config_words.h"

namespace clamdbridge {
namespace {

using engineboundary::Lower;
using engineboundary::ParseDuration;
using engineboundary::SplitNumber;
using engineboundary::Trim;

constexpr uint64_t kMaxObjectLimit = 0xFFFFFFFFull;  // the host's lengths are 32-bit
constexpr uint32_t kMinChunk = 1024;
constexpr uint32_t kMaxChunk = 8u << 20;

// Bytes, or with K or M (binary multiples, as clamd.conf writes them).
bool ParseSize(const std::string& text, uint64_t& bytes) {
    uint64_t number;
    std::string unit;
    if (!SplitNumber(text, number, unit)) return false;
    uint64_t factor = unit.empty() ? 1 : unit == "k" ? 1024 : unit == "m" ? 1024 * 1024 : 0;
    if (factor == 0 || number > kMaxObjectLimit / factor) return false;
    bytes = number * factor;
    return true;
}

bool ParseServer(const std::string& text, Server& server) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return false;  // an IPv6 address needs its brackets
    }
    for (char c : host) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' && c != '_') return false;
    }
    uint64_t port;
    std::string rest;
    if (!SplitNumber(text.substr(colon + 1), port, rest) || !rest.empty() || port == 0 || port > 65535) return false;
    server.host = host;
    server.port = static_cast<uint16_t>(port);
    return true;
}

}  // namespace

bool ApplyConfigLine(const std::string& rawLine, Settings& settings) {
    std::string line = rawLine;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    line = Trim(line);
    if (line.empty()) return true;
    size_t space = 0;
    while (space < line.size() && !std::isspace(static_cast<unsigned char>(line[space]))) ++space;
    std::string key = Lower(line.substr(0, space));
    std::string value = Trim(line.substr(space));
    if (value.empty() || value.find_first_of(" \t") != std::string::npos) return false;

    if (key == "server") {
        Server server;
        if (!ParseServer(value, server)) return false;
        settings.servers.push_back(server);
        return true;
    }
    if (key == "connect-timeout") return ParseDuration(value, settings.connectTimeoutMs);
    if (key == "reply-timeout") return ParseDuration(value, settings.replyTimeoutMs);
    if (key == "down-time") return ParseDuration(value, settings.downTimeMs);
    if (key == "session-idle") {
        if (Lower(value) != "off") return ParseDuration(value, settings.sessionIdleMs);
        settings.sessionIdleMs = 0;
        return true;
    }
    if (key == "balance") {
        std::string mode = Lower(value);
        if (mode != "order" && mode != "spread") return false;
        settings.spread = mode == "spread";
        return true;
    }
    if (key == "max-object") {
        uint64_t bytes;
        if (!ParseSize(value, bytes) || bytes == 0) return false;
        settings.maxObject = bytes;
        return true;
    }
    if (key == "chunk") {
        uint64_t bytes;
        if (!ParseSize(value, bytes) || bytes < kMinChunk || bytes > kMaxChunk) return false;
        settings.chunk = static_cast<uint32_t>(bytes);
        return true;
    }
    return false;
}

std::string Describe(const Server& server) {
    std::string host = server.host.find(':') != std::string::npos ? "[" + server.host + "]" : server.host;
    return host + ":" + std::to_string(server.port);
}

}  // namespace clamdbridge
