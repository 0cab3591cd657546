// Calls into the bound engine. Every call is guarded: a fault inside the
// engine becomes the failure answer -1, one "EXCEPTION: " trace and one
// "ERROR: " log line, and the binding is not used again in this process.
// While the engine is not ready every call answers -1 without calling it.
#pragma once

#include <cstdint>

#include "engine/contract.h"

bool EngineReady();

int32_t EngineScanObject(int32_t mode, const char* objectName);
// Fills at most kVirusNameMaxChars characters and always terminates.
void EngineGetLastVirusName(char (&name)[orlix::kVirusNameBufferSize]);
// -1 on failure; otherwise the name, terminated within the buffer.
int32_t EngineGetLastArchiverName(char (&name)[orlix::kArchiverNameBufferSize]);
int32_t EngineOpenArchiveLevel();
int32_t EngineNextMember(orlix::ArchiveMemberHeader* header);
int32_t EngineExtractMember(orlix::ArchiveMemberHeader* header);
void EngineCloseArchiveLevel(orlix::ArchiveMemberHeader* header);
