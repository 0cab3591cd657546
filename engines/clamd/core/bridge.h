// Checks one object by streaming it to clamd (INSTREAM), trying the
// configured servers in order and leaving those that failed alone for a
// while. Never answers "clean" for bytes that were not all checked.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "config.h"
#include "net.h"

namespace clamdbridge {

// The object being checked, read from its start once per server tried.
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
    int serversTried = 0;   // connections attempted for this object
};

class Bridge {
public:
    explicit Bridge(Network& network) : network_(network) {}

    // A new binding: no servers, default settings, nobody marked down.
    void Reset();
    Settings& settings() { return settings_; }
    const Settings& settings() const { return settings_; }

    CheckResult Check(ObjectReader& object);

private:
    enum class Outcome { Verdict, ServerFault, ObjectFault };
    Outcome CheckWith(const Server& server, ObjectReader& object, CheckResult& result);
    Outcome Stream(Connection& connection, ObjectReader& object, uint64_t size, CheckResult& result);
    Outcome ReadReply(Connection& connection, uint32_t timeoutMs, bool early, CheckResult& result);
    bool IsDown(size_t index, std::chrono::steady_clock::time_point now) const;

    Network& network_;
    Settings settings_;
    std::vector<std::chrono::steady_clock::time_point> downUntil_;  // one a server; epoch: up
    std::vector<unsigned char> buffer_;
};

}  // namespace clamdbridge
