// Calls into the bound engine. Every call is guarded: a fault inside the
// engine becomes the failure answer -1, one trace
// "EXCEPTION: <code> at <address> in <operation>" and one "ERROR: " log line
// (both written here; callers add nothing), and that engine library is not
// called again while the plug-in is loaded. While the engine is not ready
// every call answers -1 without calling it.
#pragma once

#include <cstdint>

#include "orlix/contract.h"

// The last initialisation bound a supported engine that loaded at least one
// virus record, and no fault happened since.
bool EngineReady();

int32_t EngineScanObject(int32_t mode, const char* objectName);
// Fills at most kVirusNameMaxChars characters and always terminates.
void EngineGetLastVirusName(char (&name)[orlix::kVirusNameBufferSize]);
// -1 on failure; otherwise the name, terminated within the buffer.
int32_t EngineGetLastArchiverName(char (&name)[orlix::kArchiverNameBufferSize]);
int32_t EngineOpenArchiveLevel();
// Fills the header; the member name at byte kMemberNameOffset is the
// engine's and may be unterminated: read at most kMemberNameMaxChars.
int32_t EngineNextMember(orlix::ArchiveMemberHeader* header);
int32_t EngineExtractMember(orlix::ArchiveMemberHeader* header);
void EngineCloseArchiveLevel(orlix::ArchiveMemberHeader* header);
