#include "common/test_engine_setup.h"

#include "plugin_loader.h"

std::string TestEngineBuildPath() { return ProgramFolder() + "..\\testengine\\orlix32.dll"; }

TestEngineSetup::TestEngineSetup() {
    if (!CopyFileA(TestEngineBuildPath().c_str(), EngineFile().c_str(), FALSE)) return;
    module_ = LoadLibraryA(EngineFile().c_str());
    if (!module_ || !api_.Bind(module_)) return;
    api_.Reset();
    ok_ = true;
}

TestEngineSetup::~TestEngineSetup() { ReleaseModule(); }

void TestEngineSetup::AddBase(const std::string& fileName, int32_t records) {
    WriteFileBytes(bases_.File(fileName), "base");
    if (ok_) api_.SetBaseRecords(fileName.c_str(), records);
}

void TestEngineSetup::WriteSettings(SettingsKeyScratch& key) const {
    key.Text(setting::kOrlixPath, EngineFolder());
    key.Flag(setting::kShowAdvanced, 1);
    key.Text(setting::kEnginePath, EngineFolder());
    key.Text(setting::kBasePath, BaseFolder());
    key.Text(setting::kLogPath, LogFolder());
    key.Flag(setting::kLogEnabled, 1);
}

void TestEngineSetup::ReleaseModule() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
    api_ = TestEngineApi();
    ok_ = false;
}
