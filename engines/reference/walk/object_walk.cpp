#include "engine_state.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive_format.h"
#include "database.h"
#include "gzip_reader.h"
#include "host_io.h"
#include "signature_watch.h"
#include "stream_scanner.h"
#include "tar_reader.h"
#include "zip_reader.h"

namespace refengine {
namespace {

constexpr uint32_t kReadChunk = 65536;
const unsigned char kEndRecordBytes[4] = {'P', 'K', 5, 6};

struct ArchiveLevel {
    std::unique_ptr<ArchiveReader> reader;  // null: the open failed, only the close is left
    ArchiveFormat format = ArchiveFormat::None;
    std::string memberName;
    bool haveEntry = false;
};

// The archive most recently answered with the archive bit, waiting for
// EngineOpenArchive: a checked file by name, or a member spooled while it
// was being unpacked. name: the file's or the member's, for formats that
// store no member names.
struct PendingArchive {
    std::string fileName;
    std::unique_ptr<Spool> member;
    std::string name;
    ArchiveFormat format = ArchiveFormat::None;
    bool alsoZip = false;  // a ZIP behind the gzip or tar: walked after it
    bool present = false;
};

struct ScanState {
    std::vector<ArchiveLevel> levels;
    PendingArchive pending;
    std::string lastVirus;
    CheckBudget budget;
};

ScanState& State() {
    static ScanState state;
    return state;
}

void ClearPending() { State().pending = PendingArchive(); }

std::unique_ptr<ArchiveReader> OpenReader(ArchiveFormat format, bool alsoZip, std::unique_ptr<ByteSource> source,
                                          const std::string& name) {
    if (alsoZip && format != ArchiveFormat::Zip) {
        std::shared_ptr<ByteSource> shared(std::move(source));
        return std::unique_ptr<ArchiveReader>(new ChainedReader(
            OpenReader(format, false, std::unique_ptr<ByteSource>(new SharedSource(shared)), name),
            OpenReader(ArchiveFormat::Zip, false, std::unique_ptr<ByteSource>(new SharedSource(shared)), name)));
    }
    switch (format) {
        case ArchiveFormat::Gzip:
            return std::unique_ptr<ArchiveReader>(new GzipReader(std::move(source), name));
        case ArchiveFormat::Tar:
            return std::unique_ptr<ArchiveReader>(new TarReader(std::move(source)));
        default:
            return std::unique_ptr<ArchiveReader>(new ZipReader(std::move(source)));
    }
}

int32_t CureFind(HostFile& file, const char* name, const StreamScanner& scanner) {
    uint32_t flags = scanner.verdict().flags;
    // Only a body appended to a host can be cut off; a find at offset 0 is
    // the whole object, and a cut at a start not known exactly could take
    // the host's own bytes with it.
    if (!scanner.verdict().curable || !scanner.matchStartKnown() || scanner.matchStart() == 0)
        return flags | orlix::ResultIncurable;
    file.Close();
    HostFile writable;
    if (!writable.Open(name, orlix::kOpenReadWrite) ||
        HostSetSize(writable.handle(), static_cast<uint32_t>(scanner.matchStart())) == -1) {
        return flags | orlix::ResultIncurable | orlix::ResultWriteError;
    }
    return flags | orlix::ResultCured;
}

}  // namespace

void ResetScanState() { State() = ScanState(); }

int32_t ScanObject(int32_t mode, const char* name) {
    ScanState& state = State();
    state.levels.clear();
    ClearPending();
    state.lastVirus.clear();
    state.budget.Restart();
    if (!name || (mode != orlix::kScanModeCheck && mode != orlix::kScanModeCure)) return orlix::kEngineFailure;

    Database& db = CurrentDatabase();
    db.Finish();
    HostFile file;
    if (!file.Open(name, orlix::kOpenRead)) return orlix::kEngineFailure;
    HostBuffer chunk(kReadChunk);
    if (!chunk) return orlix::kEngineFailure;
    int32_t got = file.ReadAt(0, chunk.data(), kFormatHeadBytes);
    if (got == -1) return orlix::kEngineFailure;
    ArchiveFormat format = DetectArchiveHead(chunk.data(), static_cast<size_t>(got));

    // An archive's own bytes are matched too: its comment, what follows its
    // end, and hash records of the whole file.
    StreamScanner scanner(db, file.Size(), true);
    // The search for a ZIP's end record reads the whole object: only an
    // object that holds its signature somewhere needs it.
    SignatureWatch endRecord(kEndRecordBytes);
    bool endSignature = false;
    for (uint64_t offset = 0;;) {
        got = file.ReadAt(offset, chunk.data(), chunk.size());
        if (got == -1) return orlix::kEngineFailure;
        if (got == 0) break;
        if (!endSignature) endSignature = endRecord.Feed(chunk.data(), static_cast<uint32_t>(got)) != 0;
        if (!scanner.Feed(chunk.data(), static_cast<size_t>(got))) {
            endSignature = true;  // not all read: unknown
            break;
        }
        offset += static_cast<uint32_t>(got);
    }
    // A clean answer for an object only partly read would be a false one.
    if (!scanner.found() && file.ExtendsPastLength()) return orlix::kEngineFailure;
    scanner.Finish();
    bool zipAtEnd = format != ArchiveFormat::Zip && endSignature &&
                    (!scanner.found() || mode == orlix::kScanModeCure) && EndsInZip(file);
    if (format == ArchiveFormat::None && zipAtEnd) format = ArchiveFormat::Zip;
    bool archive = format != ArchiveFormat::None;
    if (!scanner.found()) {
        if (!archive) return orlix::ResultClean;
        state.pending.fileName = name;
        state.pending.name = name;
        state.pending.format = format;
        state.pending.alsoZip = zipAtEnd;
        state.pending.present = true;
        return orlix::ResultArchive;
    }
    state.lastVirus = scanner.verdict().name;
    if (mode == orlix::kScanModeCheck) return static_cast<int32_t>(scanner.verdict().flags);
    // Archives are not cured: cutting one would lose its other members.
    if (archive) return static_cast<int32_t>(scanner.verdict().flags | orlix::ResultIncurable);
    return static_cast<int32_t>(CureFind(file, name, scanner));
}

void CopyLastVirusName(char* buffer) {
    if (!buffer) return;
    size_t length = std::min<size_t>(State().lastVirus.size(), orlix::kVirusNameMaxChars);
    std::memcpy(buffer, State().lastVirus.data(), length);
    buffer[length] = 0;
}

int32_t CopyLastArchiverName(char* buffer) {
    const ScanState& state = State();
    if (!buffer || (!state.pending.present && state.levels.empty())) return orlix::kEngineFailure;
    const char* archiver = ArchiverName(state.pending.present ? state.pending.format : state.levels.back().format);
    std::memcpy(buffer, archiver, std::strlen(archiver) + 1);
    return 0;
}

int32_t OpenArchive() {
    ScanState& state = State();
    // Every open gets a level, even a failed one: the host closes each
    // level it tried to open, and must not close the one around it instead.
    state.levels.emplace_back();
    ArchiveLevel& level = state.levels.back();
    if (!state.pending.present || state.levels.size() > kMaxArchiveLevels) {
        ClearPending();
        return orlix::kEngineFailure;
    }
    std::unique_ptr<ByteSource> source;
    if (state.pending.member) {
        source = std::move(state.pending.member);
    } else {
        std::unique_ptr<HostFile> file(new HostFile);
        if (!file->Open(state.pending.fileName.c_str(), orlix::kOpenRead)) {
            ClearPending();
            return orlix::kEngineFailure;
        }
        source = std::move(file);
    }
    level.format = state.pending.format;
    level.reader = OpenReader(state.pending.format, state.pending.alsoZip, std::move(source), state.pending.name);
    ClearPending();
    return 0;
}

int32_t NextMemberHeader(orlix::ArchiveMemberHeader* header, int32_t nameRoom) {
    ScanState& state = State();
    if (!header || state.levels.empty() || !state.levels.back().reader) return orlix::kEngineFailure;
    ArchiveLevel& level = state.levels.back();
    level.haveEntry = false;
    uint32_t answer = level.reader->Next(level.memberName);
    if (answer) return static_cast<int32_t>(answer);
    level.haveEntry = true;
    size_t room = static_cast<size_t>(std::min<int32_t>(std::max<int32_t>(nameRoom, 1), orlix::kMemberNameMaxChars));
    size_t length = std::min(level.memberName.size(), room - 1);
    char* name = reinterpret_cast<char*>(header->bytes + orlix::kMemberNameOffset);
    std::memcpy(name, level.memberName.data(), length);
    name[length] = 0;
    return 0;
}

int32_t ExtractMember(orlix::ArchiveMemberHeader* header) {
    ScanState& state = State();
    if (!header || state.levels.empty() || !state.levels.back().reader || !state.levels.back().haveEntry)
        return orlix::kEngineFailure;
    ClearPending();
    ArchiveLevel& level = state.levels.back();
    level.haveEntry = false;
    MemberOutcome outcome = level.reader->Extract(CurrentDatabase(), state.budget);
    if (outcome.flags & orlix::kVirusFoundBits) state.lastVirus = outcome.virusName;
    if (outcome.nestedArchive) {
        state.pending.member = std::move(outcome.nestedArchive);
        state.pending.name = level.memberName;
        state.pending.format = outcome.nestedFormat;
        state.pending.alsoZip = outcome.nestedAlsoZip;
        state.pending.present = true;
    }
    return static_cast<int32_t>(outcome.flags);
}

void CloseArchive() {
    ScanState& state = State();
    ClearPending();
    if (!state.levels.empty()) state.levels.pop_back();
}

}  // namespace refengine
