// The bridge against a real private clamd and against servers that fail in
// every way clamd clients meet in practice: refused, stalled, cut off, garbage,
// killed during a check, all down for a while.
#include "bridge.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "common/eicar.h"
#include "test_servers.h"

using namespace clamdbridge;
using Behaviour = FaultServer::Behaviour;

namespace {

// The shared clamd: its stream limit (2 MB) and file limit (1 MB) are low so
// that the limit cases stay small.
ClamdProcess* g_clamd = nullptr;

class ClamdEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (HaveClamd()) g_clamd = new ClamdProcess("StreamMaxLength=2M MaxFileSize=1M MaxScanSize=1M");
    }
    void TearDown() override {
        delete g_clamd;
        g_clamd = nullptr;
    }
};
::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new ClamdEnvironment);

#define REQUIRE_CLAMD()                                                                            \
    do {                                                                                           \
        if (!HaveClamd()) GTEST_SKIP() << "clamd is not installed (scripts/setup.sh installs it)"; \
        ASSERT_TRUE(g_clamd && g_clamd->running()) << "the private clamd did not start";           \
    } while (0)

// An object in memory; it can refuse to open, fail a read, or tell a wrong length.
class TestObject : public ObjectReader {
public:
    explicit TestObject(std::string bytes) : bytes_(std::move(bytes)), told_(bytes_.size()) {}
    bool Open(uint64_t* size) override {
        ++opens;
        if (failOpen) return false;
        position_ = 0;
        *size = told_;
        return true;
    }
    int32_t Read(unsigned char* buffer, uint32_t count) override {
        if (position_ >= failReadAt) return -1;
        size_t n = std::min<size_t>(count, bytes_.size() - position_);
        if (position_ + n > failReadAt) n = failReadAt - position_;
        std::copy(bytes_.begin() + position_, bytes_.begin() + position_ + n, buffer);
        position_ += n;
        return static_cast<int32_t>(n);
    }
    void Close() override {}
    void Tell(uint64_t size) { told_ = size; }

    bool failOpen = false;
    size_t failReadAt = SIZE_MAX;
    int opens = 0;

private:
    std::string bytes_;
    uint64_t told_;
    size_t position_ = 0;
};

// The system's sockets, counting connections; it kills killPid once the
// next bytes went out to killPort.
class TestNetwork : public Network {
public:
    std::unique_ptr<Connection> Connect(const Server& server, uint32_t timeoutMs, NetStatus* status) override {
        ++connects;
        std::unique_ptr<Connection> inner = real_->Connect(server, timeoutMs, status);
        if (!inner || server.port != killPort) return inner;
        return std::unique_ptr<Connection>(new Killing(std::move(inner), killPid));
    }
    std::atomic<int> connects{0};
    uint16_t killPort = 0;
    std::atomic<int> killPid{0};

private:
    class Killing : public Connection {
    public:
        Killing(std::unique_ptr<Connection> inner, std::atomic<int>& pid) : inner_(std::move(inner)), pid_(pid) {}
        NetStatus SendAll(const void* data, size_t size, uint32_t timeoutMs) override {
            NetStatus status = inner_->SendAll(data, size, timeoutMs);
            if (int pid = pid_.exchange(0)) {
                kill(pid, SIGKILL);
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
            return status;
        }
        NetStatus Receive(void* buffer, size_t size, size_t* got, uint32_t timeoutMs) override {
            return inner_->Receive(buffer, size, got, timeoutMs);
        }
        bool HasInput() override { return inner_->HasInput(); }

    private:
        std::unique_ptr<Connection> inner_;
        std::atomic<int>& pid_;
    };
    std::unique_ptr<Network> real_ = MakeSocketNetwork();
};

Server Local(uint16_t port) {
    Server server;
    server.host = "127.0.0.1";
    server.port = port;
    return server;
}

struct Rig {
    TestNetwork network;
    Bridge bridge{network};
    explicit Rig(std::initializer_list<uint16_t> ports) {
        for (uint16_t port : ports) bridge.settings().servers.push_back(Local(port));
        bridge.settings().connectTimeoutMs = 500;
        bridge.settings().replyTimeoutMs = 1000;
    }
    CheckResult Check(const std::string& bytes) {
        TestObject object(bytes);
        return bridge.Check(object);
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// clamscan's answer for a file with the same database: the name found, or "" (OK, or an empty file).
std::string Clamscan(const std::string& path) {
    std::string command = "clamscan --no-summary -d " + g_clamd->folder() + "/db '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char line[1024];
    while (pipe && fgets(line, sizeof line, pipe)) out += line;
    if (pipe) pclose(pipe);
    size_t found = out.rfind(" FOUND");
    if (found == std::string::npos) {
        bool clean = out.find(": OK") != std::string::npos || out.find(": Empty file") != std::string::npos;
        return clean ? "" : "<no answer: " + out + ">";
    }
    size_t start = out.rfind(": ", found) + 2;
    return out.substr(start, found - start);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Padding(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>("clean text, nothing more\n"[i % 25]);
    return bytes;
}

}  // namespace

TEST(ClamdBridge, VerdictsAgreeWithClamscanOnTheSameDatabase) {
    REQUIRE_CLAMD();
    std::string folder = g_clamd->folder() + "/samples";
    ASSERT_EQ(std::system(("python3 " ORLIX_ROOT "/scripts/make_samples.py " + folder + " >/dev/null").c_str()), 0);
    // The body record spans a boundary of the 1 KiB chunks used below.
    std::string body = Padding(1020) + "ORLIX-CLAMD-TEST-BODY-RECORD" + Padding(3000);
    std::string heuristic = Padding(5000) + "ORLIX-CLAMD-HEURISTIC-RECORD";
    for (const auto& extra : {std::make_pair("empty", std::string()), std::make_pair("body.bin", body),
                              std::make_pair("heuristic.bin", heuristic)}) {
        std::ofstream(folder + "/" + extra.first, std::ios::binary) << extra.second;
    }
    struct Expected {
        const char* file;
        Verdict verdict;
        const char* namePrefix;
    } expected[] = {
        {"clean.txt", Verdict::Clean, ""},
        {"clean.zip", Verdict::Clean, ""},
        {"empty", Verdict::Clean, ""},
        {"eicar.com", Verdict::Infected, "Eicar-Test-Signature"},
        {"eicar.zip", Verdict::Infected, "Eicar-Test-Signature"},
        {"nested.zip", Verdict::Infected, "Eicar-Test-Signature"},
        {"curable.exe", Verdict::Infected, "Orlix.Demo.Appended"},
        {"body.bin", Verdict::Infected, "Orlix.Test.Body"},
        {"heuristic.bin", Verdict::Suspicious, "Heuristics.Orlix.Test"},
    };
    Rig rig{g_clamd->port()};
    rig.bridge.settings().chunk = 1024;
    for (const Expected& e : expected) {
        std::string path = folder + "/" + e.file;
        CheckResult result = rig.Check(ReadFile(path));
        EXPECT_EQ(result.verdict, e.verdict) << e.file << ": " << result.detail;
        EXPECT_EQ(result.virusName.rfind(e.namePrefix, 0), 0u) << e.file << ": " << result.virusName;
        EXPECT_EQ(result.virusName, Clamscan(path)) << e.file;
    }
    // Every object went through one session.
    EXPECT_EQ(rig.network.connects, 1);
}

TEST(ClamdBridge, ObjectsNotCheckedWholeAreNeverClean) {
    REQUIRE_CLAMD();
    Rig rig{g_clamd->port()};
    rig.bridge.settings().maxObject = 64 * 1024;
    // Over max-object by its length: not even sent.
    CheckResult result = rig.Check(Padding(64 * 1024 + 1));
    EXPECT_EQ(result.verdict, Verdict::Failed);
    EXPECT_EQ(rig.network.connects, 0);
    EXPECT_EQ(rig.Check(Padding(64 * 1024)).verdict, Verdict::Clean);

    // A length that hides the size (a 32-bit length wrapped): the cap holds on the bytes read.
    TestObject hidden(Padding(100 * 1024));
    hidden.Tell(10);
    EXPECT_EQ(rig.bridge.Check(hidden).verdict, Verdict::Failed);
    // Bytes past the told length, ending exactly at a chunk: not checked, so no verdict.
    rig.bridge.settings().chunk = 1024;
    TestObject longer(Padding(1024) + "ORLIX-CLAMD-TEST-BODY-RECORD");
    longer.Tell(1024);
    result = rig.bridge.Check(longer);
    EXPECT_EQ(result.verdict, Verdict::Failed) << result.detail;

    // clamd's own limits: its stream limit (an ERROR reply mid-stream) and its
    // file limit (a Heuristics.Limits.Exceeded name). Neither marks it down.
    rig.bridge.settings().maxObject = 25 << 20;
    rig.bridge.settings().chunk = 64 * 1024;
    for (size_t size : {size_t(3) << 20, size_t(1536) << 10}) {
        result = rig.Check(Padding(size));
        EXPECT_EQ(result.verdict, Verdict::Failed) << size;
        EXPECT_NE(result.detail.find(size > (2u << 20) ? "size limit" : "Limits.Exceeded"), std::string::npos)
            << result.detail;
        EXPECT_EQ(result.serversTried, 1);
    }
    EXPECT_EQ(rig.Check("still up").verdict, Verdict::Clean);
}

TEST(ClamdBridge, ObjectFaultsFailTheCheckWithoutBlamingTheServer) {
    FaultServer server(Behaviour::Reply, std::string("stream: OK", 11));
    Rig rig{server.port()};
    TestObject unopenable("x");
    unopenable.failOpen = true;
    EXPECT_EQ(rig.bridge.Check(unopenable).verdict, Verdict::Failed);
    EXPECT_EQ(rig.network.connects, 0);
    TestObject unreadable(Padding(300 * 1024));
    unreadable.failReadAt = 200 * 1024;
    EXPECT_EQ(rig.bridge.Check(unreadable).verdict, Verdict::Failed);
    EXPECT_EQ(unreadable.opens, 1);
    // The server is still in use, and it received the object framed whole.
    std::string object = Padding(150 * 1024 + 7);
    EXPECT_EQ(rig.Check(object).verdict, Verdict::Clean);
    EXPECT_EQ(server.lastObject(), object);

    Bridge empty(rig.network);
    TestObject any("x");
    EXPECT_EQ(empty.Check(any).verdict, Verdict::Failed);
}

TEST(ClamdBridge, StalledServersEndWithinTheTimeoutAndTheNextOneAnswers) {
    REQUIRE_CLAMD();
    FaultServer stall(Behaviour::Stall);
    // A small object waits for the reply; a large one fills the socket buffers first.
    for (size_t size : {size_t(100), size_t(16) << 20}) {
        Rig alone{stall.port()};
        auto start = std::chrono::steady_clock::now();
        CheckResult result = alone.Check(Padding(size));
        double seconds = SecondsSince(start);
        EXPECT_EQ(result.verdict, Verdict::Failed) << size;
        EXPECT_NE(result.detail.find("timed out"), std::string::npos) << result.detail;
        EXPECT_LT(seconds, 3 * 1.5) << size;
    }
    Rig rig{stall.port(), g_clamd->port()};
    CheckResult result = rig.Check(EicarText());
    EXPECT_EQ(result.verdict, Verdict::Infected) << result.detail;
    EXPECT_EQ(result.serversTried, 2);
    // The stalled server is now left alone.
    result = rig.Check(EicarText());
    EXPECT_EQ(result.verdict, Verdict::Infected);
    EXPECT_EQ(result.serversTried, 1);
}

TEST(ClamdBridge, ServersThatBreakOffFailOverAndGarbageIsNeverAVerdict) {
    REQUIRE_CLAMD();
    std::string infected = Padding(200 * 1024) + "ORLIX-CLAMD-TEST-BODY-RECORD";
    for (Behaviour behaviour : {Behaviour::CloseMidStream, Behaviour::ResetMidStream}) {
        FaultServer broken(behaviour);
        Rig alone{broken.port()};
        EXPECT_EQ(alone.Check(infected).verdict, Verdict::Failed);
        Rig rig{broken.port(), g_clamd->port()};
        CheckResult result = rig.Check(infected);
        EXPECT_EQ(result.verdict, Verdict::Infected) << result.detail;
        EXPECT_EQ(result.virusName.rfind("Orlix.Test.Body", 0), 0u);
        EXPECT_EQ(result.serversTried, 2);
    }
    // A reply that is no verdict, or none at all, costs one more session
    // (accepted 2): only a proper reply ends the check at once.
    struct Fault {
        Behaviour behaviour;
        std::string reply;
        int accepted;
        SessionFaults session;
    } faults[] = {
        {Behaviour::Reply, std::string("garbage", 8), 2, {}},
        {Behaviour::Reply, std::string("", 1), 2, {}},
        {Behaviour::Reply, "stream: OK", 1, {}},                // never ended by its NUL: a timeout
        {Behaviour::Reply, "stream: OK", 2, SessionFaults{1}},  // cut off by the end of the connection
        {Behaviour::Reply, std::string(10000, 'A'), 2, {}},
        {Behaviour::Reply, std::string("stream: Heuristics.Limits.Exceeded.MaxScanSize FOUND", 53), 1, {}},
        {Behaviour::EarlyReply, std::string("stream: OK", 11), 2, {}},  // before the end of the stream, unnumbered
    };
    for (const Fault& fault : faults) {
        FaultServer server(fault.behaviour, fault.reply, 0, fault.session);
        Rig rig{server.port()};
        // The early reply must come while the client still sends: more than the socket buffers hold.
        CheckResult result = rig.Check(Padding(fault.behaviour == Behaviour::EarlyReply ? 16 << 20 : 300 * 1024));
        EXPECT_EQ(result.verdict, Verdict::Failed) << fault.reply.substr(0, 60);
        EXPECT_EQ(server.accepted(), fault.accepted) << fault.reply.substr(0, 60);
    }
}

TEST(ClamdBridge, ClamdKilledInTheMiddleOfASessionThenTheNextServerAnswers) {
    REQUIRE_CLAMD();
    ClamdProcess victim;
    ASSERT_TRUE(victim.running());
    Rig rig{victim.port(), g_clamd->port()};
    rig.network.killPort = victim.port();
    EXPECT_EQ(rig.Check("clean").verdict, Verdict::Clean);
    // Killed once the second object's first bytes went out in the session.
    rig.network.killPid = victim.pid();
    CheckResult result = rig.Check(Padding(512 * 1024) + "ORLIX-CLAMD-TEST-BODY-RECORD");
    EXPECT_EQ(result.verdict, Verdict::Infected) << result.detail;
    EXPECT_EQ(result.serversTried, 2);
    EXPECT_EQ(rig.Check("clean").serversTried, 1);
}

TEST(ClamdBridge, AllServersDownThenOneBackAfterTheDownTime) {
    uint16_t port = UnusedPort();
    Rig rig{port};
    rig.bridge.settings().downTimeMs = 400;
    auto start = std::chrono::steady_clock::now();
    CheckResult result = rig.Check("anything");
    EXPECT_EQ(result.verdict, Verdict::Failed);
    EXPECT_NE(result.detail.find("refused"), std::string::npos) << result.detail;
    EXPECT_LT(SecondsSince(start), 3 * 0.5);

    FaultServer back(Behaviour::Reply, std::string("stream: OK", 11), port);
    ASSERT_EQ(back.port(), port);
    result = rig.Check("anything");
    EXPECT_EQ(result.verdict, Verdict::Failed);
    EXPECT_EQ(result.serversTried, 0);
    EXPECT_EQ(back.accepted(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    result = rig.Check("anything");
    EXPECT_EQ(result.verdict, Verdict::Clean) << result.detail;
    EXPECT_EQ(back.accepted(), 1);

    // A new binding forgets who was down.
    rig.bridge.Reset();
    EXPECT_TRUE(rig.bridge.settings().servers.empty());
}

TEST(ClamdBridge, BrokenSessionsSendTheObjectAgainOnceThenFallBackToAConnectionEach) {
    const std::string ok("stream: OK", 11);
    // Ended by the server after every third reply: each check still answers, in a new session.
    FaultServer ending(Behaviour::Reply, ok, 0, SessionFaults{3});
    Rig rig{ending.port()};
    for (int i = 0; i < 10; ++i) {
        CheckResult result = rig.Check("object " + std::to_string(i));
        EXPECT_EQ(result.verdict, Verdict::Clean) << i << ": " << result.detail;
        EXPECT_EQ(result.serversTried, 1) << i;
    }
    EXPECT_EQ(ending.requests(), 10);
    EXPECT_EQ(ending.accepted(), 4);

    // Replies numbered for another request never decide; after a second
    // such session the server gets one connection per object, unnumbered.
    FaultServer wrong(Behaviour::Reply, ok, 0, SessionFaults{0, true});
    Rig misnumbered{wrong.port()};
    CheckResult result = misnumbered.Check(EicarText());
    EXPECT_EQ(result.verdict, Verdict::Failed);
    EXPECT_NE(result.detail.find("not this object's"), std::string::npos) << result.detail;
    EXPECT_EQ(wrong.accepted(), 2);
    result = misnumbered.Check("clean");
    EXPECT_EQ(result.verdict, Verdict::Clean) << result.detail;
    EXPECT_EQ(result.serversTried, 1);
    EXPECT_EQ(wrong.accepted(), 3);

    // Bytes after a reply's NUL: the verdict stands, but the session is not used again.
    FaultServer trailing(Behaviour::Reply, std::string("stream: OK\0junk", 15));
    Rig untidy{trailing.port()};
    EXPECT_EQ(untidy.Check("first").verdict, Verdict::Clean);
    EXPECT_EQ(untidy.Check("second").verdict, Verdict::Clean);
    EXPECT_EQ(trailing.requests(), 2);
    EXPECT_EQ(trailing.accepted(), 2);

    // clamd's unnumbered idle line ends a session the bridge kept too long.
    FaultServer idle(Behaviour::Reply, ok, 0, SessionFaults{0, false, 200});
    Rig late{idle.port()};
    EXPECT_EQ(late.Check("first").verdict, Verdict::Clean);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    result = late.Check("second");
    EXPECT_EQ(result.verdict, Verdict::Clean) << result.detail;
    EXPECT_EQ(idle.idleLines(), 1);
    EXPECT_EQ(idle.accepted(), 2);
}

TEST(ClamdBridge, IdleSessionsCloseBeforeTheServersIdleLimit) {
    FaultServer server(Behaviour::Reply, std::string("stream: OK", 11), 0, SessionFaults{0, false, 600});
    Rig rig{server.port()};
    rig.bridge.settings().sessionIdleMs = 200;
    EXPECT_EQ(rig.Check("object").verdict, Verdict::Clean);
    std::chrono::milliseconds wait;
    EXPECT_TRUE(rig.bridge.CloseIdleSessions(&wait));
    EXPECT_GT(wait.count(), 0);
    EXPECT_LE(wait.count(), 201);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_FALSE(rig.bridge.CloseIdleSessions(&wait));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // The server saw the end of the session before its own limit.
    EXPECT_EQ(server.idleLines(), 0);
    EXPECT_EQ(rig.Check("object").verdict, Verdict::Clean);
    EXPECT_EQ(server.accepted(), 2);
}

TEST(ClamdBridge, SpreadStartsEachCheckAtTheNextServerAndOrderAtTheFirst) {
    const std::string ok("stream: OK", 11);
    FaultServer a(Behaviour::Reply, ok), b(Behaviour::Reply, ok);
    {
        // Its session ends with it: the servers answer one connection at a time.
        Rig ordered{a.port(), b.port()};
        for (int i = 0; i < 4; ++i) EXPECT_EQ(ordered.Check("x").verdict, Verdict::Clean);
        EXPECT_EQ(a.requests(), 4);
        EXPECT_EQ(b.requests(), 0);
    }
    Rig spread{a.port(), b.port()};
    spread.bridge.settings().spread = true;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(spread.Check("x").verdict, Verdict::Clean);
    EXPECT_EQ(a.requests(), 6);
    EXPECT_EQ(b.requests(), 2);
}

// Objects of every verdict, in varying sizes, the same for every run, and
// the verdict each should get.
std::string Mixed(int i) {
    std::string object = Padding(static_cast<size_t>(i % 97) * 41) + std::to_string(i);
    if (i % 7 == 3) object += "ORLIX-CLAMD-TEST-BODY-RECORD";
    if (i % 11 == 5) object += "ORLIX-CLAMD-HEURISTIC-RECORD";
    if (i % 13 == 0) object = EicarText();
    return object;
}
Verdict MixedVerdict(int i) {
    if (i % 13 == 0 || i % 7 == 3) return Verdict::Infected;
    return i % 11 == 5 ? Verdict::Suspicious : Verdict::Clean;
}

TEST(ClamdBridge, TenThousandChecksInOneSessionAnswerAsSeparateConnections) {
    REQUIRE_CLAMD();
    const int count = 10000, sampled = 10;
    Rig separate{g_clamd->port()};
    separate.bridge.settings().sessionIdleMs = 0;
    Rig session{g_clamd->port()};
    int differ = 0;
    for (int i = 0; i < count; ++i) {
        CheckResult held = session.Check(Mixed(i));
        bool same = held.verdict == MixedVerdict(i);
        // Every tenth also through a connection of its own (all of them would
        // leave 10,000 sockets waiting out their close on the machine).
        if (i % sampled == 0) {
            CheckResult one = separate.Check(Mixed(i));
            same = same && one.verdict == held.verdict && one.virusName == held.virusName;
        }
        if (!same && differ++ < 5) ADD_FAILURE() << i << ": " << held.virusName << " " << held.detail;
    }
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(separate.network.connects, count / sampled);
    EXPECT_EQ(session.network.connects, 1);
}

TEST(ClamdBridge, TwoThreadsCheckingAtOnceEachGetTheirOwnVerdicts) {
    REQUIRE_CLAMD();
    Rig rig{g_clamd->port()};
    std::atomic<int> wrong{0};
    auto run = [&](int offset) {
        for (int i = offset; i < 2000; i += 2) {
            if (rig.Check(Mixed(i)).verdict != MixedVerdict(i)) ++wrong;
        }
    };
    std::thread first(run, 0), second(run, 1);
    first.join();
    second.join();
    EXPECT_EQ(wrong, 0);
    // The session carried some of them; a busy session sends a check to a connection of its own.
    EXPECT_LT(rig.network.connects, 2000);
}
