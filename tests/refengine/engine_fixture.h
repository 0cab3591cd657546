// Loads the built reference engine beside the test executable and binds it
// to the test's own callback table.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/scratch.h"
#include "engine/contract.h"
#include "refengine/test_host.h"

class RefEngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a base file and offers it; the engine's answer.
    int32_t LoadBase(const std::string& text, const std::string& file = "test.vdb");
    void Finish() { entry_(0, orlix::EngineFinishLoad); }
    int32_t ScanPath(const std::string& path, int32_t mode = orlix::kScanModeCheck);
    // Writes bytes to a file of the scratch folder and checks it.
    int32_t Scan(const std::string& bytes, int32_t mode = orlix::kScanModeCheck);
    std::string VirusName();
    std::string ArchiverName(int32_t* answer = nullptr);
    // Walks the archive the last answer reported, as the plug-in does, and
    // describes it: "member=flags" per member, nested walks in brackets,
    // finds with the virus name in parentheses, "end" or the failing step.
    std::string Walk();
    std::string ObjectPath() const { return dir_.File("object.bin"); }

    orlix::EngineEntryProc entry_ = nullptr;
    TempDir dir_;
};

std::string Hex(int32_t value);
