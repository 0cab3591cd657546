// The engine's walk of one check: the object scan (check and cure of a file
// or memory block by name) and the stack of open archives walked by
// EngineLastArchiverName, EngineOpenArchive, EngineGetNextFileHeader,
// EngineExtractNextFile and EngineCloseArchive. Every object and member it
// reads goes to the detector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "detect/detector.h"
#include "formats/check_budget.h"
#include "host/host_io.h"
#include "member_check.h"
#include "orlix/contract.h"

namespace refengine {

// Levels the engine keeps open at most; deeper archives are refused.
constexpr size_t kMaxArchiveLevels = 100;

class ObjectWalk {
public:
    ObjectWalk(Host& host, Detector& detector, const UnpackLimits& limits = kUnpackLimits)
        : host_(host), detector_(detector), budget_(limits) {}
    ObjectWalk(const ObjectWalk&) = delete;
    ObjectWalk& operator=(const ObjectWalk&) = delete;

    int32_t ScanObject(int32_t mode, const char* name);
    void CopyLastVirusName(char* buffer) const;
    int32_t CopyLastArchiverName(char* buffer) const;
    int32_t OpenArchive();
    int32_t NextMemberHeader(orlix::ArchiveMemberHeader* header, int32_t nameRoom);
    int32_t ExtractMember(orlix::ArchiveMemberHeader* header);
    void CloseArchive();

private:
    struct ArchiveLevel {
        std::unique_ptr<ArchiveReader> reader;  // null: the open failed, only the close is left
        const ArchiveFormat* format = nullptr;
        std::string path;  // the archive's path in the walk
        std::string memberName;
        std::string memberPath;
        bool haveEntry = false;
    };

    // The archive most recently answered with the archive bit, waiting for
    // EngineOpenArchive: a checked file by name, or a member spooled while
    // it was being unpacked. name: the file's or the member's, for formats
    // that store no member names.
    struct PendingArchive {
        std::string fileName;
        std::unique_ptr<Spool> member;
        std::string name;
        std::string path;
        ProbedFormats formats;
        bool present = false;
    };

    int32_t CureFind(HostFile& file, const char* name, const Finding& finding);
    std::unique_ptr<ArchiveReader> OpenReader(const ProbedFormats& formats, std::unique_ptr<ByteSource> source,
                                              const std::string& name);

    Host& host_;
    Detector& detector_;
    std::vector<ArchiveLevel> levels_;
    PendingArchive pending_;
    std::string lastVirus_;
    CheckBudget budget_;
};

}  // namespace refengine
