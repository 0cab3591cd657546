// Threads: the depth, the member count and the last status belong to the
// host's thread: the host makes one check at a time.
#include <cstring>

#include "base/module.h"
#include "engine/engine.h"
#include "report/log.h"
#include "resources/resource.h"
#include "scan/scan.h"
#include "scan/scan_internal.h"
#include "settings/settings.h"

namespace {

int32_t g_archiveDepth = 0;
int32_t g_membersWalked = 0;
std::string g_lastArchiveStatus;

// Writes one line that starts with the archive prefix. The prefix goes to
// the pending text and the line is finished at once, so nothing is left
// pending whatever the caller does next.
void LogArchiveLine(const std::string& inner, const std::string& archive, const std::string& rest) {
    if (HasMemoryObjectPrefix(archive)) {
        LogAppend(LoadText(IDS_CHECKARCHIVE_MEMORY));
    } else {
        LogAppend(FormatResource(IDS_CHECKARCHIVE, archive.c_str()));
    }
    if (!inner.empty()) {
        LogAppend("\\");
        LogAppend(inner);
    }
    LogLine(rest);
}

std::string MemberName(const orlix::ArchiveMemberHeader& header) {
    const char* name = reinterpret_cast<const char*>(header.bytes + orlix::kMemberNameOffset);
    return std::string(name, strnlen(name, orlix::kMemberNameMaxChars));
}

void SetStatus(UINT id) { g_lastArchiveStatus = LoadText(id); }

// One open archive level: the depth it holds and the close it owes. The
// destructor closes on paths the walk does not finish normally.
class ArchiveLevel {
public:
    ArchiveLevel() { ++g_archiveDepth; }
    ~ArchiveLevel() { Close(); }
    ArchiveLevel(const ArchiveLevel&) = delete;
    ArchiveLevel& operator=(const ArchiveLevel&) = delete;
    orlix::ArchiveMemberHeader* header() { return &header_; }
    void Close() {
        if (closed_) return;
        closed_ = true;
        // Closed also when the open failed: the engine may hold state for it.
        EngineCloseArchiveLevel(&header_);
        --g_archiveDepth;
    }

private:
    orlix::ArchiveMemberHeader header_ = {};
    bool closed_ = false;
};

// The member loop of one level; returns 0, 1 or -3.
int32_t WalkMembers(ArchiveLevel& level, const std::string& inner, const std::string& archive, char* statusText) {
    for (;;) {
        if (g_membersWalked >= kMaxArchiveMembersPerCheck) {
            SetStatus(IDS_TOO_MANY_MEMBERS);
            LogLine(g_lastArchiveStatus);
            return BavResultFailed;
        }
        ++g_membersWalked;

        const int32_t next = EngineNextMember(level.header());
        if (next == orlix::kEngineFailure) {
            SetStatus(IDS_ERR_NEXT_HEADER);
            LogLine(g_lastArchiveStatus);
            return BavResultFailed;
        }
        const uint32_t headerFlags = static_cast<uint32_t>(next);
        if (headerFlags & orlix::ResultNoMoreMembers) return BavResultOk;
        if (headerFlags != 0) {
            AppendArchiveStatusText(headerFlags);
            LogLine(g_lastArchiveStatus);
            return BavResultFailed;
        }

        const int32_t extracted = EngineExtractMember(level.header());
        const std::string member = MemberName(*level.header());
        const uint32_t flags = static_cast<uint32_t>(extracted);
        if (extracted == orlix::kEngineFailure) {
            SetStatus(IDS_ERR_EXTRACT);
            LogError(g_lastArchiveStatus);
            return BavResultFailed;
        }
        if (flags == orlix::ResultClean || flags == orlix::ResultNoMoreMembers) {
            LogArchiveLine(inner, archive, "\\" + member + LoadText(IDS_DASH_OK));
            continue;
        }
        if (flags & orlix::ResultArchive) {
            const int32_t nested = CheckArchive(member, archive, statusText);
            if (nested == BavResultOk) continue;
            return nested;
        }
        if (flags & orlix::kVirusFoundBits) {
            const std::string virus = LastVirusName();
            LogArchiveLine(inner, archive, "\\" + member + LoadText(IDS_DASH) + LoadText(IDS_INFECTED) + virus);
            return BavResultInfected;
        }
        if (flags == orlix::ResultSplitArchive || flags == orlix::ResultPasswordProtected) {
            LogLine(LoadText(IDS_INCOMPLETE_MEMBER));
            continue;
        }
        AppendArchiveStatusText(flags);
        return BavResultFailed;
    }
}

}  // namespace

int32_t ArchiveDepth() { return g_archiveDepth; }

const std::string& LastArchiveStatus() { return g_lastArchiveStatus; }

std::string StatusBitsText(uint32_t flags) {
    static const struct {
        uint32_t bit;
        UINT text;
    } kTexts[] = {
        {orlix::ResultCured, IDS_STATUS_CURED},
        {orlix::ResultIncurable, IDS_STATUS_INCURABLE},
        {orlix::ResultReadError, IDS_STATUS_READ},
        {orlix::ResultWriteError, IDS_STATUS_WRITE},
        {orlix::ResultUnpackError, IDS_STATUS_UNPACK},
        {orlix::ResultPasswordProtected, IDS_STATUS_PASSWORD},
        {orlix::ResultSplitArchive, IDS_STATUS_SPLIT},
        {orlix::ResultCrcError, IDS_STATUS_CRC},
        {orlix::ResultBadArchiveHeader, IDS_STATUS_HEADER},
    };
    std::string text;
    for (const auto& entry : kTexts) {
        if (flags & entry.bit) text += LoadText(entry.text);
    }
    return text;
}

void AppendArchiveStatusText(uint32_t flags) { g_lastArchiveStatus += StatusBitsText(flags); }

int32_t CheckArchive(const std::string& inner, const std::string& archive, char* statusText) {
    if (g_archiveDepth == 0) g_membersWalked = 0;
    g_lastArchiveStatus.clear();

    char archiverBuffer[orlix::kArchiverNameBufferSize] = {};
    if (EngineGetLastArchiverName(archiverBuffer) == orlix::kEngineFailure) {
        SetStatus(IDS_ERR_ARCHIVER_NAME);
        LogError(g_lastArchiveStatus);
        return BavResultFailed;
    }
    const std::string archiver(archiverBuffer, strnlen(archiverBuffer, sizeof archiverBuffer));
    const std::string archivePart = FormatResource(IDS_ARCHIVE_NAME, archiver.c_str());
    LogArchiveLine(inner, archive, archivePart);

    // Checked before anything is held, so a deep nest costs no stack beyond
    // the levels allowed.
    if (g_archiveDepth > kMaxNestedArchiveLevels) {
        SetStatus(IDS_TOO_DEEP);
        LogLine(g_lastArchiveStatus);
        return BavResultFailed;
    }

    int32_t result = BavResultFailed;
    {
        ArchiveLevel level;
        const int32_t opened = EngineOpenArchiveLevel();
        if (opened == orlix::kEngineFailure) {
            SetStatus(IDS_ERR_OPEN_ARCHIVE);
            LogError(g_lastArchiveStatus);
        } else if (opened == 0) {
            result = WalkMembers(level, inner, archive, statusText);
        }
        level.Close();
    }

    if (result == BavResultFailed) {
        WriteStatusText(statusText, g_lastArchiveStatus);
        LogArchiveLine(inner, archive, archivePart + LoadText(IDS_DASH) + g_lastArchiveStatus);
    } else if (result == BavResultOk) {
        WriteStatusText(statusText, LoadText(IDS_OK));
        if (!CurrentSettings().LogEventsOnly) LogArchiveLine(inner, archive, archivePart + LoadText(IDS_DASH_OK));
    } else {
        const std::string verdict = LoadText(IDS_INFECTED) + LastVirusName();
        WriteStatusText(statusText, verdict);
        LogArchiveLine(inner, archive, archivePart + LoadText(IDS_DASH) + verdict);
    }
    return result;
}
