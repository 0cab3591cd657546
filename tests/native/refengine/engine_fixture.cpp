#include "refengine/engine_fixture.h"

void RefEngineTest::SetUp() {
    ASSERT_FALSE(dir_.path().empty());
    entry_ = nativehost::BindEngine();
    ASSERT_NE(entry_, nullptr);
    nativehost::SetTempFolder(dir_.path());
    nativehost::RefuseWrites(false);
    nativehost::ResetCounters();
}

void RefEngineTest::TearDown() {
    // Nothing the engine opened may outlive a finished walk.
    EXPECT_EQ(nativehost::counters().opened, 0);
    nativehost::ForgetMemoryObjects();
}

int32_t RefEngineTest::LoadBase(const std::string& text, const std::string& file) {
    std::string path = dir_.File(file);
    WriteFileBytes(path, text);
    return entry_(0, orlix::EngineLoadBase, path.c_str());
}

int32_t RefEngineTest::LoadDefaultBase() { return LoadBase(ReadFileBytes(ORLIX_DEFAULT_BASE), "default.vdb"); }

int32_t RefEngineTest::ScanPath(const std::string& path, int32_t mode) {
    return entry_(0, orlix::EngineScanFile, mode, 1, path.c_str(), 0);
}

int32_t RefEngineTest::Scan(const std::string& bytes, int32_t mode) {
    WriteFileBytes(ObjectPath(), bytes);
    return ScanPath(ObjectPath(), mode);
}
