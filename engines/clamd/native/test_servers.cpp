#include "test_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

const std::string kScript = std::string(ORLIX_ROOT) + "/scripts/clamd-test-server.sh";

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Reads exactly count bytes, waiting at most 5 s in all; false on the end.
bool ReadExactly(int s, void* buffer, size_t count) {
    auto* at = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        pollfd entry{s, POLLIN, 0};
        if (poll(&entry, 1, 5000) <= 0) return false;
        ssize_t got = recv(s, at, count, 0);
        if (got <= 0) return false;
        at += got;
        count -= static_cast<size_t>(got);
    }
    return true;
}

// A command up to its NUL ("zINSTREAM"); false on the end or after 32 bytes.
bool ReadCommand(int s, std::string& command) {
    command.clear();
    char c;
    while (command.size() < 32 && ReadExactly(s, &c, 1)) {
        if (c == 0) return true;
        command += c;
    }
    return false;
}

}  // namespace

bool HaveClamd() { return access("/usr/sbin/clamd", X_OK) == 0 && access("/usr/bin/python3", X_OK) == 0; }

ClamdProcess::ClamdProcess(const std::string& settings) {
    char pattern[] = "/tmp/orlix-clamd.XXXXXX";
    if (!mkdtemp(pattern)) return;
    folder_ = pattern;
    std::string command = kScript + " start " + folder_ + " " + settings + " >/dev/null";
    if (std::system(command.c_str()) != 0) return;
    port_ = static_cast<uint16_t>(std::atoi(ReadText(folder_ + "/port").c_str()));
    pid_ = std::atoi(ReadText(folder_ + "/pid").c_str());
}

ClamdProcess::~ClamdProcess() {
    if (folder_.empty()) return;
    std::string command = kScript + " stop " + folder_ + " && rm -rf " + folder_;
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not stop the clamd in %s\n", folder_.c_str());
}

std::string ClamdProcess::log() const { return ReadText(folder_ + "/clamd.log"); }

uint16_t UnusedPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

FaultServer::FaultServer(Behaviour behaviour, const std::string& reply, uint16_t port, SessionFaults faults)
    : behaviour_(behaviour), reply_(reply), faults_(faults) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener_);
        listener_ = -1;
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

FaultServer::~FaultServer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != -1) close(listener_);
}

std::string FaultServer::lastObject() { return haveObject_ ? lastObject_ : std::string("<none>"); }

void FaultServer::Serve() {
    std::vector<int> stalled;  // kept open until the server ends
    while (!stopping_) {
        pollfd entry{listener_, POLLIN, 0};
        if (poll(&entry, 1, 50) <= 0) continue;
        int client = accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        ++accepted_;
        if (behaviour_ == Behaviour::Stall) {
            stalled.push_back(client);
            continue;
        }
        Handle(client);
    }
    for (int s : stalled) close(s);
}

void FaultServer::Handle(int client) {
    if (behaviour_ == Behaviour::Reply) {
        Answer(client);
    } else {
        char some[1024];
        ReadExactly(client, some, sizeof some);
        if (behaviour_ == Behaviour::EarlyReply) send(client, reply_.data(), reply_.size(), MSG_NOSIGNAL);
        if (behaviour_ == Behaviour::ResetMidStream) {
            linger hard{1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
    }
    close(client);
}

void FaultServer::Answer(int client) {
    std::string command;
    bool session = ReadCommand(client, command) && command == "zIDSESSION";
    if (session && !ReadCommand(client, command)) return;
    for (int number = 1; command == "zINSTREAM"; ++number) {
        std::string object;
        for (;;) {
            unsigned char header[4];
            if (!ReadExactly(client, header, 4)) return;
            uint32_t length = (uint32_t(header[0]) << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
            if (length == 0) break;
            std::string chunk(length, '\0');
            if (!ReadExactly(client, &chunk[0], length)) return;
            object += chunk;
        }
        lastObject_ = object;
        haveObject_ = true;
        ++requests_;
        std::string reply = reply_;
        if (session) reply = std::to_string(faults_.wrongNumber ? number + 1 : number) + ": " + reply;
        send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
        if (!session || number == faults_.endAfter) return;
        if (faults_.idleMs) {
            pollfd entry{client, POLLIN, 0};
            if (poll(&entry, 1, faults_.idleMs) == 0) {
                const char line[] = "COMMAND READ TIMED OUT\n";
                send(client, line, sizeof line - 1, MSG_NOSIGNAL);
                ++idleLines_;
                return;
            }
        }
        if (!ReadCommand(client, command)) return;
    }
}
