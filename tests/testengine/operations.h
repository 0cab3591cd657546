// The engine operations of the test engine. ScanFile and LoadBase take
// the lock themselves; the others run under it with the first argument as
// a buffer and the operation's record index.
#pragma once

#include "engine_state.h"

namespace te {

int32_t ScanFile(int32_t reserved, const uint32_t* args);
int32_t LoadBase(int32_t reserved, const uint32_t* args);

typedef int32_t (*LockedOperation)(State& s, char* buffer, int recordIndex);
int32_t GetVersion(State& s, char* buffer, int recordIndex);
int32_t LastVirusName(State& s, char* buffer, int recordIndex);
int32_t LastArchiverName(State& s, char* buffer, int recordIndex);
int32_t OpenArchive(State& s, char* buffer, int recordIndex);
int32_t GetNextFileHeader(State& s, char* buffer, int recordIndex);
int32_t ExtractNextFile(State& s, char* buffer, int recordIndex);
int32_t CloseArchive(State& s, char* buffer, int recordIndex);

}  // namespace te
