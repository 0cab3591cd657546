#include <cstring>

#include "base/module.h"
#include "engine/engine.h"
#include "report/log.h"
#include "resources/resource.h"
#include "scan/scan.h"
#include "scan/scan_internal.h"
#include "settings/settings.h"

namespace {

// An object the engine could not read through was not checked: passing it as
// clean would let the attachment through unchecked.
constexpr uint32_t kErrorBits = orlix::ResultReadError | orlix::ResultWriteError | orlix::ResultUnpackError |
                                orlix::ResultCrcError | orlix::ResultBadArchiveHeader | orlix::ResultSplitArchive;

// An answer without a find or an archive: its error bits fail the check; a
// lone password bit passes with the line a skipped archive member gets.
int32_t ClassifyWithoutFind(uint32_t flags, const std::string& lineStart, char* statusText) {
    if (flags & kErrorBits) {
        const std::string text = StatusBitsText(flags);
        WriteStatusText(statusText, text);
        LogLine(lineStart + LoadText(IDS_DASH) + text);
        return BavResultFailed;
    }
    if (flags & orlix::ResultPasswordProtected) LogLine(LoadText(IDS_INCOMPLETE_MEMBER));
    return BavResultOk;
}

// Turns the engine's answer into the result, StatusText and the verdict line.
int32_t Classify(int32_t answer, const std::string& objectName, const std::string& displayName, char* statusText) {
    const Settings& settings = CurrentSettings();
    const std::string lineStart = FormatResource(IDS_CHECKFILE, displayName.c_str());
    if (answer == orlix::kEngineFailure) {
        WriteStatusText(statusText, LoadText(IDS_ENGINE_ERROR));
        LogError(lineStart + LoadText(IDS_DASH) + LoadText(IDS_ENGINE_ERROR));
        return BavResultFailed;
    }
    const uint32_t flags = static_cast<uint32_t>(answer);
    if (flags == orlix::ResultClean) {
        WriteStatusText(statusText, LoadText(IDS_OK));
        if (!settings.LogEventsOnly) LogLine(lineStart + LoadText(IDS_DASH_OK));
        return BavResultOk;
    }
    if (flags & orlix::ResultArchive) {
        if (settings.CheckArchives) return CheckArchive(std::string(), objectName, statusText);
        LogLine(lineStart + LoadText(IDS_ARCHIVE_DISABLED));
        return BavResultOk;
    }
    if ((flags & orlix::kVirusFoundBits) == 0) return ClassifyWithoutFind(flags, lineStart, statusText);

    const std::string virus = LastVirusName();
    int32_t result = BavResultInfected;
    std::string verdict;
    if (flags & orlix::ResultProbablyInfected) {
        result = BavResultSuspicious;
        verdict = LoadText(IDS_PROBABLY_INFECTED) + virus;
    } else if (flags & orlix::ResultInfected) {
        verdict = LoadText(IDS_INFECTED) + virus;
    } else {
        verdict = LoadText(IDS_MODIFICATION) + virus;
    }
    WriteStatusText(statusText, verdict);
    LogLine(lineStart + LoadText(IDS_DASH) + verdict);
    return result;
}

}  // namespace

int32_t CheckFile(const std::string& objectName, char* statusText) {
    const bool inMemory = HasMemoryObjectPrefix(objectName);
    const std::string displayName = inMemory ? LoadText(IDS_MEMORY_OBJECT) : objectName;
    LogLine(inMemory ? LoadText(IDS_CHECKFILE_MEMORY) : FormatResource(IDS_CHECKFILE, objectName.c_str()));
    WriteStatusText(statusText, LoadText(IDS_UNKNOWN_STATUS));

    // Without a bound engine with signatures nothing may be reported clean.
    const bool ready = EngineReady();
    const int32_t answer = ready ? EngineScanObject(orlix::kScanModeCheck, objectName.c_str()) : orlix::kEngineFailure;
    int32_t result = Classify(answer, objectName, displayName, statusText);
    // An engine that faulted during this check (in any operation, even the
    // archive's close or the virus name) gave answers that cannot be trusted:
    // the check fails, whatever they said.
    if (ready && !EngineReady()) {
        result = BavResultFailed;
        WriteStatusText(statusText, LoadText(IDS_ENGINE_ERROR));
    }
    RaiseCheckAlerts(result);
    return result;
}
