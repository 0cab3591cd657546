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

}  // namespace clamdbridge
