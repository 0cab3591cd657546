#include "clamd/fault_server.h"

#include <algorithm>
#include <vector>

namespace {

struct WinsockStart {
    WinsockStart() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockStart() { WSACleanup(); }
};

void StartWinsock() { static WinsockStart start; }

SOCKET Listen(int* port) {
    StartWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(s, 8) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (s != INVALID_SOCKET) closesocket(s);
        return INVALID_SOCKET;
    }
    *port = ntohs(address.sin_port);
    return s;
}

bool Readable(SOCKET s, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = {ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) == 1;
}

// Reads the command and the framed stream up to its end marker.
bool ReadStream(SOCKET s) {
    std::vector<unsigned char> bytes;
    char buffer[65536];
    for (;;) {
        if (!Readable(s, 5000)) return false;
        int got = recv(s, buffer, sizeof buffer, 0);
        if (got <= 0) return false;
        bytes.insert(bytes.end(), buffer, buffer + got);
        // "zINSTREAM" and its NUL, after "zIDSESSION" and its NUL in a session.
        const char session[] = "zIDSESSION";
        size_t at = bytes.size() >= sizeof session && std::equal(session, session + sizeof session, bytes.begin())
                        ? sizeof session + 10
                        : 10;
        for (;;) {
            if (bytes.size() < at + 4) break;
            size_t length = (size_t(bytes[at]) << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
            if (length == 0) return true;
            at += 4 + length;
        }
    }
}

}  // namespace

int UnusedPort() {
    int port = 0;
    SOCKET s = Listen(&port);
    if (s != INVALID_SOCKET) closesocket(s);
    return port;
}

FaultServer::FaultServer(const std::string& reply) : reply_(reply) {
    listener_ = Listen(&port_);
    if (listener_ != INVALID_SOCKET) thread_ = std::thread([this] { Serve(); });
}

FaultServer::~FaultServer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
}

void FaultServer::Serve() {
    std::vector<SOCKET> stalled;
    while (!stopping_) {
        if (!Readable(listener_, 50)) continue;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        ++accepted_;
        if (reply_.empty()) {
            stalled.push_back(client);
            continue;
        }
        if (ReadStream(client)) send(client, reply_.data(), static_cast<int>(reply_.size()), 0);
        closesocket(client);
    }
    for (SOCKET s : stalled) closesocket(s);
}
