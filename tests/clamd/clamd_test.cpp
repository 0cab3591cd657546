// The clamd bridge installed as the plug-in's engine: bavhost checks through
// orlix.bav, the bridge and a private clamd (or servers that fail).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "win32/unique_handle.h"
#include "bavhost/host_process.h"
#include "clamd/fault_server.h"
#include "common/eicar.h"
#include "common/scratch.h"
#include "common/zip_writer.h"
#include "orlix/contract.h"
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

// The four host callbacks the bridge needs, over plain files, for loading
// the DLL without the plug-in.
int32_t __cdecl HostOpen(int32_t, int32_t name, int32_t) {
    HANDLE file = CreateFileA(reinterpret_cast<const char*>(static_cast<intptr_t>(name)), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    return file == INVALID_HANDLE_VALUE ? -1 : static_cast<int32_t>(reinterpret_cast<intptr_t>(file));
}
HANDLE FileOf(int32_t handle) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle)); }
int32_t __cdecl HostClose(int32_t, int32_t handle) { return CloseHandle(FileOf(handle)) ? 0 : -1; }
int32_t __cdecl HostRead(int32_t, int32_t handle, int32_t buffer, int32_t count) {
    DWORD done = 0;
    void* into = reinterpret_cast<void*>(static_cast<intptr_t>(buffer));
    return ReadFile(FileOf(handle), into, static_cast<DWORD>(count), &done, nullptr) ? static_cast<int32_t>(done) : -1;
}
int32_t __cdecl HostLength(int32_t, int32_t handle) {
    return static_cast<int32_t>(GetFileSize(FileOf(handle), nullptr));
}

const orlix::CallbackSlot* FileHost() {
    static orlix::CallbackSlot table[orlix::kCallbackSlotCount] = {};
    table[orlix::SlotOpenFile] = {reinterpret_cast<void*>(HostOpen), 2};
    table[orlix::SlotCloseFile] = {reinterpret_cast<void*>(HostClose), 1};
    table[orlix::SlotReadFile] = {reinterpret_cast<void*>(HostRead), 3};
    table[orlix::SlotGetFileLength] = {reinterpret_cast<void*>(HostLength), 1};
    return table;
}

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
    FaultServer unnumbered(std::string("stream: OK", 11));  // not the session's reply to this object
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
        {Server(unnumbered.port()), ": -3 failed - Engine error"},
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

// The thread that closes idle sessions holds the DLL: unloaded while a
// session is open, the DLL stays until the session is closed, then goes.
TEST_F(ClamdBridgeTest, AnUnloadWaitsUntilTheIdleSessionIsClosed) {
    Configure(Server(clamd) + "session-idle 300ms\n");
    const std::string engine = install.File("orlix32.dll");
    HMODULE module = LoadLibraryA(engine.c_str());
    ASSERT_NE(module, nullptr);
    auto init = reinterpret_cast<orlix::EngineInitProc>(
        reinterpret_cast<void*>(GetProcAddress(module, orlix::kEngineInitExport)));
    ASSERT_NE(init, nullptr);
    auto entry = reinterpret_cast<orlix::EngineEntryProc>(init(FileHost(), orlix::kCallbackSlotCount, nullptr, 0));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry(0, orlix::EngineLoadBase, install.File("clamd.vdb").c_str()), 1);
    ASSERT_TRUE(WriteFileBytes(work.File("clean.txt"), "clean"));
    EXPECT_EQ(entry(0, orlix::EngineScanFile, orlix::kScanModeCheck, 1, work.File("clean.txt").c_str(), 0), 0);
    FreeLibrary(module);
    EXPECT_EQ(GetModuleHandleA(engine.c_str()), module);
    bool gone = false;
    for (int i = 0; i < 50 && !gone; ++i) {
        Sleep(100);
        gone = GetModuleHandleA(engine.c_str()) == nullptr;
    }
    EXPECT_TRUE(gone);
}
