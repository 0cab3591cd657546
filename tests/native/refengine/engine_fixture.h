// The reference engine linked into the test and bound to the native host.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/engine_driver.h"
#include "host/files.h"
#include "host/native_host.h"
#include "orlix/contract.h"

class RefEngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a base file and offers it; the engine's answer.
    int32_t LoadBase(const std::string& text, const std::string& file = "test.vdb");
    int32_t LoadDefaultBase();
    void Finish() { entry_(0, orlix::EngineFinishLoad); }
    int32_t ScanPath(const std::string& path, int32_t mode = orlix::kScanModeCheck);
    // Writes bytes to a file of the scratch folder and checks it.
    int32_t Scan(const std::string& bytes, int32_t mode = orlix::kScanModeCheck);
    std::string VirusName() { return nativehost::VirusName(entry_); }
    std::string ArchiverName(int32_t* answer = nullptr) { return nativehost::ArchiverName(entry_, answer); }
    std::string Walk() { return nativehost::Walk(entry_); }
    std::string ObjectPath() const { return dir_.File("object.bin"); }

    orlix::EngineEntryProc entry_ = nullptr;
    TempDir dir_;
};

using nativehost::Hex;
