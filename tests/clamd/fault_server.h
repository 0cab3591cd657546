// A server the test owns, on 127.0.0.1: it stalls, or answers every stream
// with a reply of its choosing, unnumbered even in a session, and closes.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <string>
#include <thread>

class FaultServer {
public:
    // reply empty: accept and never answer.
    explicit FaultServer(const std::string& reply = std::string());
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;
    int port() const { return port_; }
    int accepted() const { return accepted_; }

private:
    void Serve();

    std::string reply_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// A port on 127.0.0.1 that nothing listens on.
int UnusedPort();
