// bavhost end to end: the real plug-in beside it, the reference engine
// installed in a scratch folder through the settings key.
#include <gtest/gtest.h>

#include "bavhost/host_process.h"
#include "common/eicar.h"
#include "common/scratch.h"
#include "common/zip_writer.h"
#include "plugin_loader.h"

namespace {

class BavhostTest : public ::testing::Test {
protected:
    SettingsKeyScratch key;
    TempDir install;
    TempDir work;

    void SetUp() override {
        std::string engineFolder = ProgramFolder() + "..\\refengine\\";
        ASSERT_TRUE(CopyFileA((engineFolder + "orlix32.dll").c_str(), install.File("orlix32.dll").c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((engineFolder + "default.vdb").c_str(), install.File("default.vdb").c_str(), FALSE));
        WriteFileBytes(install.File("cure.vdb"), "Appended:0:*:2a2a424f44592a2a:c\n");
        key.Text(setting::kOrlixPath, install.path());
        key.Flag(setting::kLogEnabled, 1);
        key.Flag(setting::kNotifyVirus, 0);
        key.Flag(setting::kNotifyError, 0);
    }

    std::string Sample(const std::string& name, const std::string& bytes) {
        WriteFileBytes(work.File(name), bytes);
        return work.File(name);
    }

    bool LogHas(const std::string& text) {
        for (const std::string& line : ReadLogLines(install.path())) {
            if (line == text) return true;
        }
        return false;
    }
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(BavhostTest, HelpAndBadArgumentsAnswerWithTheirStatus) {
    HostRun help = RunHost("--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_TRUE(Contains(help.output, "check --memory FILE"));
    EXPECT_TRUE(Contains(help.output, "Exit status"));
    EXPECT_EQ(RunHost("").exitCode, 2u);
    EXPECT_EQ(RunHost("scan x").exitCode, 2u);
    EXPECT_EQ(RunHost("check").exitCode, 2u);
    EXPECT_EQ(RunHost("--verbose info").exitCode, 2u);
    HostRun missing = RunHost("--plugin " + Quote(work.File("none.bav")) + " info");
    EXPECT_EQ(missing.exitCode, 2u);
    EXPECT_TRUE(Contains(missing.output, "cannot load"));
}

TEST_F(BavhostTest, InfoShowsNameVersionAndCapabilities) {
    HostRun run = RunHost("info");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(Contains(run.output, "Name:      Orlix for TheBAT!\n"));
    EXPECT_TRUE(Contains(run.output, "Version:   4.31.0.04020\n"));
    EXPECT_TRUE(Contains(run.output, "Files:     yes\n"));
    EXPECT_TRUE(Contains(run.output, "Memory:    yes\n"));
    EXPECT_TRUE(Contains(run.output, "Streams:   no\n"));
}

TEST_F(BavhostTest, CheckPrintsAVerdictPerFileAndExitsByTheWorstOne) {
    std::string clean = Sample("clean.txt", "nothing to see");
    std::string eicar = Sample("eicar.com", EicarText());
    std::string missing = work.File("missing.txt");

    HostRun run = RunHost("check " + Quote(clean));
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(Contains(run.output, clean + ": 0 clean - Ok\n")) << run.output;

    run = RunHost("check " + Quote(clean) + " " + Quote(eicar));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.output, eicar + ": 1 infected - Infected by Eicar-Test-Signature\n")) << run.output;
    EXPECT_TRUE(LogHas("CheckFile: " + eicar + " - Infected by Eicar-Test-Signature"));

    run = RunHost("--progress check " + Quote(clean) + " " + Quote(clean));
    EXPECT_TRUE(Contains(run.output, "[1/2]")) << run.output;
    EXPECT_TRUE(Contains(run.output, "[2/2]")) << run.output;
    EXPECT_FALSE(Contains(RunHost("--no-progress check " + Quote(clean)).output, "[1/1]"));

    run = RunHost("check " + Quote(eicar) + " " + Quote(missing));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(Contains(run.output, missing + ": -3 failed - Engine error\n")) << run.output;
}

TEST_F(BavhostTest, CheckWalksArchives) {
    ZipMember inner;
    inner.name = "eicar.com";
    inner.data = EicarText();
    ZipMember nested;
    nested.name = "inner.zip";
    nested.data = BuildZip({inner});
    std::string zip = Sample("nested.zip", BuildZip({nested}));
    HostRun run = RunHost("check " + Quote(zip));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.output, ": 1 infected - Infected by Eicar-Test-Signature")) << run.output;
    EXPECT_TRUE(LogHas("CheckArchive: " + zip + "\\inner.zip\\eicar.com - Infected by Eicar-Test-Signature"));

    ZipLayout damagedLayout;
    damagedLayout.badCentralHeader = true;
    std::string damaged = Sample("damaged.zip", BuildZip({inner}, damagedLayout));
    run = RunHost("check " + Quote(damaged));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(Contains(run.output, damaged + ": -3 failed - invalid archive header")) << run.output;
}

TEST_F(BavhostTest, CheckWalksTarAndGzip) {
    TarMember clean;
    clean.name = "readme.txt";
    clean.data = "clean";
    TarMember infected;
    infected.name = "eicar.com";
    infected.data = EicarText();
    std::string tar = BuildTar({clean, infected});
    struct {
        const char* file;
        std::string bytes;
        const char* inner;  // the member name in the log line's prefix
    } samples[] = {{"a.tar", tar, ""},
                   {"b.tar.gz", BuildGzip(tar), "\\b.tar"},
                   {"c.tgz", BuildGzip(tar), "\\c.tar"},
                   {"eicar.com.gz", BuildGzip(EicarText()), ""}};
    for (const auto& sample : samples) {
        std::string path = Sample(sample.file, sample.bytes);
        HostRun run = RunHost("check " + Quote(path));
        EXPECT_EQ(run.exitCode, 1u) << sample.file;
        EXPECT_TRUE(Contains(run.output, path + ": 1 infected - Infected by Eicar-Test-Signature")) << run.output;
        EXPECT_TRUE(LogHas("CheckArchive: " + path + sample.inner + "\\eicar.com - Infected by Eicar-Test-Signature"))
            << sample.file;
    }
}

TEST_F(BavhostTest, CheckMemoryHandsTheBytesOverAsABlock) {
    std::string eicar = Sample("eicar.com", EicarText());
    std::string clean = Sample("clean.txt", "clean");
    HostRun run = RunHost("check --memory " + Quote(eicar) + " " + Quote(clean));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.output, eicar + ": 1 infected - Infected by Eicar-Test-Signature\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, clean + ": 0 clean - Ok\n")) << run.output;
    EXPECT_TRUE(LogHas("CheckFile: [memory object] - Infected by Eicar-Test-Signature"));
    bool memoryLine = false;
    for (const std::string& line : ReadLogLines(install.path())) {
        if (line.rfind("CheckMemory: at ", 0) == 0 && line.find(", 68 bytes") != std::string::npos) memoryLine = true;
    }
    EXPECT_TRUE(memoryLine);
}

TEST_F(BavhostTest, CureCutsACurableFindAndReportsAnIncurableOne) {
    std::string host(3000, 'h');
    std::string curable = Sample("curable.exe", host + "**BODY**tail");
    HostRun run = RunHost("cure " + Quote(curable));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(Contains(run.output, curable + ": 0 cured or clean - Ok\n")) << run.output;
    EXPECT_EQ(ReadFileBytes(curable), host);
    EXPECT_EQ(RunHost("check " + Quote(curable)).exitCode, 0u);

    std::string eicar = Sample("eicar.com", EicarText());
    run = RunHost("cure " + Quote(eicar));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(Contains(run.output, eicar + ": -3 failed - not cured\n")) << run.output;
    EXPECT_EQ(ReadFileBytes(eicar), EicarText());
}

TEST_F(BavhostTest, ShowLogPrintsWhatTheRunWrote) {
    std::string eicar = Sample("eicar.com", EicarText());
    RunHost("check " + Quote(eicar));
    HostRun run = RunHost("--show-log check " + Quote(eicar));
    EXPECT_EQ(run.exitCode, 1u);
    // Only this run's lines: the heading appears once, not twice.
    std::string heading = "CheckFile: " + eicar + "\n";
    size_t first = run.output.find(heading);
    ASSERT_NE(first, std::string::npos) << run.output;
    EXPECT_EQ(run.output.find(heading, first + 1), std::string::npos);
    EXPECT_TRUE(Contains(run.output, "Orlix for TheBAT! unloaded\n"));
}

TEST_F(BavhostTest, ShowLogReportsTheRequestToOpenTheLogWindow) {
    key.Flag(setting::kShowLogVirus, 1);
    std::string eicar = Sample("eicar.com", EicarText());
    HostRun run = RunHost("--show-log check " + Quote(eicar));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Contains(run.output, "--- the plug-in asked the mail client to open its log window")) << run.output;
    key.Flag(setting::kShowLogVirus, 0);
    run = RunHost("--show-log check " + Quote(eicar));
    EXPECT_FALSE(Contains(run.output, "open its log window")) << run.output;
}

TEST_F(BavhostTest, ChecksFailWhenNoEngineIsConfigured) {
    key.Text(setting::kOrlixPath, "");
    std::string clean = Sample("clean.txt", "clean");
    HostRun run = RunHost("check " + Quote(clean));
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(Contains(run.output, "BAV_Initialize: -3")) << run.output;
}

TEST_F(BavhostTest, ConfigShowsAndWritesTheSettingsKey) {
    HostRun run = RunHost("config LogEventsOnly=1 " + Quote("SoundFileInfected=C:\\sounds\\virus.wav"));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    DWORD type = 0;
    EXPECT_EQ(key.Read(setting::kLogEventsOnly, &type), "1");
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(key.Read(setting::kSoundFileInfected, &type), "C:\\sounds\\virus.wav");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    run = RunHost("config");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(Contains(run.output, "  OrlixPath = " + install.path() + "\n")) << run.output;
    EXPECT_TRUE(Contains(run.output, "  LogEventsOnly = 1\n"));
    EXPECT_TRUE(Contains(run.output, "  CheckPacked = <missing>\n"));

    EXPECT_EQ(RunHost("config --unset LogEventsOnly").exitCode, 0u);
    EXPECT_FALSE(key.Has(setting::kLogEventsOnly));
    EXPECT_EQ(RunHost("config Bogus=1").exitCode, 2u);
    EXPECT_EQ(RunHost("config LogEnabled=yes").exitCode, 2u);
    EXPECT_EQ(RunHost("config OrlixPath").exitCode, 2u);
    EXPECT_EQ(key.Read(setting::kOrlixPath), install.path()) << "a refused command writes nothing";
}

namespace {

struct SheetSearch {
    DWORD process;
    HWND sheet;
};

BOOL CALLBACK FindSheet(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<SheetSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (owner == search->process && IsWindowVisible(window) && std::string(cls) == "#32770") {
        search->sheet = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

TEST_F(BavhostTest, SetupOpensOverTheVirusCentreAndReportsACancel) {
    bool sawSheet = false;
    std::string parentClass;
    HostRun run = RunHost("setup", std::string(), [&](DWORD process) {
        SheetSearch search = {process, nullptr};
        EnumWindows(FindSheet, reinterpret_cast<LPARAM>(&search));
        if (!search.sheet) return;
        sawSheet = true;
        char cls[64] = "";
        GetClassNameA(GetWindow(search.sheet, GW_OWNER), cls, sizeof cls);
        parentClass = cls;
        PostMessageA(search.sheet, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_TRUE(Contains(run.output, "BAV_Setup: -3 (not accepted)")) << run.output;
    if (sawSheet) {
        EXPECT_EQ(parentClass, "TVirusCentre");
    }
}
