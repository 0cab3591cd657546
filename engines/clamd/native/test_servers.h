// Servers for the bridge's tests: a private clamd started through the test
// server script, and fault servers owned by the test.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// A private clamd on 127.0.0.1; stopped by its PID when destroyed.
class ClamdProcess {
public:
    // settings: NAME=VALUE overrides of its clamd.conf, space separated.
    explicit ClamdProcess(const std::string& settings = std::string());
    ~ClamdProcess();
    ClamdProcess(const ClamdProcess&) = delete;
    ClamdProcess& operator=(const ClamdProcess&) = delete;
    bool running() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    int pid() const { return pid_; }
    const std::string& folder() const { return folder_; }
    std::string log() const;

private:
    std::string folder_;
    uint16_t port_ = 0;
    int pid_ = 0;
};

bool HaveClamd();
// A port on 127.0.0.1 that nothing listens on (bound once, then released).
uint16_t UnusedPort();

// How a fault server that replies breaks its sessions.
struct SessionFaults {
    int endAfter = 0;          // close the session after this many replies
    bool wrongNumber = false;  // answer with the next request's number
    int idleMs = 0;            // unused this long: send clamd's idle line and close
};

// One listening socket on 127.0.0.1 and a thread that serves each
// connection in turn the way its behaviour says.
class FaultServer {
public:
    enum class Behaviour {
        Stall,           // accept, never read, never answer
        CloseMidStream,  // read some bytes, then close
        ResetMidStream,  // read some bytes, then reset
        Reply,           // read each whole stream, then send the reply text ("N: " before it in a session)
        EarlyReply,      // read some bytes, send the reply text and close
    };
    // port 0: a free one.
    FaultServer(Behaviour behaviour, const std::string& reply = std::string(), uint16_t port = 0,
                SessionFaults faults = SessionFaults());
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;
    uint16_t port() const { return port_; }
    int accepted() const { return accepted_; }
    int requests() const { return requests_; }    // streams received whole
    int idleLines() const { return idleLines_; }  // sessions it ended for being idle
    // The last stream received whole, without its framing.
    std::string lastObject();

private:
    void Serve();
    void Handle(int client);
    void Answer(int client);

    Behaviour behaviour_;
    std::string reply_;
    SessionFaults faults_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<int> requests_{0};
    std::atomic<int> idleLines_{0};
    std::atomic<bool> stopping_{false};
    std::string lastObject_;
    std::atomic<bool> haveObject_{false};
    std::thread thread_;
};
