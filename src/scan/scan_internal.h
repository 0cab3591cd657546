// Pieces shared by the file check, the archive walk, the cure and the memory
// check. Not part of what the scanning module offers to the entry points.
#pragma once

#include <cstdint>
#include <string>

struct Settings;

// How many levels of archives nested below the outermost one are walked: with
// the outermost, 65 levels; a 66th is refused.
constexpr int32_t kMaxNestedArchiveLevels = 64;

// An engine that never reports the end of an archive would keep the mail
// client's thread busy for ever; one check examines at most this many
// members, counted over every nesting level (the classic ZIP directory holds
// at most 65535 entries).
constexpr int32_t kMaxArchiveMembersPerCheck = 65536;

// An engine that reports "cured" on every pass would keep the cure asking for
// ever; the cure stops after this many passes.
constexpr int32_t kMaxCurePasses = 32;

// Names that begin with "##" are shown as a memory object in the log; only
// the prefix counts here, the open callback checks the whole name.
bool HasMemoryObjectPrefix(const std::string& name);

// Walks the archive that the engine's last answer reported; inner is empty
// for the outermost level, else the nested archive's member name.
int32_t CheckArchive(const std::string& inner, const std::string& archive, char* statusText);

// Levels open right now; 0 between calls from the host.
int32_t ArchiveDepth();
// The description of the last failure of the archive walk.
const std::string& LastArchiveStatus();
// The texts of the status bits of flags, in their fixed order.
std::string StatusBitsText(uint32_t flags);
// Appends StatusBitsText(flags) to LastArchiveStatus.
void AppendArchiveStatusText(uint32_t flags);

// What the end of a file check sets off, from its result and the settings.
struct CheckAlerts {
    bool playSound = false;
    bool showLog = false;
    unsigned noticeFlags = 0;
};
CheckAlerts DecideCheckAlerts(int32_t result, const Settings& settings);
// Sound, result trace, log request, notice, result trace: in this order.
void RaiseCheckAlerts(int32_t result);

// The last virus name the engine reported, read bounded.
std::string LastVirusName();
