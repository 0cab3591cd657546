#include "base/module.h"
#include "engine/engine.h"
#include "report/log.h"
#include "report/sound.h"
#include "resources/resource.h"
#include "scan/scan.h"
#include "scan/scan_internal.h"
#include "settings/settings.h"

int32_t CureFile(const std::string& fileName, char* statusText) {
    const std::string lineStart = LoadText(IDS_CUREFILE) + fileName;
    int32_t result = BavResultFailed;
    uint32_t flags = 0;
    for (int32_t pass = 1;; ++pass) {
        result = BavResultFailed;
        // Without a bound engine with signatures the cure is an engine error.
        const int32_t answer =
            EngineReady() ? EngineScanObject(orlix::kScanModeCure, fileName.c_str()) : orlix::kEngineFailure;
        if (answer == orlix::kEngineFailure) {
            WriteStatusText(statusText, LoadText(IDS_ENGINE_ERROR));
            LogError(lineStart + LoadText(IDS_DASH) + LoadText(IDS_ENGINE_ERROR));
            return BavResultFailed;
        }
        flags = static_cast<uint32_t>(answer);
        if (flags == orlix::ResultClean) {
            result = BavResultOk;
            WriteStatusText(statusText, LoadText(IDS_OK));
            LogLine(lineStart + LoadText(IDS_CURED));
        } else if (flags & orlix::ResultArchive) {
            // Tested before the cured bit: archives are never cured.
            WriteStatusText(statusText, LoadText(IDS_CURE_ARCHIVE_STATUS));
            LogLine(lineStart + LoadText(IDS_CURE_ARCHIVE_LOG));
            return BavResultFailed;
        } else if (flags & (orlix::ResultModification | orlix::ResultProbablyInfected)) {
            flags |= orlix::ResultIncurable;  // no cure exists for these
        }
        if ((flags & orlix::ResultCured) == 0) break;
        if (pass >= kMaxCurePasses) {
            LogError(lineStart + FormatResource(IDS_CURE_REPEAT_LIMIT, pass));
            break;
        }
    }
    const Settings& settings = CurrentSettings();
    if ((flags & orlix::ResultIncurable) && settings.SoundIncurable) PlayAlertSound(settings.SoundFileIncurable);
    return result;
}
