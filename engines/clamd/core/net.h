// The socket seam: the protocol core talks to servers only through these two
// interfaces, so it builds with POSIX sockets and with Winsock alike, and
// tests can put a connection of their own in between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "config.h"

namespace clamdbridge {

enum class NetStatus {
    Ok,
    Refused,   // nothing listens, or the name does not resolve
    TimedOut,  // no progress within the time given
    Closed,    // the peer closed or reset the connection
    Failed,    // anything else the system reported
};

const char* Describe(NetStatus status);

class Connection {
public:
    virtual ~Connection() = default;
    // Sends every byte; each wait for the peer to take more is bounded by timeoutMs.
    virtual NetStatus SendAll(const void* data, size_t size, uint32_t timeoutMs) = 0;
    // Waits at most timeoutMs for bytes. Ok with *got > 0, or Closed at the
    // end of the stream.
    virtual NetStatus Receive(void* buffer, size_t size, size_t* got, uint32_t timeoutMs) = 0;
    // True when bytes or the end of the stream wait to be read; never blocks.
    virtual bool HasInput() = 0;
};

class Network {
public:
    virtual ~Network() = default;
    // Null with the reason in *status when no connection was made in time.
    virtual std::unique_ptr<Connection> Connect(const Server& server, uint32_t timeoutMs, NetStatus* status) = 0;
};

// TCP through the system's sockets (Winsock on Windows: started here).
std::unique_ptr<Network> MakeSocketNetwork();

}  // namespace clamdbridge
