// Checks one object by streaming it to clamd (INSTREAM), trying the
// configured servers in order and leaving those that failed alone for a
// while. Never answers "clean" for bytes that were not all checked.
//
// Each server's connection is kept between checks as a clamd session
// (IDSESSION), one request at a time; a check that finds it busy, or a
// server whose sessions keep failing, uses a connection of its own. Check
// may be called from several threads at once; the settings change only
// while no check runs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config.h"
#include "net.h"

namespace clamdbridge {

// The object being checked, read from its start once per attempt.
class ObjectReader {
public:
    virtual ~ObjectReader() = default;
    // Opens (again) at the start; *size is the length the host tells.
    virtual bool Open(uint64_t* size) = 0;
    // Bytes read (0 at the end), or -1.
    virtual int32_t Read(unsigned char* buffer, uint32_t count) = 0;
    virtual void Close() = 0;
};

enum class Verdict { Clean, Infected, Suspicious, Failed };

struct CheckResult {
    Verdict verdict = Verdict::Failed;
    std::string virusName;  // for Infected and Suspicious
    std::string detail;     // why it failed, for the trace
    int serversTried = 0;   // servers tried for this object
};

class Bridge {
public:
    explicit Bridge(Network& network);
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // A new binding: no servers, default settings, nobody marked down, no session.
    void Reset();
    Settings& settings() { return settings_; }
    const Settings& settings() const { return settings_; }

    CheckResult Check(ObjectReader& object);

    // Closes the sessions unused for the idle time. True while sessions stay
    // open, with *wait the time until the next one is due.
    bool CloseIdleSessions(std::chrono::milliseconds* wait);

private:
    enum class Outcome {
        Verdict,       // the server answered for this object (maybe "not checked")
        ServerFault,   // refused, stalled or broke off: mark it down, try the next
        ObjectFault,   // the object itself cannot be checked
        SessionFault,  // the session ended or answered out of turn: no answer for this object
    };
    struct ServerState;
    struct Request;

    ServerState& StateOf(size_t index);
    Outcome CheckWith(size_t index, ObjectReader& object, CheckResult& result);
    Outcome CheckInSession(const Server& server, ServerState& state, ObjectReader& object, CheckResult& result);
    bool OpenObject(ObjectReader& object, uint64_t* size, CheckResult& result);
    Outcome Stream(Connection& connection, Request& request, ObjectReader& object, uint64_t size, CheckResult& result);
    Outcome ReadReply(Connection& connection, Request& request, uint32_t timeoutMs, bool early, CheckResult& result);
    bool IsDown(size_t index, std::chrono::steady_clock::time_point now);
    void MarkDown(size_t index);

    Network& network_;
    Settings settings_;
    std::mutex lock_;                                               // guards downUntil_ and the list of states
    std::vector<std::chrono::steady_clock::time_point> downUntil_;  // one a server; epoch: up
    std::vector<std::unique_ptr<ServerState>> states_;              // one a server, never shrinks while checking
    std::atomic<uint32_t> nextStart_{0};
};

}  // namespace clamdbridge
