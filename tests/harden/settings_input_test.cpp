// Bad input from the registry and the file system: values of every type and
// size, folders that are missing, unwritable, too long or oddly named, a log
// file held by someone else, bases that vanish while they load. The plug-in
// starts (or refuses to) with a documented answer and checks keep answering.
#include <algorithm>
#include <cstdio>
#include <random>

#include "orlix/contract.h"
#include "harden_fixture.h"

namespace {

const char* const kValueNames[] = {
    setting::kPath,           setting::kOrlixPath,         setting::kEnginePath,         setting::kBasePath,
    setting::kLogPath,        setting::kLogEnabled,        setting::kLogEventsOnly,      setting::kSoundInfected,
    setting::kSoundIncurable, setting::kSoundFileInfected, setting::kSoundFileIncurable, setting::kScanByFormat,
    setting::kShowAdvanced,   setting::kNotifyVirus,       setting::kNotifyError,        setting::kShowLogVirus,
    setting::kShowLogError,   setting::kCheckArchives,     setting::kCheckPacked};

class BadInput : public Hardened {
protected:
    HostStatus status;

    // One session as the mail client runs it; answers of start-up and of a
    // file and a memory check.
    struct Session {
        int32_t initialize = 99;
        int32_t checkFile = 99;
        int32_t checkMemory = 99;
        int32_t uninitialize = 99;
    };
    Session RunSession(const std::string& file) {
        Session s;
        if (!plugin.LoadCounted()) return s;
        s.initialize = plugin.Initialize();
        status.Reset();
        s.checkFile = plugin.CheckFile(file.c_str(), status.get());
        EXPECT_TRUE(status.Bounded());
        char block[64] = "memory block";
        status.Reset();
        s.checkMemory =
            plugin.CheckMemory(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(block)), sizeof block, status.get());
        EXPECT_TRUE(status.Bounded());
        EXPECT_EQ(0, plugin.Counters().openObjects);
        s.uninitialize = plugin.Uninitialize();
        plugin.Unload();
        return s;
    }

    static bool Documented(const Session& s) {
        auto check = [](int32_t a) { return a == 0 || a == 1 || a == 2 || a == -3; };
        return (s.initialize == 0 || s.initialize == -3) && check(s.checkFile) && check(s.checkMemory) &&
               s.uninitialize == 0;
    }
};

}  // namespace

TEST_F(BadInput, RegistryValuesOfEveryTypeAndSize) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    const std::string file = engine->LogFolder() + "\\x.bin";
    WriteFileBytes(file, "x");
    const DWORD types[] = {REG_NONE, REG_SZ,       REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                           REG_LINK, REG_MULTI_SZ, REG_QWORD,     0x12345678};
    const DWORD sizes[] = {0, 1, 3, 4, 5, 8, 259, 260, 261, 4096, 70000};
    std::mt19937 random(7);
    std::string bytes(70000, '\0');
    // Random texts stay one name relative to a scratch folder: no separator
    // or drive can send a log line or a lookup anywhere else.
    const std::string alphabet = "abcXYZ019 .-_#$%&'()+,;=@[]^`{}~\x01\x7f\x80\xe9\xff";
    TempDir scratch;
    CurrentFolderScratch inScratch(scratch.path());
    ASSERT_TRUE(inScratch.ok());
    int sessions = 0;
    for (DWORD type : types) {
        for (DWORD size : sizes) {
            for (const char* name : kValueNames) {
                // Never terminated: texts run to the end of their data.
                for (DWORD i = 0; i < size; ++i) bytes[i] = alphabet[random() % alphabet.size()];
                key.Raw(name, type, bytes.data(), size);
            }
            const Session s = RunSession(file);
            ++sessions;
            EXPECT_TRUE(Documented(s)) << "type " << type << " size " << size << ": " << s.initialize << " "
                                       << s.checkFile << " " << s.checkMemory;
        }
    }
    EXPECT_EQ(110, sessions);
}

TEST_F(BadInput, FlagsOfTheWrongTypeOrSizeKeepTheirDefaults) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    const std::string file = engine->LogFolder() + "\\x.bin";
    WriteFileBytes(file, "x");
    const DWORD zero[2] = {0, 0};
    // LogEnabled off in every form but the right one: the log stays on.
    key.Raw(setting::kLogEnabled, REG_BINARY, zero, 4);
    RunSession(file);
    key.Raw(setting::kLogEnabled, REG_DWORD, zero, 2);
    RunSession(file);
    key.Raw(setting::kLogEnabled, REG_QWORD, zero, 8);
    RunSession(file);
    const std::vector<std::string> lines = ReadLogLines(engine->LogFolder());
    EXPECT_EQ(3, std::count(lines.begin(), lines.end(), "CheckFile: " + file + " - Ok"));
}

TEST_F(BadInput, FoldersMissingUnwritableTooLongOrOddlyNamed) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    const std::string good = engine->LogFolder();
    const std::string file = good + "\\x.bin";
    WriteFileBytes(file, "x");
    const std::string aFile = good + "\\plain.txt";
    WriteFileBytes(aFile, "not a folder");
    // Folders whose full names are 259, 260 and more characters long.
    auto longFolder = [&](size_t length) {
        std::string path = good + "\\";
        path += std::string(length > path.size() ? length - path.size() : 1, 'L');
        return path;
    };
    const std::vector<std::string> odd = {good + "\\missing",
                                          aFile + "\\below a file",
                                          longFolder(259),
                                          longFolder(260),
                                          longFolder(300),
                                          longFolder(5000),
                                          good + "\\<>|?*\"",
                                          good + "\\\x01\x7f\xff\xe9",
                                          good + "\\trailing. ",
                                          "CON",
                                          "NUL\\sub",
                                          "\\\\?\\" + good,
                                          "",
                                          std::string(" ")};
    for (const char* folder : {setting::kEnginePath, setting::kBasePath, setting::kLogPath}) {
        for (const std::string& path : odd) {
            engine->WriteSettings(key);
            key.Text(folder, path);
            const Session s = RunSession(file);
            EXPECT_TRUE(Documented(s)) << folder << " = " << path;
            // An empty engine folder follows the installation folder.
            if (std::string(folder) == setting::kEnginePath && !path.empty()) {
                // No engine: nothing is reported clean.
                EXPECT_EQ(-3, s.initialize) << path;
                EXPECT_EQ(-3, s.checkFile) << path;
            }
            if (std::string(folder) == setting::kLogPath) {
                // The log is a side matter: scanning goes on whatever its folder.
                EXPECT_EQ(0, s.initialize) << path;
                EXPECT_EQ(0, s.checkFile) << path;
            }
        }
    }
}

TEST_F(BadInput, LogFileHeldOpenByAnotherProgram) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    const std::string file = engine->LogFolder() + "\\x.bin";
    WriteFileBytes(file, "x");
    const std::string log = engine->LogFolder() + "\\orxbat!.log";
    WriteFileBytes(log, "");
    HANDLE held = CreateFileA(log.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const Session locked = RunSession(file);
    CloseHandle(held);
    EXPECT_EQ(0, locked.initialize);
    EXPECT_EQ(0, locked.checkFile);
    EXPECT_EQ("", ReadFileBytes(log));
    // Released again: lines arrive as before.
    const Session released = RunSession(file);
    EXPECT_EQ(0, released.checkFile);
    EXPECT_NE("", ReadFileBytes(log));
}

TEST_F(BadInput, BasesThatVanishWhileLoading) {
    ASSERT_NO_FATAL_FAILURE(Prepare());
    engine->AddBase("b.vdb", 7);
    engine->AddBase("c.vdb", 11);
    const std::string file = engine->LogFolder() + "\\x.bin";
    WriteFileBytes(file, "x");
    struct Vanish {
        std::string folder;
        int loads = 0;
    } vanish = {engine->BaseFolder(), 0};
    // The first base offered takes every base file and the folder with it.
    te().SetHook(
        orlix::EngineLoadBase,
        [](int32_t, const char*, void* context) {
            Vanish* v = static_cast<Vanish*>(context);
            if (v->loads++ == 0) RemoveTree(v->folder);
        },
        &vanish);
    const Session s = RunSession(file);
    te().SetHook(orlix::EngineLoadBase, nullptr, nullptr);
    EXPECT_TRUE(Documented(s));
    EXPECT_GE(vanish.loads, 1);
    EXPECT_FALSE(FileExists(engine->BaseFolder() + "\\b.vdb"));
    // Whatever the folder listing still gave was offered and counted.
    EXPECT_EQ(0, s.initialize);
    EXPECT_EQ(0, s.checkFile);
}
