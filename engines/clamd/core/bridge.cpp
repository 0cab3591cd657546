#include "bridge.h"

#include <cstring>

#include "reply.h"

namespace clamdbridge {
namespace {

typedef std::chrono::steady_clock Clock;

const char kCommand[] = "zINSTREAM";  // sent with its NUL
constexpr size_t kCommandSize = sizeof kCommand;
constexpr size_t kMaxReply = 4096;

void PutLength(unsigned char* at, uint32_t length) {
    at[0] = static_cast<unsigned char>(length >> 24);
    at[1] = static_cast<unsigned char>(length >> 16);
    at[2] = static_cast<unsigned char>(length >> 8);
    at[3] = static_cast<unsigned char>(length);
}

}  // namespace

void Bridge::Reset() {
    settings_ = Settings();
    downUntil_.clear();
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool Bridge::IsDown(size_t index, Clock::time_point now) const {
    return index < downUntil_.size() && downUntil_[index] > now;
}

CheckResult Bridge::Check(ObjectReader& object) {
    CheckResult result;
    downUntil_.resize(settings_.servers.size());
    if (settings_.servers.empty()) {
        result.detail = "no server configured";
        return result;
    }
    for (size_t i = 0; i < settings_.servers.size(); ++i) {
        if (IsDown(i, Clock::now())) continue;
        ++result.serversTried;
        Outcome outcome = CheckWith(settings_.servers[i], object, result);
        object.Close();
        if (outcome != Outcome::ServerFault) return result;
        downUntil_[i] = Clock::now() + std::chrono::milliseconds(settings_.downTimeMs);
    }
    result.verdict = Verdict::Failed;
    result.virusName.clear();
    if (result.serversTried == 0) result.detail = "every server is marked down";
    return result;
}

Bridge::Outcome Bridge::CheckWith(const Server& server, ObjectReader& object, CheckResult& result) {
    result.verdict = Verdict::Failed;
    uint64_t size = 0;
    if (!object.Open(&size)) {
        result.detail = "the object cannot be opened";
        return Outcome::ObjectFault;
    }
    // Too large for the limit: clamd would not check it all, so do not send it.
    if (size > settings_.maxObject) {
        result.detail = "the object is larger than max-object";
        return Outcome::ObjectFault;
    }
    NetStatus status;
    std::unique_ptr<Connection> connection = network_.Connect(server, settings_.connectTimeoutMs, &status);
    if (!connection) {
        result.detail = Describe(server) + ": " + Describe(status);
        return Outcome::ServerFault;
    }
    Outcome outcome = Stream(*connection, object, size, result);
    if (outcome == Outcome::ServerFault) result.detail = Describe(server) + ": " + result.detail;
    return outcome;
}

Bridge::Outcome Bridge::Stream(Connection& connection, ObjectReader& object, uint64_t size, CheckResult& result) {
    const uint32_t chunk = settings_.chunk;
    // Room for the command, one framed chunk and the end marker: a small
    // object goes out in one send.
    buffer_.resize(kCommandSize + 4 + chunk + 4);
    unsigned char* const frame = buffer_.data() + kCommandSize;
    std::memcpy(buffer_.data(), kCommand, kCommandSize);
    bool first = true, ended = false;
    uint64_t sent = 0;
    while (!ended) {
        int32_t got = object.Read(frame + 4, chunk);
        if (got < 0 || static_cast<uint32_t>(got) > chunk) {
            result.detail = "the object cannot be read";
            return Outcome::ObjectFault;
        }
        sent += static_cast<uint32_t>(got);
        if (sent > settings_.maxObject) {
            result.detail = "the object is larger than max-object";
            return Outcome::ObjectFault;
        }
        size_t length = 0;
        if (got > 0) {
            PutLength(frame, static_cast<uint32_t>(got));
            length = 4 + static_cast<size_t>(got);
        }
        // The host told the length: end the stream with the last bytes
        // instead of after one more read.
        if (got == 0 || sent == size) {
            PutLength(frame + length, 0);
            length += 4;
            ended = true;
        }
        // A server that gave up (its size limit, a timeout) has said so
        // already; notice it before sending more.
        if (!first && connection.HasInput()) return ReadReply(connection, settings_.connectTimeoutMs, true, result);
        const unsigned char* from = first ? buffer_.data() : frame;
        size_t total = length + (first ? kCommandSize : 0);
        first = false;
        NetStatus status = connection.SendAll(from, total, settings_.replyTimeoutMs);
        if (status != NetStatus::Ok) {
            if (connection.HasInput()) return ReadReply(connection, settings_.connectTimeoutMs, true, result);
            result.detail = std::string("while sending: ") + Describe(status);
            return Outcome::ServerFault;
        }
    }
    Outcome outcome = ReadReply(connection, settings_.replyTimeoutMs, false, result);
    // Bytes after the length the host told were never checked.
    if (outcome == Outcome::Verdict && result.verdict != Verdict::Failed && sent == size) {
        unsigned char probe;
        int32_t more = object.Read(&probe, 1);
        if (more != 0) {
            result.verdict = Verdict::Failed;
            result.virusName.clear();
            result.detail = "the object is longer than its length";
            return Outcome::ObjectFault;
        }
    }
    return outcome;
}

Bridge::Outcome Bridge::ReadReply(Connection& connection, uint32_t timeoutMs, bool early, CheckResult& result) {
    std::string text;
    char piece[512];
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        size_t got = 0;
        NetStatus status = connection.Receive(piece, sizeof piece, &got, left > 0 ? static_cast<uint32_t>(left) : 0);
        // A reply cut off by the end of the connection is no verdict.
        if (status != NetStatus::Ok) {
            result.detail = std::string(early ? "during the stream: " : "waiting for the reply: ") + Describe(status);
            return Outcome::ServerFault;
        }
        const char* end = static_cast<const char*>(std::memchr(piece, 0, got));
        text.append(piece, end ? static_cast<size_t>(end - piece) : got);
        if (end) break;
        if (text.size() > kMaxReply) break;
    }
    if (text.size() > kMaxReply) text.resize(kMaxReply);
    Reply reply = ParseReply(text);
    result.virusName.clear();
    result.verdict = Verdict::Failed;
    if (early) {
        // Whatever it says, the server did not see the whole object.
        result.detail = "reply before the end of the stream: " + text;
        return Outcome::Verdict;
    }
    switch (reply.kind) {
        case ReplyKind::Clean:
            result.verdict = Verdict::Clean;
            break;
        case ReplyKind::Found:
            result.verdict = Verdict::Infected;
            result.virusName = reply.name;
            break;
        case ReplyKind::Heuristic:
            result.verdict = Verdict::Suspicious;
            result.virusName = reply.name;
            break;
        default:
            result.detail = "clamd: " + text;
            break;
    }
    return Outcome::Verdict;
}

}  // namespace clamdbridge
