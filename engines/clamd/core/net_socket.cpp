// TCP connections with every wait bounded: non-blocking sockets, and
// select (Winsock) or poll (POSIX) before each read, write and connect.
#include <chrono>
#include <cstring>
#include <string>

#include "net.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace clamdbridge {
namespace {

#ifdef _WIN32
typedef SOCKET Handle;
const Handle kNoSocket = INVALID_SOCKET;
void CloseHandle_(Handle s) { closesocket(s); }
int LastError() { return WSAGetLastError(); }
bool WouldBlock(int error) { return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS; }
bool IsReset(int error) { return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN; }
bool IsRefused(int error) { return error == WSAECONNREFUSED || error == WSAENETUNREACH || error == WSAEHOSTUNREACH; }
const int kSendFlags = 0;
bool SetNonBlocking(Handle s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
#else
typedef int Handle;
const Handle kNoSocket = -1;
void CloseHandle_(Handle s) { close(s); }
int LastError() { return errno; }
bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS || error == EINTR; }
bool IsReset(int error) { return error == ECONNRESET || error == EPIPE || error == ECONNABORTED; }
bool IsRefused(int error) { return error == ECONNREFUSED || error == ENETUNREACH || error == EHOSTUNREACH; }
// A peer that closed must not raise SIGPIPE in the host process.
const int kSendFlags = MSG_NOSIGNAL;
bool SetNonBlocking(Handle s) {
    int flags = fcntl(s, F_GETFL, 0);
    return flags != -1 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
#endif

typedef std::chrono::steady_clock Clock;

uint32_t RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

enum class Wait { Ready, TimedOut, Failed };

// Waits until the socket can be read (or written), or the time is up.
Wait WaitFor(Handle s, bool write, uint32_t timeoutMs) {
#ifdef _WIN32
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);  // Winsock reports a failed connect here
    timeval tv;
    tv.tv_sec = static_cast<long>(timeoutMs / 1000);
    tv.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
    int n = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, &tv);
#else
    pollfd entry{s, static_cast<short>(write ? POLLOUT : POLLIN), 0};
    int n;
    do {
        n = poll(&entry, 1, static_cast<int>(timeoutMs));
    } while (n < 0 && errno == EINTR);
#endif
    if (n < 0) return Wait::Failed;
    return n == 0 ? Wait::TimedOut : Wait::Ready;
}

class SocketConnection : public Connection {
public:
    explicit SocketConnection(Handle s) : socket_(s) {}
    ~SocketConnection() override { CloseHandle_(socket_); }
    SocketConnection(const SocketConnection&) = delete;
    SocketConnection& operator=(const SocketConnection&) = delete;

    NetStatus SendAll(const void* data, size_t size, uint32_t timeoutMs) override {
        const char* bytes = static_cast<const char*>(data);
        while (size > 0) {
            int chunk = static_cast<int>(size > 0x40000000 ? 0x40000000 : size);
            auto sent = send(socket_, bytes, chunk, kSendFlags);
            if (sent > 0) {
                bytes += sent;
                size -= static_cast<size_t>(sent);
                continue;
            }
            int error = LastError();
            if (sent < 0 && IsReset(error)) return NetStatus::Closed;
            if (sent == 0 || !WouldBlock(error)) return NetStatus::Failed;
            Wait wait = WaitFor(socket_, true, timeoutMs);
            if (wait == Wait::TimedOut) return NetStatus::TimedOut;
            if (wait == Wait::Failed) return NetStatus::Failed;
        }
        return NetStatus::Ok;
    }

    NetStatus Receive(void* buffer, size_t size, size_t* got, uint32_t timeoutMs) override {
        *got = 0;
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        // A reply is rarely there yet: wait first, which spares a failing
        // recv (a round trip to the server process under Wine).
        Wait first = WaitFor(socket_, false, timeoutMs);
        if (first == Wait::TimedOut) return NetStatus::TimedOut;
        if (first == Wait::Failed) return NetStatus::Failed;
        for (;;) {
            int chunk = static_cast<int>(size > 0x40000000 ? 0x40000000 : size);
            auto n = recv(socket_, static_cast<char*>(buffer), chunk, 0);
            if (n > 0) {
                *got = static_cast<size_t>(n);
                return NetStatus::Ok;
            }
            if (n == 0) return NetStatus::Closed;
            int error = LastError();
            if (IsReset(error)) return NetStatus::Closed;
            if (!WouldBlock(error)) return NetStatus::Failed;
            Wait wait = WaitFor(socket_, false, RemainingMs(deadline));
            if (wait == Wait::TimedOut) return NetStatus::TimedOut;
            if (wait == Wait::Failed) return NetStatus::Failed;
        }
    }

    bool HasInput() override { return WaitFor(socket_, false, 0) == Wait::Ready; }

private:
    Handle socket_;
};

class SocketNetwork : public Network {
public:
    SocketNetwork() {
#ifdef _WIN32
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
#endif
    }
    ~SocketNetwork() override {
#ifdef _WIN32
        if (started_) WSACleanup();
#endif
    }
    SocketNetwork(const SocketNetwork&) = delete;
    SocketNetwork& operator=(const SocketNetwork&) = delete;

    std::unique_ptr<Connection> Connect(const Server& server, uint32_t timeoutMs, NetStatus* status) override {
        *status = NetStatus::Failed;
        if (!started_) return nullptr;
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        addrinfo hints;
        std::memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* found = nullptr;
        std::string port = std::to_string(server.port);
        if (getaddrinfo(server.host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
            *status = NetStatus::Refused;
            return nullptr;
        }
        std::unique_ptr<Connection> connection;
        // Every address of the name shares the one connect time.
        for (addrinfo* a = found; a && !connection; a = a->ai_next) {
            connection = ConnectOne(a, deadline, status);
            if (*status == NetStatus::TimedOut) break;
        }
        freeaddrinfo(found);
        return connection;
    }

private:
    static std::unique_ptr<Connection> ConnectOne(const addrinfo* address, Clock::time_point deadline,
                                                  NetStatus* status) {
        Handle s = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (s == kNoSocket) {
            *status = NetStatus::Failed;
            return nullptr;
        }
        std::unique_ptr<Connection> owner(new SocketConnection(s));
        // Each chunk and the stream's end go out at once, not after the
        // peer's delayed acknowledgement.
        int on = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        if (!SetNonBlocking(s)) {
            *status = NetStatus::Failed;
            return nullptr;
        }
        if (connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
            int error = LastError();
            if (!WouldBlock(error)) {
                *status = IsRefused(error) ? NetStatus::Refused : NetStatus::Failed;
                return nullptr;
            }
            Wait wait = WaitFor(s, true, RemainingMs(deadline));
            if (wait != Wait::Ready) {
                *status = wait == Wait::TimedOut ? NetStatus::TimedOut : NetStatus::Failed;
                return nullptr;
            }
            int soError = 0;
            socklen_t length = sizeof soError;
            if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length) != 0 || soError != 0) {
                *status = IsRefused(soError) ? NetStatus::Refused : NetStatus::Failed;
                return nullptr;
            }
        }
        *status = NetStatus::Ok;
        return owner;
    }

#ifdef _WIN32
    bool started_ = false;
#else
    bool started_ = true;
#endif
};

}  // namespace

const char* Describe(NetStatus status) {
    switch (status) {
        case NetStatus::Ok:
            return "ok";
        case NetStatus::Refused:
            return "connection refused";
        case NetStatus::TimedOut:
            return "timed out";
        case NetStatus::Closed:
            return "connection closed by the server";
        default:
            return "network error";
    }
}

std::unique_ptr<Network> MakeSocketNetwork() { return std::unique_ptr<Network>(new SocketNetwork); }

}  // namespace clamdbridge
