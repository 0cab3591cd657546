#include "engine_state.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database.h"
#include "host_io.h"
#include "stream_scanner.h"
#include "zip_reader.h"

namespace refengine {
namespace {

constexpr uint32_t kReadChunk = 65536;

struct ArchiveLevel {
    std::unique_ptr<ZipReader> zip;  // null: the open failed, only the close is left
    ZipEntry entry;
    bool haveEntry = false;
};

// The archive most recently answered with the archive bit, waiting for
// EngineOpenArchive: a checked file by name, or a member spooled while it
// was being unpacked.
struct PendingArchive {
    std::string fileName;
    std::unique_ptr<Spool> member;
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
    int32_t got = file.ReadAt(0, chunk.data(), 4);
    if (got == -1) return orlix::kEngineFailure;
    bool zipHead = LooksLikeZip(chunk.data(), static_cast<size_t>(got));

    // An archive's own bytes are matched too: its comment, what follows its
    // end, and hash records of the whole file.
    StreamScanner scanner(db, file.Size(), true);
    for (uint64_t offset = 0;;) {
        got = file.ReadAt(offset, chunk.data(), chunk.size());
        if (got == -1) return orlix::kEngineFailure;
        if (got == 0 || !scanner.Feed(chunk.data(), static_cast<size_t>(got))) break;
        offset += static_cast<uint32_t>(got);
    }
    // A clean answer for an object only partly read would be a false one.
    if (!scanner.found() && file.ExtendsPastLength()) return orlix::kEngineFailure;
    scanner.Finish();
    bool archive = zipHead;
    if (!archive && (!scanner.found() || mode == orlix::kScanModeCure)) archive = EndsInZip(file);
    if (!scanner.found()) {
        if (!archive) return orlix::ResultClean;
        state.pending.fileName = name;
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
    std::memcpy(buffer, kZipArchiverName, sizeof kZipArchiverName);
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
    ClearPending();
    level.zip.reset(new ZipReader(std::move(source)));
    return 0;
}

int32_t NextMemberHeader(orlix::ArchiveMemberHeader* header, int32_t nameRoom) {
    ScanState& state = State();
    if (!header || state.levels.empty() || !state.levels.back().zip) return orlix::kEngineFailure;
    ArchiveLevel& level = state.levels.back();
    level.haveEntry = false;
    uint32_t answer = level.zip->Next(level.entry);
    if (answer) return static_cast<int32_t>(answer);
    level.haveEntry = true;
    size_t room = static_cast<size_t>(std::min<int32_t>(std::max<int32_t>(nameRoom, 1), orlix::kMemberNameMaxChars));
    size_t length = std::min(level.entry.name.size(), room - 1);
    char* name = reinterpret_cast<char*>(header->bytes + orlix::kMemberNameOffset);
    std::memcpy(name, level.entry.name.data(), length);
    name[length] = 0;
    return 0;
}

int32_t ExtractMember(orlix::ArchiveMemberHeader* header) {
    ScanState& state = State();
    if (!header || state.levels.empty() || !state.levels.back().zip || !state.levels.back().haveEntry)
        return orlix::kEngineFailure;
    ClearPending();
    ArchiveLevel& level = state.levels.back();
    level.haveEntry = false;
    MemberOutcome outcome = level.zip->Extract(level.entry, CurrentDatabase(), state.budget);
    if (outcome.flags & orlix::kVirusFoundBits) state.lastVirus = outcome.virusName;
    if (outcome.nestedArchive) {
        state.pending.member = std::move(outcome.nestedArchive);
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
