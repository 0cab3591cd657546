// libFuzzer: clamd replies and configuration lines, with the properties the
// engine relies on: a find has a printable name, settings stay in range.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config.h"
#include "reply.h"

using namespace clamdbridge;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    Reply reply = ParseReply(text);
    if (reply.kind == ReplyKind::Found || reply.kind == ReplyKind::Heuristic) {
        if (reply.name.empty()) std::abort();
        for (unsigned char c : reply.name) {
            if (c <= ' ' || c >= 0x7F) std::abort();
        }
        if (text.find(" FOUND") == std::string::npos) std::abort();
    }
    if ((reply.kind == ReplyKind::Clean) && text.find("stream: OK") != 0) std::abort();

    uint32_t number = 0;
    std::string own;
    if (SplitRequestNumber(text, &number, &own) &&
        (number == 0 || text.size() < own.size() + 3 || text.compare(text.size() - own.size(), own.size(), own) != 0))
        std::abort();

    Settings settings;
    bool accepted = ApplyConfigLine(text, settings);
    Settings defaults;
    if (!accepted && (settings.servers.size() || settings.chunk != defaults.chunk ||
                      settings.maxObject != defaults.maxObject || settings.replyTimeoutMs != defaults.replyTimeoutMs))
        std::abort();
    if (settings.chunk < 1024 || settings.chunk > (8u << 20) || settings.maxObject == 0 ||
        settings.maxObject > 0xFFFFFFFFull || settings.connectTimeoutMs == 0 || settings.replyTimeoutMs == 0 ||
        settings.downTimeMs == 0)
        std::abort();
    for (const Server& server : settings.servers) {
        if (server.port == 0 || server.host.empty()) std::abort();
    }
    return 0;
}
