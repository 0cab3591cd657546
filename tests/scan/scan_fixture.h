// A plug-in loaded the way the mail client loads it, with a fresh settings
// key, a report log in a scratch folder and its alert calls recorded.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/import_patch.h"
#include "common/scratch.h"
#include "plugin_loader.h"

class ScanFixture : public ::testing::Test {
protected:
    SettingsKeyScratch key;
    TempDir logFolder;
    PluginApi api;
    std::unique_ptr<AlertRecorder> recorder;
    size_t logMark = 0;
    char status[512] = {};

    // Flags of the settings key written before the plug-in starts; the
    // report log is always on.
    void Flag(const char* name, bool on = true) { key.Flag(name, on ? 1 : 0); }

    // Loads and initialises the plug-in; lines written so far are skipped
    // by ScanLines.
    void StartPlugin() {
        key.Text(setting::kLogPath, logFolder.path());
        key.Flag(setting::kLogEnabled, 1);
        key.Flag(setting::kShowAdvanced, 1);  // else every folder follows OrlixPath
        ASSERT_TRUE(api.Load());
        recorder.reset(new AlertRecorder(api.module));
        api.Initialize();
        logMark = ReadLogLines(logFolder.path()).size();
        recorder->Clear();
    }

    void TearDown() override {
        recorder.reset();
        api.Unload();
    }

    // The report-log lines written since StartPlugin (or the last call).
    std::vector<std::string> ScanLines() {
        std::vector<std::string> all = ReadLogLines(logFolder.path());
        std::vector<std::string> lines(all.begin() + std::min(logMark, all.size()), all.end());
        logMark = all.size();
        return lines;
    }

    // Fills the host's buffer with a marker that no verdict text contains.
    void MarkStatus() {
        memset(status, 'Z', sizeof status);
        strcpy(status, "host text");
    }
};
