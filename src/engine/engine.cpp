#include "engine/engine.h"

bool EngineReady() { return false; }
int32_t EngineScanObject(int32_t, const char*) { return orlix::kEngineFailure; }
void EngineGetLastVirusName(char (&name)[orlix::kVirusNameBufferSize]) { name[0] = '\0'; }
int32_t EngineGetLastArchiverName(char (&name)[orlix::kArchiverNameBufferSize]) {
    name[0] = '\0';
    return orlix::kEngineFailure;
}
int32_t EngineOpenArchiveLevel() { return orlix::kEngineFailure; }
int32_t EngineNextMember(orlix::ArchiveMemberHeader*) { return orlix::kEngineFailure; }
int32_t EngineExtractMember(orlix::ArchiveMemberHeader*) { return orlix::kEngineFailure; }
void EngineCloseArchiveLevel(orlix::ArchiveMemberHeader*) {}
