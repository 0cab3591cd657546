#include "engine_driver.h"

#include <cstdio>

#include "native_host.h"
#include "reference_engine.h"

namespace nativehost {

orlix::EngineEntryProc BindEngine() {
    return reinterpret_cast<orlix::EngineEntryProc>(
        ORLIX_InitDll(Table(), orlix::kCallbackSlotCount, &orlix::kPluginVersionRecord, 0));
}

refengine::Database& BoundDatabase() { return engineboundary::Door<refengine::ReferenceEngine>::Bound()->database(); }

std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

std::string VirusName(orlix::EngineEntryProc entry) {
    char name[orlix::kVirusNameBufferSize] = {};
    entry(0, orlix::EngineLastVirusName, name);
    return name;
}

std::string ArchiverName(orlix::EngineEntryProc entry, int32_t* answer) {
    char name[orlix::kArchiverNameBufferSize] = {};
    int32_t result = entry(0, orlix::EngineLastArchiverName, name);
    if (answer) *answer = result;
    return name;
}

std::string Walk(orlix::EngineEntryProc entry) {
    int32_t answer = 0;
    std::string archiver = ArchiverName(entry, &answer);
    if (answer == -1) return "no archiver";
    orlix::ArchiveMemberHeader header = {};
    int32_t open = entry(0, orlix::EngineOpenArchive, 1);
    std::string out;
    if (open != 0) {
        out = "open=" + Hex(open);
    } else {
        for (;;) {
            int32_t next = entry(0, orlix::EngineGetNextFileHeader, &header, orlix::kMemberNameMaxChars);
            if (next != -1 && (next & orlix::ResultNoMoreMembers)) {
                out += "end";
                break;
            }
            if (next != 0) {
                out += "header=" + Hex(next);
                break;
            }
            std::string name(reinterpret_cast<const char*>(header.bytes + orlix::kMemberNameOffset));
            int32_t flags = entry(0, orlix::EngineExtractNextFile, &header, 1);
            out += name + "=" + Hex(flags);
            if (flags == -1) break;
            if (flags & orlix::ResultArchive)
                out += "[" + Walk(entry) + "]";
            else if (flags & orlix::kVirusFoundBits)
                out += "(" + VirusName(entry) + ")";
            out += ";";
        }
    }
    entry(0, orlix::EngineCloseArchive, &header);
    return archiver + ":" + out;
}

}  // namespace nativehost
