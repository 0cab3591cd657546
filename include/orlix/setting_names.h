// Where the plug-in's configuration is stored: its registry key under
// HKEY_CURRENT_USER and the name of every value. The plug-in's record and
// bavhost's view of the key both read these.
#pragma once

constexpr char kSettingsKey[] = "Software\\Kelvane\\Orlix for TheBAT!";
// The report log's file name in its folder.
constexpr char kLogFileName[] = "orxbat!.log";

namespace setting {

// Texts (REG_SZ). Path is only ever read, as the log folder's fallback.
constexpr char kPath[] = "Path";
constexpr char kOrlixPath[] = "OrlixPath";
constexpr char kEnginePath[] = "EnginePath";
constexpr char kBasePath[] = "BasePath";
constexpr char kLogPath[] = "LogPath";
constexpr char kSoundFileInfected[] = "SoundFileInfected";
constexpr char kSoundFileIncurable[] = "SoundFileIncurable";

// Flags (four-byte REG_DWORD, non-zero is true).
constexpr char kLogEnabled[] = "LogEnabled";
constexpr char kLogEventsOnly[] = "LogEventsOnly";
constexpr char kSoundInfected[] = "SoundInfected";
constexpr char kSoundIncurable[] = "SoundIncurable";
constexpr char kScanByFormat[] = "ScanByFormat";
constexpr char kShowAdvanced[] = "ShowAdvanced";
constexpr char kNotifyVirus[] = "NotifyVirus";
constexpr char kNotifyError[] = "NotifyError";
constexpr char kShowLogVirus[] = "ShowLogVirus";
constexpr char kShowLogError[] = "ShowLogError";
constexpr char kCheckArchives[] = "CheckArchives";
constexpr char kCheckPacked[] = "CheckPacked";

}  // namespace setting
