#include "refengine/engine_fixture.h"

#include <cstdio>

#include "common/plugin_api.h"

namespace {

orlix::EngineInitProc EngineInit() {
    static HMODULE module = LoadLibraryA((ExecutableFolder() + "..\\refengine\\orlix32.dll").c_str());
    if (!module) return nullptr;
    return reinterpret_cast<orlix::EngineInitProc>(
        reinterpret_cast<void*>(GetProcAddress(module, orlix::kEngineInitExport)));
}

}  // namespace

std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

void RefEngineTest::SetUp() {
    orlix::EngineInitProc init = EngineInit();
    ASSERT_NE(init, nullptr) << "orlix32.dll not found beside the tests";
    entry_ = reinterpret_cast<orlix::EngineEntryProc>(
        init(TestHostTable(), orlix::kCallbackSlotCount, &orlix::kPluginVersionRecord, 0));
    ASSERT_NE(entry_, nullptr);
    SetTestTempFolder(dir_.path());
    ResetTestHostCounters();
}

void RefEngineTest::TearDown() {
    // Nothing the engine opened may outlive a finished walk.
    EXPECT_EQ(TestHostCounters().opened, 0);
}

int32_t RefEngineTest::LoadBase(const std::string& text, const std::string& file) {
    std::string path = dir_.File(file);
    WriteFileBytes(path, text);
    return entry_(0, orlix::EngineLoadBase, path.c_str());
}

int32_t RefEngineTest::ScanPath(const std::string& path, int32_t mode) {
    return entry_(0, orlix::EngineScanFile, mode, 1, path.c_str(), 0);
}

int32_t RefEngineTest::Scan(const std::string& bytes, int32_t mode) {
    WriteFileBytes(ObjectPath(), bytes);
    return ScanPath(ObjectPath(), mode);
}

std::string RefEngineTest::VirusName() {
    char name[orlix::kVirusNameBufferSize] = {};
    entry_(0, orlix::EngineLastVirusName, name);
    return name;
}

std::string RefEngineTest::ArchiverName(int32_t* answer) {
    char name[orlix::kArchiverNameBufferSize] = {};
    int32_t result = entry_(0, orlix::EngineLastArchiverName, name);
    if (answer) *answer = result;
    return name;
}

std::string RefEngineTest::Walk() {
    int32_t answer = 0;
    std::string archiver = ArchiverName(&answer);
    if (answer == -1) return "no archiver";
    orlix::ArchiveMemberHeader header = {};
    int32_t open = entry_(0, orlix::EngineOpenArchive, 1);
    std::string out;
    if (open != 0) {
        out = "open=" + Hex(open);
    } else {
        for (;;) {
            int32_t next = entry_(0, orlix::EngineGetNextFileHeader, &header, 512);
            if (next != -1 && (next & orlix::ResultNoMoreMembers)) {
                out += "end";
                break;
            }
            if (next != 0) {
                out += "header=" + Hex(next);
                break;
            }
            std::string name = reinterpret_cast<const char*>(header.bytes + orlix::kMemberNameOffset);
            int32_t flags = entry_(0, orlix::EngineExtractNextFile, &header, 1);
            out += name + "=" + Hex(flags);
            if (flags == -1) break;
            if (flags & orlix::ResultArchive)
                out += "[" + Walk() + "]";
            else if (flags & 0x7)
                out += "(" + VirusName() + ")";
            out += ";";
        }
    }
    entry_(0, orlix::EngineCloseArchive, &header);
    return archiver + ":" + out;
}
