// The binary contract between the plug-in and the scanning engine library
// orlix32.dll. Everything exchanged uses the C calling convention and 32-bit
// values. This header is the single place that defines these numbers: the
// plug-in, every engine, the test engine, the native host and the
// benchmarks include it.
#pragma once

#include <cstdint>

// Builds for the machine itself (the native test tier) have one calling
// convention; the contract still names the Windows one.
#if !defined(_WIN32) && !defined(__cdecl)
#define __cdecl
#endif

namespace orlix {

// ORLIX_InitDll(callbacks, callbackCount, versionRecord, reserved) -> entry or 0
typedef void*(__cdecl* EngineInitProc)(const void* callbacks, int32_t callbackCount, const void* versionRecord,
                                       int32_t reserved);

// EngineEntry(0, operation, ...) -> 32-bit result; -1 is failure.
typedef int32_t(__cdecl* EngineEntryProc)(int32_t reserved, int32_t operation, ...);

constexpr const char kEngineInitExport[] = "ORLIX_InitDll";
constexpr const char kEngineLibraryName[] = "orlix32.dll";
constexpr const char kBaseFilePattern[] = "*.vdb";

enum EngineOperation : int32_t {
    EngineLoadBase = 0,            // (path) -> records or -1
    EngineFinishLoad = 1,          // () -> ignored
    EngineScanFile = 4,            // (mode, 1, name, 0) -> EngineResultFlags or -1
    EngineLastVirusName = 6,       // (char[260]) -> ignored
    EngineGetVersion = 8,          // () -> major * 100 + minor
    EngineLastArchiverName = 11,   // (char[21]) -> -1 on failure
    EngineOpenArchive = 12,        // (1) -> 0 opened, -1 error, other: nothing to walk
    EngineGetNextFileHeader = 13,  // (ArchiveMemberHeader*, 512)
    EngineExtractNextFile = 14,    // (ArchiveMemberHeader*, 1) -> member flags or -1
    EngineCloseArchive = 15,       // (ArchiveMemberHeader*) -> ignored
};

// Every operation with its name and the number of 32-bit arguments the
// plug-in passes after the operation code.
struct OperationInfo {
    EngineOperation code;
    const char* name;
    int argumentCount;
};
constexpr OperationInfo kOperations[] = {
    {EngineLoadBase, "EngineLoadBase", 1},
    {EngineFinishLoad, "EngineFinishLoad", 0},
    {EngineScanFile, "EngineScanFile", 4},
    {EngineLastVirusName, "EngineLastVirusName", 1},
    {EngineGetVersion, "EngineGetVersion", 0},
    {EngineLastArchiverName, "EngineLastArchiverName", 1},
    {EngineOpenArchive, "EngineOpenArchive", 1},
    {EngineGetNextFileHeader, "EngineGetNextFileHeader", 2},
    {EngineExtractNextFile, "EngineExtractNextFile", 2},
    {EngineCloseArchive, "EngineCloseArchive", 1},
};
constexpr int kMaxOperationArguments = 4;

// The operation's entry in kOperations, or null for a code it does not list.
constexpr const OperationInfo* FindOperation(int32_t code) {
    for (const OperationInfo& operation : kOperations) {
        if (operation.code == code) return &operation;
    }
    return nullptr;
}

constexpr int32_t kScanModeCheck = 0;
constexpr int32_t kScanModeCure = 1;
// -1 is the failure answer both ways: of an engine operation, and of a
// callback the engine makes.
constexpr int32_t kEngineFailure = -1;
constexpr int32_t kCallbackFailure = kEngineFailure;

enum EngineResultFlags : uint32_t {
    ResultClean = 0,
    ResultInfected = 0x1,
    ResultModification = 0x2,
    ResultProbablyInfected = 0x4,
    ResultCured = 0x8,
    ResultIncurable = 0x10,
    ResultReadError = 0x20,
    ResultWriteError = 0x40,
    ResultUnpackError = 0x80,
    ResultPasswordProtected = 0x100,
    ResultArchive = 0x1000,
    ResultCrcError = 0x2000,
    ResultBadArchiveHeader = 0x4000,
    ResultNoMoreMembers = 0x8000,
    ResultSplitArchive = 0x20000,
};

// The bits by which an answer reports a virus found.
constexpr uint32_t kVirusFoundBits = ResultInfected | ResultModification | ResultProbablyInfected;

struct PluginVersionRecord {
    int32_t words[3];
};
constexpr PluginVersionRecord kPluginVersionRecord = {{3, 431, 0}};

constexpr int32_t kMinSupportedEngineVersion = 427;
constexpr int32_t kMaxSupportedEngineVersion = 431;
constexpr bool IsSupportedEngineVersion(int32_t version) {
    return version >= kMinSupportedEngineVersion && version <= kMaxSupportedEngineVersion;
}
// What our own engines answer to EngineGetVersion.
constexpr int32_t kOurEngineVersion = 431;

// Counts of the bases loaded since ORLIX_InitDll, for tools and tests:
// records accepted and lines rejected. An optional export of our engines.
typedef void(__cdecl* BaseStatisticsProc)(int32_t* records, int32_t* rejected);
constexpr const char kBaseStatisticsExport[] = "ORLIX_BaseStatistics";

// What the engine's bases hold in detail, for tools and tests: an optional
// export of engines that load the open signature databases. The caller sets
// structSize; the engine fills that many bytes at most, so that a caller
// built against an older, shorter record still works.
enum SkippedRecordKind : int32_t {
    SkippedOtherLevel = 0,           // records for another functionality level
    SkippedTypedBody = 1,            // body records of a target, offset or syntax the matcher lacks
    SkippedPeSection = 2,            // .imp: PE import hashes
    SkippedLogical = 3,              // .ldb/.ldu
    SkippedContainer = 4,            // .cdb: container metadata
    SkippedBytecode = 5,             // .cbc files
    SkippedYara = 6,                 // .yar/.yara
    SkippedPhishing = 7,             // .pdb/.gdb/.wdb
    SkippedPotentiallyUnwanted = 8,  // .hdu/.hsu/.ndu/.mdu/.msu (off unless asked for)
    SkippedOther = 9,                // every other kind of file (icons, certificates, file types, settings)
    kSkippedKinds = 10,
};
constexpr const char* kSkippedKindNames[kSkippedKinds] = {
    "other level", "typed body",           "PE import", "logical", "container", "bytecode", "YARA",
    "phishing",    "potentially unwanted", "other"};

struct BaseDatabaseRecord {
    char name[64];       // the container's file name
    char buildTime[32];  // the header's fields
    char builder[32];
    int32_t version;
    int32_t signatures;
    int32_t functionalityLevel;
    int32_t buildSeconds;
    int32_t records;   // records it added
    int32_t rejected;  // 1 when it failed its integrity checks and added nothing
};
constexpr int kMaxReportedDatabases = 16;

struct BaseStatisticsEx {
    int32_t structSize;
    int32_t records;        // as ORLIX_BaseStatistics
    int32_t rejectedLines;  // as ORLIX_BaseStatistics
    int32_t hashRecords;
    int32_t bodyRecords;
    int32_t allowRecords;
    int32_t ignoredNames;
    int32_t databasesLoaded;    // containers and loose files of the open formats
    int32_t databasesRejected;  // containers that failed their integrity checks
    int32_t skipped[kSkippedKinds];
    uint32_t storeBytes;  // memory the loaded records and the filter hold
    int32_t databaseCount;
    BaseDatabaseRecord databases[kMaxReportedDatabases];
};
typedef void(__cdecl* BaseStatisticsExProc)(BaseStatisticsEx* statistics);
constexpr const char kBaseStatisticsExExport[] = "ORLIX_BaseStatisticsEx";

constexpr int kVirusNameBufferSize = 260;
constexpr int kVirusNameMaxChars = 257;
constexpr int kArchiverNameBufferSize = 21;
constexpr int kMemberNameOffset = 8;
constexpr int kMemberNameMaxChars = 512;
constexpr int kArchiveHeaderSize = 1032;

struct ArchiveMemberHeader {
    unsigned char bytes[kArchiveHeaderSize];
};
static_assert(sizeof(ArchiveMemberHeader) == 1032, "engine expects 1032 bytes");

// The buffer the temporary-file callback writes the file's name into.
constexpr int kTempNameBufferSize = 260;

// The callback table: 52 pairs (procedure address or 0, argument count after
// the ignored first argument).
constexpr int kCallbackSlotCount = 52;
struct CallbackSlot {
    void* procedure;
    int32_t argumentCount;
};

// Every slot by name. The ones after "Stub" have no procedure of the
// plug-in's own: they answer a constant (or have no address at all).
enum CallbackSlotIndex {
    SlotStubZero0 = 0,
    SlotAlloc = 1,
    SlotFree = 2,
    SlotCreateFile = 3,
    SlotOpenFile = 4,
    SlotCloseFile = 5,
    SlotReadFile = 6,
    SlotWriteFile = 7,
    SlotSeekToStart = 8,
    SlotSeekToEnd = 9,
    SlotSeekFromStart = 10,
    SlotSeekFromCurr = 11,
    SlotSeekFromEnd = 12,
    SlotGetFileLength = 13,
    SlotRenameFile = 14,
    SlotSetFileSize = 15,
    SlotDeleteFile = 16,
    SlotGetFileDateTime = 17,
    SlotSetFileDateTime = 18,
    SlotGetFileAttributes = 19,
    SlotSetFileAttributes = 20,
    SlotStubFail21 = 21,
    SlotStubFail22 = 22,
    SlotStubFail23 = 23,
    SlotStubFail24 = 24,
    SlotStubFail25 = 25,
    SlotStubFail26 = 26,
    SlotCreateTempFile = 27,
    SlotEmpty28 = 28,
    SlotEmpty29 = 29,
    SlotStubOne30 = 30,
    SlotStubZero31 = 31,
    SlotStubZero32 = 32,
    SlotStubFail33 = 33,
    SlotStubFail34 = 34,
    SlotStubFail35 = 35,
    SlotStubFail36 = 36,
    SlotStubFail37 = 37,
    SlotStubFail38 = 38,
    SlotStubFail39 = 39,
    SlotStubFail40 = 40,
    SlotStubFail41 = 41,
    SlotStubFail42 = 42,
    SlotStubFail43 = 43,
    SlotStubFail44 = 44,
    SlotStubFail45 = 45,
    SlotStubFail46 = 46,
    SlotStubFail47 = 47,
    SlotStubFail48 = 48,
    SlotStubFail49 = 49,
    SlotStubFail50 = 50,
    SlotEmpty51 = 51,
};

// The argument count of every slot after the ignored first argument, as the
// plug-in fills the table.
constexpr int32_t kCallbackArgumentCounts[kCallbackSlotCount] = {
    0, 1, 1, 1, 2, 1, 3, 3, 1, 1, 2, 2, 2, 1, 2, 2, 1, 3, 3, 1, 2, 5, 6, 6, 5, 0,
    0, 1, 0, 0, 3, 3, 2, 1, 0, 4, 0, 4, 4, 2, 4, 4, 4, 4, 0, 0, 2, 1, 1, 1, 2, 0,
};

// A handle the host's open and create callbacks answer: both -1 and 0 say
// that there is none.
constexpr bool IsHostHandle(int32_t handle) { return handle != -1 && handle != 0; }

// Open modes of SlotOpenFile for files.
constexpr int32_t kOpenRead = 0;
constexpr int32_t kOpenWrite = 1;
constexpr int32_t kOpenReadWrite = 2;

// A block of the host's memory handed to the engine as a file, named by its
// address and size: "##" address "#" size, each as eight hexadecimal digits.
constexpr const char kMemoryObjectNameFormat[] = "##%08X#%08X";
constexpr int kMemoryObjectNameLength = 19;
constexpr const char kMemoryObjectPrefix[] = "##";
constexpr int kMemoryObjectAddressOffset = 2;
constexpr int kMemoryObjectSeparatorOffset = 10;
constexpr int kMemoryObjectSizeOffset = 11;

}  // namespace orlix
