// The settings record against the real registry key.
#include "settings/settings.h"

#include <gtest/gtest.h>

#include "common/scratch.h"

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { CurrentSettings() = Settings(); }
    void TearDown() override { CurrentSettings() = Settings(); }
    SettingsKeyScratch key;
};

void ExpectDefaults(const Settings& s) {
    EXPECT_TRUE(s.LogEnabled);
    EXPECT_FALSE(s.LogEventsOnly);
    EXPECT_FALSE(s.SoundInfected);
    EXPECT_FALSE(s.SoundIncurable);
    EXPECT_EQ("", s.SoundFileInfected);
    EXPECT_EQ("", s.SoundFileIncurable);
    EXPECT_TRUE(s.ScanByFormat);
    EXPECT_FALSE(s.ShowAdvanced);
    EXPECT_TRUE(s.NotifyVirus);
    EXPECT_TRUE(s.NotifyError);
    EXPECT_FALSE(s.ShowLogVirus);
    EXPECT_FALSE(s.ShowLogError);
    EXPECT_TRUE(s.CheckArchives);
    EXPECT_TRUE(s.CheckPacked);
}

}  // namespace

TEST_F(SettingsStore, EmptyKeyGivesDefaults) {
    key.Raw(nullptr, REG_SZ, nullptr, 0);
    LoadSettings();
    const Settings& s = CurrentSettings();
    EXPECT_EQ("", s.OrlixPath);
    EXPECT_EQ("", s.EnginePath);
    EXPECT_EQ("", s.BasePath);
    EXPECT_EQ("", s.LogPath);
    ExpectDefaults(s);
}

TEST_F(SettingsStore, MissingKeyGivesTheSameDefaults) {
    CurrentSettings().OrlixPath = "C:\\stale";
    LoadSettings();
    EXPECT_EQ("", CurrentSettings().OrlixPath);
    ExpectDefaults(CurrentSettings());
}

TEST_F(SettingsStore, FoldersFollowInstallationFolderWithoutAdvanced) {
    key.Text("OrlixPath", "C:\\Orlix");
    key.Text("EnginePath", "D:\\Other");
    key.Text("BasePath", "D:\\Bases");
    key.Text("LogPath", "D:\\Logs");
    key.Flag("ShowAdvanced", 0);
    LoadSettings();
    EXPECT_EQ("C:\\Orlix", CurrentSettings().EnginePath);
    EXPECT_EQ("C:\\Orlix", CurrentSettings().BasePath);
    EXPECT_EQ("C:\\Orlix", CurrentSettings().LogPath);
}

TEST_F(SettingsStore, AdvancedFoldersAndFallbacks) {
    key.Text("OrlixPath", "C:\\Orlix");
    key.Text("EnginePath", "");
    key.Text("BasePath", "D:\\Bases");
    key.Text("Path", "E:\\Fallback");
    key.Flag("ShowAdvanced", 1);
    LoadSettings();
    EXPECT_EQ("C:\\Orlix", CurrentSettings().EnginePath);
    EXPECT_EQ("D:\\Bases", CurrentSettings().BasePath);
    EXPECT_EQ("E:\\Fallback", CurrentSettings().LogPath);
}

TEST_F(SettingsStore, AdvancedWithoutAnyLogFolderLeavesItEmpty) {
    key.Text("OrlixPath", "C:\\Orlix");
    key.Flag("ShowAdvanced", 1);
    LoadSettings();
    EXPECT_EQ("", CurrentSettings().LogPath);
}

TEST_F(SettingsStore, ExpandableTextIsTakenAsStoredAndCutAtNul) {
    key.Text("OrlixPath", "%TEMP%\\orlix", REG_EXPAND_SZ);
    const char twoStrings[] = "C:\\First\0C:\\Second";
    key.Raw("SoundFileInfected", REG_SZ, twoStrings, sizeof twoStrings);
    LoadSettings();
    EXPECT_EQ("%TEMP%\\orlix", CurrentSettings().OrlixPath);
    EXPECT_EQ("C:\\First", CurrentSettings().SoundFileInfected);
}

TEST_F(SettingsStore, NonZeroFlagReadsTrueAndIsSavedAsOne) {
    key.Flag("SoundInfected", 2);
    LoadSettings();
    EXPECT_TRUE(CurrentSettings().SoundInfected);
    SaveSettings();
    EXPECT_EQ("1", key.Read("SoundInfected"));
}

TEST_F(SettingsStore, WrongTypesCountAsMissing) {
    key.Text("LogEnabled", "0");
    const unsigned char eight[8] = {0};
    key.Raw("CheckArchives", REG_BINARY, eight, sizeof eight);
    key.Raw("NotifyVirus", REG_DWORD, eight, 2);
    DWORD zero = 0;
    key.Raw("SoundFileInfected", REG_DWORD, &zero, sizeof zero);
    key.Raw("OrlixPath", REG_BINARY, "C:\\x", 5);
    key.Flag("LogEventsOnly", 1);
    LoadSettings();
    const Settings& s = CurrentSettings();
    EXPECT_TRUE(s.LogEnabled);
    EXPECT_TRUE(s.CheckArchives);
    EXPECT_TRUE(s.NotifyVirus);
    EXPECT_EQ("", s.SoundFileInfected);
    EXPECT_EQ("", s.OrlixPath);
    EXPECT_TRUE(s.LogEventsOnly);  // the rest of the key still loads
}

TEST_F(SettingsStore, SaveWritesEveryFieldButPath) {
    Settings& s = CurrentSettings();
    s.Path = "P:\\never";
    s.OrlixPath = "C:\\Orlix";
    s.EnginePath = "C:\\Engine";
    s.BasePath = "C:\\Bases";
    s.LogPath = "C:\\Logs";
    s.SoundFileInfected = "C:\\a.wav";
    s.ScanByFormat = false;
    s.CheckPacked = true;
    SaveSettings();
    EXPECT_FALSE(key.Has("Path"));
    EXPECT_EQ("C:\\Orlix", key.Read("OrlixPath"));
    EXPECT_EQ("C:\\Engine", key.Read("EnginePath"));
    EXPECT_EQ("C:\\Bases", key.Read("BasePath"));
    EXPECT_EQ("C:\\Logs", key.Read("LogPath"));
    EXPECT_EQ("C:\\a.wav", key.Read("SoundFileInfected"));
    EXPECT_EQ("", key.Read("SoundFileIncurable"));
    EXPECT_EQ("0", key.Read("ScanByFormat"));
    EXPECT_EQ("1", key.Read("CheckPacked"));
    for (const char* flag : {"LogEnabled", "LogEventsOnly", "SoundInfected", "SoundIncurable", "ShowAdvanced",
                             "NotifyVirus", "NotifyError", "ShowLogVirus", "ShowLogError", "CheckArchives"}) {
        DWORD type = 0;
        EXPECT_EQ("0", key.Read(flag, &type)) << flag;
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type) << flag;
    }
}

TEST_F(SettingsStore, SaveThenLoadRoundTrips) {
    Settings& s = CurrentSettings();
    s.OrlixPath = "C:\\Orlix";
    s.ShowAdvanced = true;
    s.EnginePath = "C:\\Engine";
    s.LogEventsOnly = true;
    s.NotifyError = false;
    SaveSettings();
    CurrentSettings() = Settings();
    LoadSettings();
    EXPECT_EQ("C:\\Orlix", s.OrlixPath);
    EXPECT_EQ("C:\\Engine", s.EnginePath);
    EXPECT_TRUE(s.LogEventsOnly);
    EXPECT_FALSE(s.NotifyError);
}
