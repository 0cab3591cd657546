// Binding the engine and loading its bases, run in this process against the
// test engine: every report-log line, in order, and the engine operations.
#include "engine/loader.h"

#include <gtest/gtest.h>

#include <thread>

#include "common/child.h"
#include "common/test_engine_setup.h"
#include "engine/engine.h"
#include "plugin_loader.h"
#include "settings/settings.h"

namespace {

class Loader : public testing::Test {
protected:
    void TearDown() override { ReleaseEngine(false); }

    bool Load() {
        engine.WriteSettings(key);
        LoadSettings();
        return LoadEngine();
    }
    std::vector<std::string> Log() { return ReadLogLines(engine.LogFolder()); }
    std::string Base(const std::string& name) { return "LoadBase " + engine.BaseFolder() + "\\" + name; }
    int Count(const std::string& operation) { return engine->CountOperations(operation); }

    SettingsKeyScratch key;
    TestEngineSetup engine;
};

const std::vector<std::string> kNoBases = {"", "ERROR: No virus definitions loaded", ""};

std::vector<std::string> Then(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST_F(Loader, SupportedVersionsBindAndAreLoggedAsMajorDotMinor) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 12);
    for (int32_t version : {427, 431}) {
        engine->SetVersion(version);
        DeleteFileA((engine.LogFolder() + "\\orxbat!.log").c_str());
        EXPECT_TRUE(Load()) << version;
        EXPECT_TRUE(EngineReady());
        std::string shown = version == 427 ? "4.27" : "4.31";
        EXPECT_EQ(Then({"Engine version: " + shown, "", "Loading virus definition base: main.vdb - Ok, 12 records",
                        "Virus definitions loaded, total 12 records", ""},
                       {}),
                  Log());
    }
}

TEST_F(Loader, UnsupportedVersionsAreRefusedBeforeAnyBase) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 12);
    for (int32_t version : {426, 432}) {
        engine->Reset();
        engine->SetVersion(version);
        DeleteFileA((engine.LogFolder() + "\\orxbat!.log").c_str());
        EXPECT_FALSE(Load()) << version;
        EXPECT_FALSE(EngineReady());
        EXPECT_EQ(std::vector<std::string>{"ERROR: Engine version mismatch"}, Log());
        EXPECT_EQ(0, Count("LoadBase"));
        // The probe reports the version; the bound library is not initialised twice.
        EXPECT_EQ(version, ProbeEngine(engine.EngineFile()));
        EXPECT_EQ(1, Count("Init"));
        EXPECT_EQ(-1, EngineScanObject(0, "x"));
        EXPECT_EQ(0, Count("ScanFile"));
    }
}

TEST_F(Loader, NoBaseFileMeansNoDefinitionsAndNoFinishLoad) {
    ASSERT_TRUE(engine.ok());
    EXPECT_FALSE(Load());
    EXPECT_EQ(Then({"Engine version: 4.31"}, kNoBases), Log());
    EXPECT_EQ(0, Count("FinishLoad"));
    EXPECT_FALSE(EngineReady());
    // A scanner without signatures must never be asked.
    EXPECT_EQ(-1, EngineScanObject(0, "x"));
    EXPECT_EQ(0, Count("ScanFile"));
}

TEST_F(Loader, BasesGivingZeroRecordsLoadNothing) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("empty.vdb", 0);
    EXPECT_FALSE(Load());
    EXPECT_EQ(Then({"Engine version: 4.31", "", "Loading virus definition base: empty.vdb - Ok, 0 records"},
                   {"ERROR: No virus definitions loaded", ""}),
              Log());
    EXPECT_EQ(1, Count("FinishLoad"));
    EXPECT_FALSE(EngineReady());
}

TEST_F(Loader, FailingBasesAreSkippedAndTheOthersCount) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("a.vdb", -1);
    engine.AddBase("b.vdb", 7);
    engine.AddBase("c.vdb", -5);  // not a count of records either
    engine.AddBase("d.vdb", 3);
    EXPECT_TRUE(Load());
    std::vector<std::string> log = Log();
    ASSERT_EQ(8u, log.size());
    EXPECT_EQ("", log[1]);
    std::vector<std::string> bases(log.begin() + 2, log.begin() + 6);
    std::sort(bases.begin(), bases.end());
    EXPECT_EQ(
        (std::vector<std::string>{
            "Loading virus definition base: a.vdb - failed", "Loading virus definition base: b.vdb - Ok, 7 records",
            "Loading virus definition base: c.vdb - failed", "Loading virus definition base: d.vdb - Ok, 3 records"}),
        bases);
    EXPECT_EQ("Virus definitions loaded, total 10 records", log[6]);
    EXPECT_EQ("", log[7]);
    EXPECT_EQ(4, Count("LoadBase"));
    EXPECT_TRUE(EngineReady());
}

TEST_F(Loader, DirectoriesNamedLikeBasesAreSkippedSilently) {
    ASSERT_TRUE(engine.ok());
    CreateDirectoryA((engine.BaseFolder() + "\\folder.vdb").c_str(), nullptr);
    EXPECT_FALSE(Load());
    EXPECT_EQ(Then({"Engine version: 4.31"}, kNoBases), Log());
    EXPECT_EQ(0, Count("LoadBase"));
    EXPECT_EQ(1, Count("FinishLoad"));  // something matched, even if only a folder

    engine.AddBase("real.vdb", 2);
    EXPECT_TRUE(LoadEngine());
    EXPECT_EQ(1, Count("LoadBase"));
    EXPECT_EQ(1, Count(Base("real.vdb")));
}

TEST_F(Loader, BasePathEndingInASeparatorGetsNoSecondOne) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 1);
    for (const char* separator : {"\\", "/"}) {
        engine->Reset();
        engine.WriteSettings(key);
        key.Text(setting::kBasePath, engine.BaseFolder() + separator);
        LoadSettings();
        EXPECT_TRUE(LoadEngine());
        EXPECT_EQ(1, Count("LoadBase " + engine.BaseFolder() + separator + "main.vdb")) << separator;
    }
}

TEST_F(Loader, MissingLibraryIsOneLineAndProbesAsZero) {
    TempDir empty;
    engine.WriteSettings(key);
    key.Text(setting::kEnginePath, empty.path());
    LoadSettings();
    EXPECT_FALSE(LoadEngine());
    const std::string line = "ERROR: Cannot load engine DLL (" + empty.path() + "\\orlix32.dll)";
    EXPECT_EQ(std::vector<std::string>{line}, Log());
    EXPECT_EQ(0, ProbeEngine(empty.File("orlix32.dll")));
    EXPECT_EQ((std::vector<std::string>{line, line}), Log());
}

TEST_F(Loader, LibraryWithoutInitProcedureIsRefused) {
    TempDir folder;
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "orlix.bav").c_str(), folder.File("orlix32.dll").c_str(), FALSE));
    engine.WriteSettings(key);
    key.Text(setting::kEnginePath, folder.path());
    LoadSettings();
    EXPECT_FALSE(LoadEngine());
    EXPECT_EQ(std::vector<std::string>{"ERROR: Cannot find engine init procedure"}, Log());
    EXPECT_EQ(0, ProbeEngine(folder.File("orlix32.dll")));
    ReleaseEngine(false);
}

TEST_F(Loader, RefusedInitIsRefused) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 1);
    engine->SetInitRefuses(1);
    EXPECT_FALSE(Load());
    EXPECT_EQ(std::vector<std::string>{"ERROR: Cannot get engine entry point"}, Log());
    EXPECT_EQ(0, Count("GetVersion"));
    EXPECT_EQ(0, ProbeEngine(engine.EngineFile()));
}

TEST_F(Loader, InitReceivesTheTableAndTheVersionRecord) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 1);
    ASSERT_TRUE(Load());
    uint32_t table = 0;
    int32_t count = 0, words[3] = {}, reserved = -1;
    ASSERT_EQ(1, engine->InitArguments(&table, &count, words, &reserved));
    EXPECT_NE(0u, table);
    EXPECT_EQ(52, count);
    EXPECT_EQ(3, words[0]);
    EXPECT_EQ(431, words[1]);
    EXPECT_EQ(0, words[2]);
    EXPECT_EQ(0, reserved);
}

TEST_F(Loader, ProbeOnASecondThreadLeavesTheBoundEngineAlone) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 5);
    ASSERT_TRUE(Load());
    TestEngineSetup other;
    ASSERT_TRUE(other.ok());
    other->SetVersion(428);
    const std::string otherFile = other.EngineFile();
    other.ReleaseModule();

    int32_t probedOther = -2, probedBound = -2;
    std::thread prober([&] {
        probedOther = ProbeEngine(otherFile);
        probedBound = ProbeEngine(engine.EngineFile());
    });
    prober.join();
    // Without the test's reference the other library was unloaded, so the
    // probe loaded it afresh (default version) and unloaded it again; the
    // bound one was neither initialised a second time nor freed.
    EXPECT_EQ(431, probedOther);
    EXPECT_EQ(nullptr, GetModuleHandleA(otherFile.c_str()));
    EXPECT_EQ(431, probedBound);
    EXPECT_EQ(1, Count("Init"));
    EXPECT_TRUE(EngineReady());
    engine->QueueScan("obj", 0, 1);
    EXPECT_EQ(1, EngineScanObject(0, "obj"));
}

TEST_F(Loader, ProbeGivesTheVersionOfAnotherLibraryWhileOneIsBound) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 5);
    ASSERT_TRUE(Load());
    TestEngineSetup other;
    ASSERT_TRUE(other.ok());
    other->SetVersion(432);
    int32_t probed = 0;
    std::thread prober([&] { probed = ProbeEngine(other.EngineFile()); });
    prober.join();
    EXPECT_EQ(432, probed);
    EXPECT_EQ((std::vector<std::string>{"Init 52 0", "GetVersion"}), other->Operations());
    EXPECT_EQ(1, Count("Init"));
    EXPECT_TRUE(EngineReady());
}

TEST_F(Loader, OperationsPassTheirArguments) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 5);
    ASSERT_TRUE(Load());
    engine->Reset();
    engine->QueueScan("arc", 1, 0x1000);
    engine->Member("arc", "inner.txt", 0, 0);
    orlix::ArchiveMemberHeader header = {};
    char archiver[orlix::kArchiverNameBufferSize];
    EXPECT_EQ(0x1000, EngineScanObject(1, "arc"));
    EXPECT_EQ(0, EngineGetLastArchiverName(archiver));
    EXPECT_STREQ("ZIP", archiver);
    EXPECT_EQ(0, EngineOpenArchiveLevel());
    EXPECT_EQ(0, EngineNextMember(&header));
    EXPECT_STREQ("inner.txt", reinterpret_cast<char*>(header.bytes + 8));
    EXPECT_EQ(0, EngineExtractMember(&header));
    EXPECT_EQ(0x8000, EngineNextMember(&header));
    EngineCloseArchiveLevel(&header);
    EXPECT_EQ(
        (std::vector<std::string>{"ScanFile 1 1 arc 0", "LastArchiverName", "OpenArchive 1", "GetNextFileHeader 512",
                                  "ExtractNextFile 1", "GetNextFileHeader 512", "CloseArchive"}),
        engine->Operations());
    const uint32_t headerAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&header));
    for (const TE_Record& r : engine->Records()) {
        EXPECT_EQ(0, r.reserved);
        if (r.op >= 13) {
            EXPECT_EQ(headerAddress, r.args[0]);
        }
    }
}

TEST_F(Loader, EngineTextsAreBoundedInsideTheirBuffers) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 5);
    ASSERT_TRUE(Load());
    const std::string longName(260, 'V');
    engine->SetVirusName("obj", longName.data(), 260);
    const std::string longArchiver(21, 'A');
    engine->SetArchiverName("obj", longArchiver.data(), 21, 0);
    EngineScanObject(0, "obj");
    char virus[orlix::kVirusNameBufferSize];
    EngineGetLastVirusName(virus);
    EXPECT_EQ(std::string(257, 'V'), virus);
    char archiver[orlix::kArchiverNameBufferSize];
    EXPECT_EQ(0, EngineGetLastArchiverName(archiver));
    EXPECT_EQ(std::string(20, 'A'), archiver);

    engine->SetArchiverName("obj", "RAR", -1, -1);
    EXPECT_EQ(-1, EngineGetLastArchiverName(archiver));
    EXPECT_STREQ("", archiver);
}

TEST_F(Loader, ReloadingReplacesTheBindingWithoutKeepingTheOldLibrary) {
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 5);
    ASSERT_TRUE(Load());
    TestEngineSetup second;
    ASSERT_TRUE(second.ok());
    second.AddBase("main.vdb", 5);
    const std::string firstFile = engine.EngineFile();
    engine.ReleaseModule();
    ASSERT_NE(nullptr, GetModuleHandleA(firstFile.c_str()));
    key.Text(setting::kEnginePath, second.EngineFolder());
    LoadSettings();
    EXPECT_TRUE(LoadEngine());
    EXPECT_EQ(nullptr, GetModuleHandleA(firstFile.c_str()));
    EXPECT_GT(second->RecordCount(), 0);
}
