#include "reply.h"

namespace clamdbridge {
namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::string(prefix).size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool PrintableName(const std::string& name) {
    if (name.empty()) return false;
    for (unsigned char c : name) {
        if (c <= ' ' || c >= 0x7F) return false;
    }
    return true;
}

}  // namespace

Reply ParseReply(const std::string& raw) {
    Reply reply;
    std::string text = raw;
    // clamd ends some replies with a line feed when they are not NUL-terminated.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (EndsWith(text, " ERROR")) {
        reply.kind = ReplyKind::Error;
        return reply;
    }
    const std::string prefix = "stream: ";
    if (!StartsWith(text, prefix.c_str())) return reply;
    std::string body = text.substr(prefix.size());
    if (body == "OK") {
        reply.kind = ReplyKind::Clean;
        return reply;
    }
    const std::string found = " FOUND";
    if (!EndsWith(body, found)) return reply;
    std::string name = body.substr(0, body.size() - found.size());
    if (!PrintableName(name)) return reply;
    reply.name = name;
    if (StartsWith(name, "Heuristics.Limits.Exceeded"))
        reply.kind = ReplyKind::LimitsExceeded;
    else if (StartsWith(name, "Heuristics."))
        reply.kind = ReplyKind::Heuristic;
    else
        reply.kind = ReplyKind::Found;
    return reply;
}

bool SplitRequestNumber(const std::string& text, uint32_t* number, std::string* reply) {
    size_t i = 0;
    uint64_t value = 0;
    while (i < text.size() && i < 10 && text[i] >= '0' && text[i] <= '9') value = value * 10 + (text[i++] - '0');
    if (i == 0 || value == 0 || value > UINT32_MAX || text.compare(i, 2, ": ") != 0) return false;
    *number = static_cast<uint32_t>(value);
    *reply = text.substr(i + 2);
    return true;
}

}  // namespace clamdbridge
