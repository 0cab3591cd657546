// Loads the open signature databases into the matcher's records: the
// containers (.cvd, .cld) with their integrity checks, and loose text
// databases, from the paths a base file's "database" lines name. A
// container that fails a check adds nothing; the others still load.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"
#include "match/database.h"
#include "orlix/contract.h"

namespace refengine {

// What the loads since the binding found, for the trace and the statistics.
struct ClamCounts {
    int32_t hashRecords = 0;
    int32_t bodyRecords = 0;
    int32_t allowRecords = 0;
    int32_t ignoredNames = 0;
    int32_t rejectedLines = 0;
    int32_t skipped[orlix::kSkippedKinds] = {};
    void Add(const ClamCounts& other);
};

struct ClamStatistics {
    ClamCounts counts;
    int32_t databasesLoaded = 0;
    int32_t databasesRejected = 0;
    std::vector<orlix::BaseDatabaseRecord> databases;  // the containers, up to kMaxReportedDatabases
};

class ClamLoader {
public:
    ClamLoader(Host& host, Database& database, ClamStatistics& statistics)
        : host_(host), database_(database), statistics_(statistics) {}
    ClamLoader(const ClamLoader&) = delete;
    ClamLoader& operator=(const ClamLoader&) = delete;

    // A container, a loose database or a folder holding them. The records
    // added; -1 when nothing at all could be read there.
    int32_t LoadPath(const std::string& path);

private:
    int32_t LoadFolder(const std::string& folder);
    // False when the file cannot be opened; a file that fails its checks
    // is read (true) and counted rejected.
    bool LoadContainer(const std::string& path);
    bool LoadLoose(const std::string& path);
    void Trace(const std::string& line);

    Host& host_;
    Database& database_;
    ClamStatistics& statistics_;
};

// The kind of text database a file name ends in, for the loader and its tests.
enum class ClamFileKind { Hashes, Allows, SectionHashes, Ignores, Bodies, Info, Container, Skipped };
ClamFileKind KindOfDatabaseFile(const std::string& name, orlix::SkippedRecordKind& skipped);

}  // namespace refengine
