// Threads: every operation runs on the host's thread; the binding is the
// loader's.
#include "engine/engine.h"

#include <cstring>

#include "engine/engine_call.h"
#include "engine/loader.h"

namespace {

uint32_t Word(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

// An operation on the bound engine, refused (-1) while it is not ready. The
// arguments are exactly as many as the contract lists for it.
template <orlix::EngineOperation Code, size_t N>
int32_t Operation(const uint32_t (&args)[N]) {
    static_assert(orlix::FindOperation(Code)->argumentCount == static_cast<int>(N), "the contract's argument count");
    BoundEngine bound;
    if (!ReadyEngine(&bound)) return orlix::kEngineFailure;
    int32_t result = orlix::kEngineFailure;
    CallEngineEntry(bound.library, bound.entry, Code, static_cast<int>(N), args, &result);
    return result;
}

}  // namespace

bool EngineReady() { return ReadyEngine(nullptr); }

int32_t EngineScanObject(int32_t mode, const char* objectName) {
    const uint32_t args[4] = {static_cast<uint32_t>(mode), 1, Word(objectName), 0};
    return Operation<orlix::EngineScanFile>(args);
}

void EngineGetLastVirusName(char (&name)[orlix::kVirusNameBufferSize]) {
    memset(name, 0, sizeof name);
    const uint32_t args[1] = {Word(name)};
    Operation<orlix::EngineLastVirusName>(args);
    // Not ready (or just faulted): whatever the engine left is not a name.
    if (!EngineReady()) name[0] = '\0';
    name[orlix::kVirusNameMaxChars] = '\0';
}

int32_t EngineGetLastArchiverName(char (&name)[orlix::kArchiverNameBufferSize]) {
    memset(name, 0, sizeof name);
    const uint32_t args[1] = {Word(name)};
    int32_t result = Operation<orlix::EngineLastArchiverName>(args);
    if (result == orlix::kEngineFailure) name[0] = '\0';
    name[orlix::kArchiverNameBufferSize - 1] = '\0';
    return result;
}

int32_t EngineOpenArchiveLevel() {
    const uint32_t args[1] = {1};
    return Operation<orlix::EngineOpenArchive>(args);
}

int32_t EngineNextMember(orlix::ArchiveMemberHeader* header) {
    const uint32_t args[2] = {Word(header), orlix::kMemberNameMaxChars};
    return Operation<orlix::EngineGetNextFileHeader>(args);
}

int32_t EngineExtractMember(orlix::ArchiveMemberHeader* header) {
    const uint32_t args[2] = {Word(header), 1};
    return Operation<orlix::EngineExtractNextFile>(args);
}

void EngineCloseArchiveLevel(orlix::ArchiveMemberHeader* header) {
    const uint32_t args[1] = {Word(header)};
    Operation<orlix::EngineCloseArchive>(args);
}
