// The engine's operations on objects: check and cure, and the stack of open
// archives walked by EngineLastArchiverName, EngineOpenArchive,
// EngineGetNextFileHeader, EngineExtractNextFile and EngineCloseArchive.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orlix/contract.h"

namespace refengine {

// Forgets every open archive and the last find (a new engine binding).
void ResetScanState();

int32_t ScanObject(int32_t mode, const char* name);
void CopyLastVirusName(char* buffer);
int32_t CopyLastArchiverName(char* buffer);
int32_t OpenArchive();
int32_t NextMemberHeader(orlix::ArchiveMemberHeader* header, int32_t nameRoom);
int32_t ExtractMember(orlix::ArchiveMemberHeader* header);
void CloseArchive();

// Levels the engine keeps open at most; deeper archives are refused.
constexpr size_t kMaxArchiveLevels = 100;

}  // namespace refengine
