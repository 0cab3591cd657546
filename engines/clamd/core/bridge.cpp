#include "bridge.h"

#include <algorithm>
#include <cstring>

#include "reply.h"

namespace clamdbridge {
namespace {

typedef std::chrono::steady_clock Clock;
typedef std::chrono::milliseconds Ms;

// Each sent with its NUL.
const char kSession[] = "zIDSESSION";
const char kCommand[] = "zINSTREAM";
constexpr size_t kSessionSize = sizeof kSession;
constexpr size_t kCommandSize = sizeof kCommand;
constexpr size_t kMaxReply = 4096;

void PutLength(unsigned char* at, uint32_t length) {
    at[0] = static_cast<unsigned char>(length >> 24);
    at[1] = static_cast<unsigned char>(length >> 16);
    at[2] = static_cast<unsigned char>(length >> 8);
    at[3] = static_cast<unsigned char>(length);
}

}  // namespace

struct Bridge::ServerState {
    std::mutex lock;                      // held by the one check that uses the session
    std::unique_ptr<Connection> session;  // an open IDSESSION, or none
    uint32_t lastNumber = 0;              // the last request number sent in it
    Clock::time_point lastUsed;
    std::atomic<bool> sessionsFailed{false};  // one connection per object from now on
};

// One INSTREAM on a connection.
struct Bridge::Request {
    uint32_t number = 0;        // its number in a session; 0 outside one
    bool opensSession = false;  // the first send starts the session
    bool reusable = false;      // the reply was this object's, read whole: the session may carry the next
    bool ended = false;         // the connection ended or failed (not a timeout)
};

Bridge::Bridge(Network& network) : network_(network) {}
Bridge::~Bridge() = default;

void Bridge::Reset() {
    std::lock_guard<std::mutex> hold(lock_);
    settings_ = Settings();
    downUntil_.clear();
    states_.clear();
}

Bridge::ServerState& Bridge::StateOf(size_t index) {
    std::lock_guard<std::mutex> hold(lock_);
    while (states_.size() <= index) states_.emplace_back(new ServerState);
    return *states_[index];
}

bool Bridge::IsDown(size_t index, Clock::time_point now) {
    std::lock_guard<std::mutex> hold(lock_);
    return index < downUntil_.size() && downUntil_[index] > now;
}

void Bridge::MarkDown(size_t index) {
    std::lock_guard<std::mutex> hold(lock_);
    if (downUntil_.size() <= index) downUntil_.resize(index + 1);
    downUntil_[index] = Clock::now() + Ms(settings_.downTimeMs);
}

bool Bridge::CloseIdleSessions(Ms* wait) {
    // Held throughout so that Reset cannot free a state under it; it only
    // tries the states' locks, so it never waits for a check.
    std::lock_guard<std::mutex> holdStates(lock_);
    // No state before the first check: the settings may still be loading.
    if (states_.empty()) return false;
    const Ms idle(settings_.sessionIdleMs);
    const Clock::time_point now = Clock::now();
    bool open = false;
    *wait = idle;
    for (const auto& state : states_) {
        std::unique_lock<std::mutex> hold(state->lock, std::try_to_lock);
        if (!hold.owns_lock()) {
            open = true;  // in use: due a whole idle time after this check
            continue;
        }
        if (!state->session) continue;
        if (now - state->lastUsed >= idle) {
            state->session.reset();
            continue;
        }
        open = true;
        *wait = std::min(*wait, std::chrono::duration_cast<Ms>(state->lastUsed + idle - now) + Ms(1));
    }
    return open;
}

CheckResult Bridge::Check(ObjectReader& object) {
    CheckResult result;
    const size_t count = settings_.servers.size();
    if (count == 0) {
        result.detail = "no server configured";
        return result;
    }
    Ms wait;
    CloseIdleSessions(&wait);
    const size_t start = settings_.spread ? nextStart_.fetch_add(1) % count : 0;
    for (size_t k = 0; k < count; ++k) {
        const size_t i = (start + k) % count;
        if (IsDown(i, Clock::now())) continue;
        ++result.serversTried;
        Outcome outcome = CheckWith(i, object, result);
        object.Close();
        if (outcome != Outcome::ServerFault) return result;
        MarkDown(i);
    }
    result.verdict = Verdict::Failed;
    result.virusName.clear();
    if (result.serversTried == 0) result.detail = "every server is marked down";
    return result;
}

bool Bridge::OpenObject(ObjectReader& object, uint64_t* size, CheckResult& result) {
    result.verdict = Verdict::Failed;
    result.virusName.clear();
    if (!object.Open(size)) {
        result.detail = "the object cannot be opened";
        return false;
    }
    // Too large for the limit: clamd would not check it all, so do not send it.
    if (*size > settings_.maxObject) {
        result.detail = "the object is larger than max-object";
        return false;
    }
    return true;
}

Bridge::Outcome Bridge::CheckWith(size_t index, ObjectReader& object, CheckResult& result) {
    const Server& server = settings_.servers[index];
    ServerState& state = StateOf(index);
    if (settings_.sessionIdleMs != 0 && !state.sessionsFailed) {
        // A session busy with another thread's check: this one takes a connection of its own.
        std::unique_lock<std::mutex> hold(state.lock, std::try_to_lock);
        if (hold.owns_lock()) return CheckInSession(server, state, object, result);
    }
    uint64_t size = 0;
    if (!OpenObject(object, &size, result)) return Outcome::ObjectFault;
    NetStatus status;
    std::unique_ptr<Connection> connection = network_.Connect(server, settings_.connectTimeoutMs, &status);
    if (!connection) {
        result.detail = Describe(server) + ": " + Describe(status);
        return Outcome::ServerFault;
    }
    Request request;
    Outcome outcome = Stream(*connection, request, object, size, result);
    if (outcome == Outcome::ServerFault) result.detail = Describe(server) + ": " + result.detail;
    return outcome;
}

Bridge::Outcome Bridge::CheckInSession(const Server& server, ServerState& state, ObjectReader& object,
                                       CheckResult& result) {
    for (int attempt = 1;; ++attempt) {
        uint64_t size = 0;
        if (!OpenObject(object, &size, result)) return Outcome::ObjectFault;
        if (state.session && Clock::now() - state.lastUsed >= Ms(settings_.sessionIdleMs)) state.session.reset();
        Request request;
        if (!state.session) {
            NetStatus status;
            state.session = network_.Connect(server, settings_.connectTimeoutMs, &status);
            if (!state.session) {
                result.detail = Describe(server) + ": " + Describe(status);
                return Outcome::ServerFault;
            }
            state.lastNumber = 0;
            request.opensSession = true;
        }
        request.number = ++state.lastNumber;
        Outcome outcome = Stream(*state.session, request, object, size, result);
        state.lastUsed = Clock::now();
        if (!request.reusable) state.session.reset();
        if (outcome != Outcome::SessionFault) {
            if (outcome == Outcome::ServerFault) result.detail = Describe(server) + ": " + result.detail;
            return outcome;
        }
        result.detail = Describe(server) + ": " + result.detail;
        if (attempt == 2) {
            // Sessions fail with this server: from now on one connection per
            // object, and this failure counts as that of a plain connection.
            state.sessionsFailed = true;
            return request.ended ? Outcome::ServerFault : Outcome::Verdict;
        }
        object.Close();
    }
}

Bridge::Outcome Bridge::Stream(Connection& connection, Request& request, ObjectReader& object, uint64_t size,
                               CheckResult& result) {
    const uint32_t chunk = settings_.chunk;
    // Room for the session's start, the command, one framed chunk and the
    // end marker: a small object goes out in one send.
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kSessionSize + kCommandSize + 4 + chunk + 4]);
    std::memcpy(buffer.get(), kSession, kSessionSize);
    std::memcpy(buffer.get() + kSessionSize, kCommand, kCommandSize);
    unsigned char* const frame = buffer.get() + kSessionSize + kCommandSize;
    const unsigned char* const head = request.opensSession ? buffer.get() : buffer.get() + kSessionSize;
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
        if (!first && connection.HasInput())
            return ReadReply(connection, request, settings_.connectTimeoutMs, true, result);
        const unsigned char* from = first ? head : frame;
        size_t total = length + static_cast<size_t>(first ? frame - head : 0);
        first = false;
        NetStatus status = connection.SendAll(from, total, settings_.replyTimeoutMs);
        if (status != NetStatus::Ok) {
            if (connection.HasInput()) return ReadReply(connection, request, settings_.connectTimeoutMs, true, result);
            result.detail = std::string("while sending: ") + Describe(status);
            if (request.number == 0 || status == NetStatus::TimedOut) return Outcome::ServerFault;
            request.ended = true;
            return Outcome::SessionFault;
        }
    }
    Outcome outcome = ReadReply(connection, request, settings_.replyTimeoutMs, false, result);
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

Bridge::Outcome Bridge::ReadReply(Connection& connection, Request& request, uint32_t timeoutMs, bool early,
                                  CheckResult& result) {
    std::string text;
    bool whole = false;  // up to its NUL: nothing of it is left to be read
    char piece[512];
    Clock::time_point deadline = Clock::now() + Ms(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
        size_t got = 0;
        NetStatus status = connection.Receive(piece, sizeof piece, &got, left > 0 ? static_cast<uint32_t>(left) : 0);
        // A reply cut off by the end of the connection is no verdict.
        if (status != NetStatus::Ok) {
            result.detail = std::string(early ? "during the stream: " : "waiting for the reply: ") + Describe(status);
            if (request.number == 0 || status == NetStatus::TimedOut) return Outcome::ServerFault;
            request.ended = true;
            return Outcome::SessionFault;
        }
        const char* end = static_cast<const char*>(std::memchr(piece, 0, got));
        text.append(piece, end ? static_cast<size_t>(end - piece) : got);
        if (end) {
            whole = static_cast<size_t>(end - piece) + 1 == got;
            break;
        }
        if (text.size() > kMaxReply) break;
    }
    if (text.size() > kMaxReply) text.resize(kMaxReply);
    if (request.number != 0) {
        // Only the reply to this request speaks for this object.
        uint32_t number = 0;
        std::string own;
        if (!SplitRequestNumber(text, &number, &own) || number != request.number) {
            result.detail = "a reply that is not this object's: " + text.substr(0, 200);
            return Outcome::SessionFault;
        }
        text = own;
    }
    Reply reply = ParseReply(text);
    result.virusName.clear();
    result.verdict = Verdict::Failed;
    if (early) {
        // Whatever it says, the server did not see the whole object.
        result.detail = "reply before the end of the stream: " + text;
        return Outcome::Verdict;
    }
    if (request.number != 0 && reply.kind == ReplyKind::Garbage) {
        result.detail = "a garbled reply: " + text.substr(0, 200);
        return Outcome::SessionFault;
    }
    // clamd ends the session after an error.
    request.reusable = whole && reply.kind != ReplyKind::Error;
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
