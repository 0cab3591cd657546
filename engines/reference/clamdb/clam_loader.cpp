#include "clam_loader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base_lines.h"
#include "clamdb/container_records.h"
#include "clamdb/tar_stream.h"
#include "digest/md5.h"
#include "digest/sha.h"
#include "formats/gzip/gzip_records.h"
#include "formats/unpack.h"
#include "host/host_io.h"

namespace refengine {
namespace {

constexpr size_t kMaxLineLength = 65536;
constexpr uint32_t kReadChunk = 65536;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Extension(const std::string& name) {
    const size_t slash = name.find_last_of("/\\");
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(name.substr(dot + 1));
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    return folder + (folder.find('\\') != std::string::npos ? "\\" : "/") + name;
}

void CopyText(char* out, size_t room, const std::string& text) { std::snprintf(out, room, "%s", text.c_str()); }

// The lines of one text database, parsed by its kind into the records.
class RecordLines : public engineboundary::LineTaker {
public:
    // ignores: where a container's ignored names wait for its checks; null
    // to apply them at once.
    RecordLines(Database& database, ClamFileKind kind, orlix::SkippedRecordKind skipped, ClamCounts& counts,
                std::vector<std::string>* ignores)
        : database_(database), kind_(kind), skipped_(skipped), counts_(counts), ignores_(ignores) {}

    bool TakeLine(const std::string& line) override { return TakeText(line.data(), line.size()); }
    bool TakeText(const char* text, size_t length) override {
        switch (kind_) {
            case ClamFileKind::Hashes:
            case ClamFileKind::Allows:
            case ClamFileKind::SectionHashes:
                return TakeHash(text, length);
            case ClamFileKind::Bodies:
                return TakeBody(text, length);
            case ClamFileKind::Ignores:
                return TakeIgnore(text, length);
            case ClamFileKind::Skipped:
                if (TrimRecordLine(text, length)) ++counts_.skipped[skipped_];
                return true;
            default:
                return true;
        }
    }

private:
    bool TakeHash(const char* text, size_t length) {
        HashLine record;
        const bool section = kind_ == ClamFileKind::SectionHashes;
        switch (section ? ParseSectionHashLine(text, length, record) : ParseHashLine(text, length, record)) {
            case RecordStatus::Accepted:
                break;
            case RecordStatus::OtherLevel:
                ++counts_.skipped[orlix::SkippedOtherLevel];
                return true;
            case RecordStatus::Blank:
                return true;
            default:
                return false;
        }
        const bool allow = kind_ == ClamFileKind::Allows;
        if (section) {
            if (!database_.AddSectionHash(record)) return false;
            ++counts_.hashRecords;
            return true;
        }
        if (!database_.AddHash(record, Verdict(), allow)) return false;
        ++(allow ? counts_.allowRecords : counts_.hashRecords);
        return true;
    }

    bool TakeBody(const char* text, size_t length) {
        switch (ParseBodyLine(text, length, bodies_)) {
            case RecordStatus::Accepted:
                database_.AddBodies(bodies_);
                ++counts_.bodyRecords;
                return true;
            case RecordStatus::OtherLevel:
                ++counts_.skipped[orlix::SkippedOtherLevel];
                return true;
            case RecordStatus::Unsupported:
                ++counts_.skipped[orlix::SkippedTypedBody];
                return true;
            case RecordStatus::Blank:
                return true;
            default:
                return false;
        }
    }

    bool TakeIgnore(const char* text, size_t length) {
        TextSpan name;
        switch (ParseIgnoreLine(text, length, name)) {
            case RecordStatus::Accepted:
                if (ignores_) {
                    ignores_->emplace_back(name.text, name.length);
                } else {
                    database_.Ignore(name);
                }
                ++counts_.ignoredNames;
                return true;
            case RecordStatus::Blank:
                return true;
            default:
                return false;
        }
    }

    Database& database_;
    ClamFileKind kind_;
    orlix::SkippedRecordKind skipped_;
    ClamCounts& counts_;
    std::vector<std::string>* ignores_;
    std::vector<BodySignature> bodies_;
};

// The .info list's entries, gathered as its lines arrive.
class InfoLines : public engineboundary::LineTaker {
public:
    bool TakeLine(const std::string& line) override {
        InfoEntry entry;
        switch (ParseInfoLine(line, entry)) {
            case InfoLine::Entry:
                entries.push_back(entry);
                return true;
            case InfoLine::Other:
                return true;
            default:
                damaged = true;
                return false;
        }
    }
    std::vector<InfoEntry> entries;
    bool damaged = false;
};

// Every member of a container: its records parsed as it streams by, its
// SHA-256 and length kept for the .info list's check.
class ContainerMembers : public TarMembers {
public:
    ContainerMembers(Database& database, ClamCounts& counts, std::vector<std::string>& ignores)
        : database_(database), counts_(counts), ignores_(ignores) {}

    void Begin(const std::string& name, uint64_t) override {
        current_ = Seen();
        current_.name = FileName(name);
        orlix::SkippedRecordKind skipped = orlix::SkippedOther;
        const ClamFileKind kind = KindOfDatabaseFile(current_.name, skipped);
        isInfo_ = kind == ClamFileKind::Info;
        if (isInfo_) {
            ++infoLists;
            info_.entries.clear();
            lines_.reset(new engineboundary::BaseLineReader(info_, kMaxLineLength));
        } else {
            if (kind == ClamFileKind::Skipped && skipped == orlix::SkippedBytecode) ++counts_.skipped[skipped];
            records_.reset(new RecordLines(database_, kind, skipped, counts_, &ignores_));
            lines_.reset(new engineboundary::BaseLineReader(*records_, kMaxLineLength));
        }
        hash_ = Sha256();
    }
    void Data(const unsigned char* bytes, uint32_t count) override {
        hash_.Update(bytes, count);
        current_.size += count;
        // Bytecode is binary: only its files are counted.
        if (!IsBytecode()) lines_->Feed(bytes, count);
    }
    void End() override {
        if (!IsBytecode()) lines_->Finish();
        if (!isInfo_) counts_.rejectedLines += lines_->rejected();
        hash_.Final(current_.sha256);
        if (isInfo_) {
            infoDamaged = infoDamaged || info_.damaged;
            info = info_.entries;
        } else {
            seen.push_back(current_);
        }
        lines_.reset();
        records_.reset();
    }

    struct Seen {
        std::string name;
        uint64_t size = 0;
        unsigned char sha256[32] = {};
    };
    std::vector<Seen> seen;
    std::vector<InfoEntry> info;
    int infoLists = 0;
    bool infoDamaged = false;

private:
    bool IsBytecode() const { return Extension(current_.name) == "cbc"; }

    Database& database_;
    ClamCounts& counts_;
    std::vector<std::string>& ignores_;
    Seen current_;
    bool isInfo_ = false;
    InfoLines info_;
    std::unique_ptr<RecordLines> records_;
    std::unique_ptr<engineboundary::BaseLineReader> lines_;
    Sha256 hash_;
};

// The reason a container's members fail the .info list, or empty.
std::string CheckAgainstInfo(const ContainerMembers& members) {
    if (members.infoLists != 1) return members.infoLists ? "more than one .info list" : "no .info list";
    if (members.infoDamaged) return "a damaged .info line";
    for (const ContainerMembers::Seen& file : members.seen) {
        auto entry = std::find_if(members.info.begin(), members.info.end(),
                                  [&](const InfoEntry& e) { return e.name == file.name; });
        if (entry == members.info.end()) return file.name + " is not in the .info list";
        if (entry->size != file.size) return file.name + " differs in length from its .info entry";
        if (std::memcmp(entry->sha256, file.sha256, 32) != 0) return file.name + " differs from its .info SHA-256";
    }
    for (const InfoEntry& e : members.info) {
        auto file = std::find_if(members.seen.begin(), members.seen.end(),
                                 [&](const ContainerMembers::Seen& f) { return f.name == e.name; });
        if (file == members.seen.end()) return e.name + " of the .info list is missing";
    }
    return "";
}

// MD5 of the bytes from offset to the end; false on a read failure.
std::string SkippedText(const ClamCounts& counts) {
    std::string text;
    for (int k = 0; k < orlix::kSkippedKinds; ++k) {
        if (counts.skipped[k])
            text += std::string(text.empty() ? "" : ", ") + orlix::kSkippedKindNames[k] + " " +
                    std::to_string(counts.skipped[k]);
    }
    return text.empty() ? "none" : text;
}

bool Md5Of(HostFile& file, uint64_t offset, unsigned char (&digest)[16], Host& host) {
    HostBuffer chunk(host, kReadChunk);
    if (!chunk) return false;
    Md5 md5;
    for (;;) {
        const int32_t got = file.ReadAt(offset, chunk.data(), chunk.size());
        if (got == -1) return false;
        if (got == 0) break;
        md5.Update(chunk.data(), static_cast<size_t>(got));
        offset += static_cast<uint32_t>(got);
    }
    md5.Final(digest);
    return true;
}

}  // namespace

void ClamCounts::Add(const ClamCounts& o) {
    hashRecords += o.hashRecords;
    bodyRecords += o.bodyRecords;
    allowRecords += o.allowRecords;
    ignoredNames += o.ignoredNames;
    rejectedLines += o.rejectedLines;
    for (int k = 0; k < orlix::kSkippedKinds; ++k) skipped[k] += o.skipped[k];
}

ClamFileKind KindOfDatabaseFile(const std::string& name, orlix::SkippedRecordKind& skipped) {
    const std::string ext = Extension(name);
    skipped = orlix::SkippedOther;
    if (ext == "hdb" || ext == "hsb") return ClamFileKind::Hashes;
    if (ext == "fp" || ext == "sfp") return ClamFileKind::Allows;
    if (ext == "mdb" || ext == "msb") return ClamFileKind::SectionHashes;
    if (ext == "ign2") return ClamFileKind::Ignores;
    if (ext == "ndb") return ClamFileKind::Bodies;
    if (ext == "info") return ClamFileKind::Info;
    if (ext == "cvd" || ext == "cld") return ClamFileKind::Container;
    if (ext == "imp") {
        skipped = orlix::SkippedPeSection;
    } else if (ext == "ldb") {
        skipped = orlix::SkippedLogical;
    } else if (ext == "cdb") {
        skipped = orlix::SkippedContainer;
    } else if (ext == "cbc") {
        skipped = orlix::SkippedBytecode;
    } else if (ext == "yar" || ext == "yara") {
        skipped = orlix::SkippedYara;
    } else if (ext == "pdb" || ext == "gdb" || ext == "wdb") {
        skipped = orlix::SkippedPhishing;
    } else if (ext.size() == 3 && ext[2] == 'u') {
        skipped = orlix::SkippedPotentiallyUnwanted;
    }
    return ClamFileKind::Skipped;
}

void ClamLoader::Trace(const std::string& line) { host_.Trace(("orlix32: " + line + "\n").c_str()); }

int32_t ClamLoader::LoadPath(const std::string& path) {
    const int32_t before = database_.records();
    // A name that ends in no database kind names a folder.
    static const char* const kFileKinds[] = {"cvd",  "cld", "hdb", "hsb", "fp",  "sfp", "ign2", "ign",
                                             "ndb",  "mdb", "msb", "imp", "ldb", "cdb", "cbc",  "yar",
                                             "yara", "pdb", "gdb", "wdb", "hdu", "hsu", "ndu",  "mdu",
                                             "msu",  "ldu", "cfg", "ftm", "idb", "crb", "info"};
    const std::string ext = Extension(path);
    if (std::none_of(std::begin(kFileKinds), std::end(kFileKinds), [&](const char* k) { return ext == k; }))
        return LoadFolder(path);
    orlix::SkippedRecordKind skipped;
    const bool read =
        KindOfDatabaseFile(path, skipped) == ClamFileKind::Container ? LoadContainer(path) : LoadLoose(path);
    if (!read) {
        Trace("clamav database " + path + ": cannot be read");
        return -1;
    }
    return database_.records() - before;
}

int32_t ClamLoader::LoadFolder(const std::string& folder) {
    // The host lists no folders: the containers by their well-known names
    // (of a .cvd and a .cld of one name the newer version), and the local
    // loose databases by theirs.
    const int32_t before = database_.records();
    bool any = false;
    for (const char* stem : {"main", "daily", "bytecode"}) {
        uint32_t best = 0;
        std::string chosen;
        for (const char* ext : {".cld", ".cvd"}) {
            const std::string path = Join(folder, std::string(stem) + ext);
            HostFile file(host_);
            if (!file.Open(path.c_str(), orlix::kOpenRead)) continue;
            unsigned char block[kContainerHeaderSize];
            ContainerHeader header;
            const bool parsed = file.ReadAt(0, block, sizeof block) == static_cast<int32_t>(sizeof block) &&
                                ParseContainerHeader(block, sizeof block, header);
            if (chosen.empty() || (parsed && header.version > best)) {
                chosen = path;
                best = parsed ? header.version : 0;
            }
        }
        if (!chosen.empty()) any = LoadContainer(chosen) || any;
    }
    for (const char* name :
         {"local.ign2", "local.hdb", "local.hsb", "local.fp", "local.sfp", "local.ndb", "local.mdb", "local.msb"}) {
        any = LoadLoose(Join(folder, name)) || any;
    }
    if (!any) {
        Trace("clamav database folder " + folder + ": no database found");
        return -1;
    }
    return database_.records() - before;
}

bool ClamLoader::LoadLoose(const std::string& path) {
    HostFile file(host_);
    if (!file.Open(path.c_str(), orlix::kOpenRead)) return false;
    HostBuffer chunk(host_, kReadChunk);
    if (!chunk) return false;
    orlix::SkippedRecordKind skipped;
    const ClamFileKind kind = KindOfDatabaseFile(path, skipped);
    ClamCounts counts;
    const int32_t before = database_.records();
    RecordLines records(database_, kind, skipped, counts, nullptr);
    engineboundary::BaseLineReader lines(records, kMaxLineLength);
    if (kind == ClamFileKind::Skipped && skipped == orlix::SkippedBytecode) {
        ++counts.skipped[skipped];
    } else {
        for (uint64_t offset = 0;;) {
            const int32_t got = file.ReadAt(offset, chunk.data(), chunk.size());
            if (got == -1) return false;
            if (got == 0) break;
            offset += static_cast<uint32_t>(got);
            lines.Feed(chunk.data(), static_cast<size_t>(got));
        }
        lines.Finish();
    }
    counts.rejectedLines = lines.rejected();
    statistics_.counts.Add(counts);
    ++statistics_.databasesLoaded;
    char trace[600];
    std::snprintf(trace, sizeof trace, "clamav database %.260s: %d records, %d lines rejected; skipped %s",
                  path.c_str(), database_.records() - before, lines.rejected(), SkippedText(counts).c_str());
    Trace(trace);
    return true;
}

bool ClamLoader::LoadContainer(const std::string& path) {
    HostFile file(host_);
    if (!file.Open(path.c_str(), orlix::kOpenRead)) return false;
    const std::string name = FileName(path);
    const bool cvd = Extension(path) == "cvd";
    orlix::BaseDatabaseRecord report = {};
    CopyText(report.name, sizeof report.name, name);
    auto reject = [&](const std::string& why) {
        report.rejected = 1;
        ++statistics_.databasesRejected;
        if (statistics_.databases.size() < orlix::kMaxReportedDatabases) statistics_.databases.push_back(report);
        Trace("clamav database " + path + " rejected: " + why);
        return true;
    };

    unsigned char block[kContainerHeaderSize];
    ContainerHeader header;
    if (file.ReadAt(0, block, sizeof block) != static_cast<int32_t>(sizeof block) ||
        !ParseContainerHeader(block, sizeof block, header))
        return reject("no container header");
    CopyText(report.buildTime, sizeof report.buildTime, header.buildTime);
    CopyText(report.builder, sizeof report.builder, header.builder);
    report.version = static_cast<int32_t>(header.version);
    report.signatures = static_cast<int32_t>(header.signatures);
    report.functionalityLevel = static_cast<int32_t>(header.level);
    report.buildSeconds = static_cast<int32_t>(header.buildSeconds);
    char line[700];
    std::snprintf(line, sizeof line,
                  "clamav database %.200s: version %u, %u signatures, functionality level %u, built %.40s by %.40s "
                  "(%u)",
                  name.c_str(), header.version, header.signatures, header.level, header.buildTime.c_str(),
                  header.builder.c_str(), header.buildSeconds);
    Trace(line);

    // A .cvd's header holds the MD5 of the archive after it; a .cld's was
    // written before the archive was updated in place, so only its .info
    // list speaks for it. The publisher's signature over the MD5 is not
    // verified: the engine has no key or RSA of its own.
    if (cvd) {
        unsigned char expected[16], actual[16];
        if (!ParseHexDigest(header.md5, expected, 16)) return reject("the header's MD5 is no digest");
        if (!Md5Of(file, kContainerHeaderSize, actual, host_)) return reject("a read failure");
        if (std::memcmp(expected, actual, 16) != 0) return reject("the archive's MD5 differs from its header");
    }

    const Database::Mark mark = database_.mark();
    ClamCounts counts;
    std::vector<std::string> ignores;
    ContainerMembers members(database_, counts, ignores);
    TarStream tar(members);
    unsigned char magic[4] = {};
    const uint64_t size = file.Size();
    const bool gzip = file.ReadAt(kContainerHeaderSize, magic, 4) == 4 && LooksLikeGzip(magic, 4);
    uint32_t failure = 0;
    if (gzip) {
        GzipHeader gz;
        HostBuffer headerBuffer(host_, kGzipHeaderBuffer);
        failure = ReadGzipHeader(headerBuffer, file, kContainerHeaderSize, gz, 0);
        const uint64_t data = kContainerHeaderSize + gz.length;
        if (!failure) failure = InflateRaw(host_, file, data, size - data, tar);
    } else if (cvd) {
        database_.Rollback(mark);
        return reject("the archive is not compressed");
    } else {
        failure = CopyStored(host_, file, kContainerHeaderSize, size - kContainerHeaderSize, tar);
    }
    std::string why;
    if (failure || tar.damaged()) {
        why = tar.damaged() ? "a damaged tar header" : "the archive ends early or is damaged";
    } else {
        why = CheckAgainstInfo(members);
    }
    if (!why.empty()) {
        database_.Rollback(mark);
        return reject(why);
    }
    for (const std::string& ignored : ignores) database_.Ignore(TextSpan{ignored.data(), ignored.size()});
    report.records = counts.hashRecords + counts.bodyRecords;
    statistics_.counts.Add(counts);
    ++statistics_.databasesLoaded;
    if (statistics_.databases.size() < orlix::kMaxReportedDatabases) statistics_.databases.push_back(report);
    std::snprintf(line, sizeof line,
                  "clamav database %.200s: %d hash, %d body, %d allow records, %d ignored names, %d lines rejected; "
                  "skipped %s",
                  name.c_str(), counts.hashRecords, counts.bodyRecords, counts.allowRecords, counts.ignoredNames,
                  counts.rejectedLines, SkippedText(counts).c_str());
    Trace(line);
    return true;
}

}  // namespace refengine
