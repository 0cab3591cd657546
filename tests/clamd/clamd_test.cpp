// The clamd bridge installed as the plug-in's engine: bavhost checks through
// orlix.bav, the bridge and a private clamd (or servers that fail).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "base/unique_handle.h"
#include "bavhost/host_process.h"
#include "clamd/fault_server.h"
#include "common/eicar.h"
#include "common/scratch.h"
#include "common/zip_writer.h"
#include "plugin_loader.h"

namespace {

std::string WindowsPath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return "Z:" + path;
}

// The port of the clamd the ctest fixture started, 0 when there is none.
int ClamdPort() { return std::atoi(ReadFileBytes(WindowsPath(CLAMD_TEST_DIR "/port")).c_str()); }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ClamdBridgeTest : public ::testing::Test {
protected:
    SettingsKeyScratch key;
    TempDir install;
    TempDir work;
    int clamd = 0;

    void SetUp() override {
        clamd = ClamdPort();
        ASSERT_NE(clamd, 0) << "no private clamd: run the test through ctest (fixture clamd_server)";
        std::string engine = ProgramFolder() + "..\\clamd-engine\\orlix32.dll";
        ASSERT_TRUE(CopyFileA(engine.c_str(), install.File("orlix32.dll").c_str(), FALSE));
        key.Text(setting::kOrlixPath, install.path());
        key.Flag(setting::kLogEnabled, 1);
        key.Flag(setting::kNotifyVirus, 0);
        key.Flag(setting::kNotifyError, 0);
    }

    void Configure(const std::string& text) { ASSERT_TRUE(WriteFileBytes(install.File("clamd.vdb"), text)); }

    std::string Server(int port) { return "server 127.0.0.1:" + std::to_string(port) + "\n"; }

    std::string Sample(const std::string& name, const std::string& bytes) {
        WriteFileBytes(work.File(name), bytes);
        return Quote(work.File(name));
    }

    bool LogHas(const std::string& text) {
        for (const std::string& line : ReadLogLines(install.path())) {
            if (Contains(line, text)) return true;
        }
        return false;
    }
};

std::string Zip(const std::string& name, const std::string& data) {
    ZipMember member;
    member.name = name;
    member.data = data;
    return BuildZip({member});
}

}  // namespace

TEST_F(ClamdBridgeTest, ClamdVerdictsReachTheMailClient) {
    Configure("# the private clamd\n" + Server(clamd) + "bogus line\nmax-object 64K\n");
    std::string filler(5000, 'x');
    std::string files = Sample("clean.txt", "Dear colleague, nothing here.") + " " + Sample("empty", "") + " " +
                        Sample("eicar.com", EicarText()) + " " + Sample("eicar.zip", Zip("eicar.com", EicarText())) +
                        " " + Sample("nested.zip", Zip("inner.zip", Zip("eicar.com", EicarText()))) + " " +
                        Sample("body.bin", filler + "ORLIX-CLAMD-TEST-BODY-RECORD" + filler) + " " +
                        Sample("heuristic.bin", filler + "ORLIX-CLAMD-HEURISTIC-RECORD") + " " +
                        Sample("large.bin", std::string(64 * 1024 + 1, 'y'));
    HostRun run = RunHost("check " + files, work.path());
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    const char* expected[] = {
        "clean.txt: 0 clean - Ok\n",
        "empty: 0 clean - Ok\n",
        "eicar.com: 1 infected - Infected by Eicar-Test-Signature",
        "eicar.zip: 1 infected - Infected by Eicar-Test-Signature",
        "nested.zip: 1 infected - Infected by Eicar-Test-Signature",
        "body.bin: 1 infected - Infected by Orlix.Test.Body",
        "heuristic.bin: 2 suspicious",
        "large.bin: -3 failed - Engine error\n",
    };
    for (const char* line : expected) EXPECT_TRUE(Contains(run.output, line)) << line << "\n" << run.output;
    // The malformed line is not fatal; the server counts as the base's one record.
    EXPECT_TRUE(LogHas("clamd.vdb - Ok, 1 records"));
    // clamd walks the archive itself: the plug-in sees no archive to walk.
    EXPECT_FALSE(LogHas("CheckArchive:"));

    run =
        RunHost("check --memory " + Sample("eicar.com", EicarText()) + " " + Sample("clean.txt", "clean"), work.path());
    EXPECT_TRUE(Contains(run.output, "eicar.com: 1 infected - Infected by Eicar-Test-Signature")) << run.output;
    EXPECT_TRUE(Contains(run.output, "clean.txt: 0 clean - Ok\n")) << run.output;

    // clamd cannot cure: the find stays and the file is untouched.
    run = RunHost("cure " + Sample("eicar.com", EicarText()), work.path());
    EXPECT_TRUE(Contains(run.output, "eicar.com: -3 failed - not cured")) << run.output;
    EXPECT_EQ(ReadFileBytes(work.File("eicar.com")), EicarText());
    EXPECT_TRUE(Contains(RunHost("cure " + Sample("clean.txt", "clean"), work.path()).output, ": 0 cured or clean"));
}

TEST_F(ClamdBridgeTest, FailingServersEndInFailedChecksWithinTheTimeoutOrFailOver) {
    FaultServer stall;
    FaultServer garbage(std::string("garbage", 8));
    ASSERT_NE(stall.port(), 0);
    const std::string timeouts = "connect-timeout 500ms\nreply-timeout 2s\n";
    const double bound = 3 * 2.5;  // three times the timeouts; a bavhost run starts in about a second
    std::string eicar = Sample("eicar.com", EicarText());
    struct Case {
        std::string servers;
        const char* verdict;
    } cases[] = {
        {Server(UnusedPort()), ": -3 failed - Engine error"},
        {Server(stall.port()), ": -3 failed - Engine error"},
        {Server(garbage.port()), ": -3 failed - Engine error"},
        {Server(UnusedPort()) + Server(stall.port()), ": -3 failed - Engine error"},
        {Server(UnusedPort()) + Server(clamd), ": 1 infected - Infected by Eicar-Test-Signature"},
        {Server(stall.port()) + Server(clamd), ": 1 infected - Infected by Eicar-Test-Signature"},
    };
    for (const Case& c : cases) {
        Configure(timeouts + c.servers);
        auto start = std::chrono::steady_clock::now();
        HostRun run = RunHost("check " + eicar, work.path());
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_TRUE(Contains(run.output, c.verdict)) << c.servers << run.output;
        EXPECT_LT(seconds, bound) << c.servers;
    }
    EXPECT_GE(garbage.accepted(), 1);
}
