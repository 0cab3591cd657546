#include "object_walk.h"

#include <algorithm>
#include <cstring>

namespace refengine {
namespace {

constexpr uint32_t kReadChunk = 65536;

}  // namespace

std::unique_ptr<ArchiveReader> ObjectWalk::OpenReader(const ProbedFormats& formats, std::unique_ptr<ByteSource> source,
                                                      const std::string& name) {
    if (formats.behind) {
        std::shared_ptr<ByteSource> shared(std::move(source));
        return std::unique_ptr<ArchiveReader>(new ChainedReader(
            formats.format->open(host_, std::unique_ptr<ByteSource>(new SharedSource(shared)), name),
            formats.behind->open(host_, std::unique_ptr<ByteSource>(new SharedSource(shared)), name)));
    }
    return formats.format->open(host_, std::move(source), name);
}

int32_t ObjectWalk::CureFind(HostFile& file, const char* name, const Finding& finding) {
    uint32_t flags = finding.flags;
    // Only a body appended to a host can be cut off; a find at offset 0 is
    // the whole object, and a cut at a start not known exactly could take
    // the host's own bytes with it.
    if (!finding.curable || !finding.cutKnown || finding.cutAt == 0) return flags | orlix::ResultIncurable;
    file.Close();
    HostFile writable(host_);
    if (!writable.Open(name, orlix::kOpenReadWrite) ||
        host_.SetSize(writable.handle(), static_cast<uint32_t>(finding.cutAt)) == -1) {
        return flags | orlix::ResultIncurable | orlix::ResultWriteError;
    }
    return flags | orlix::ResultCured;
}

int32_t ObjectWalk::ScanObject(int32_t mode, const char* name) {
    levels_.clear();
    pending_ = PendingArchive();
    lastVirus_.clear();
    budget_.Restart();
    if (!name || (mode != orlix::kScanModeCheck && mode != orlix::kScanModeCure)) return orlix::kEngineFailure;

    detector_.BeginCheck();
    HostFile file(host_);
    if (!file.Open(name, orlix::kOpenRead)) return orlix::kEngineFailure;
    HostBuffer chunk(host_, kReadChunk);
    if (!chunk) return orlix::kEngineFailure;

    // An archive's own bytes are inspected too: its comment, what follows
    // its end, and hash records of the whole file.
    InspectedObject object;
    object.name = name;
    object.size = file.Size();
    object.sizeKnown = true;
    std::unique_ptr<Inspection> inspection = detector_.Inspect(object);
    FormatProbe probe;
    for (uint64_t offset = 0;;) {
        int32_t got = file.ReadAt(offset, chunk.data(), chunk.size());
        if (got == -1) return orlix::kEngineFailure;
        if (got == 0) break;
        probe.Feed(chunk.data(), static_cast<uint32_t>(got));
        if (!inspection->Feed(chunk.data(), static_cast<size_t>(got))) {
            probe.MarkersUnknown();  // not all read
            break;
        }
        offset += static_cast<uint32_t>(got);
    }
    // A clean answer for an object only partly read would be a false one.
    if (!inspection->found() && file.ExtendsPastLength()) return orlix::kEngineFailure;
    // A detector that could not judge the object fails the check.
    if (!inspection->found() && inspection->Finish() != 0) return orlix::kEngineFailure;
    const Finding* finding = inspection->found();
    // The search for a format at the end reads the whole object: a find
    // settles a check without it.
    ProbedFormats formats;
    if (!finding || mode == orlix::kScanModeCure) formats = probe.Settle(host_, file);
    if (!finding) {
        if (!formats.format) return orlix::ResultClean;
        pending_.fileName = name;
        pending_.name = name;
        pending_.path = name;
        pending_.formats = formats;
        pending_.present = true;
        return orlix::ResultArchive;
    }
    lastVirus_ = finding->name;
    if (mode == orlix::kScanModeCheck) return static_cast<int32_t>(finding->flags);
    // Archives are not cured: cutting one would lose its other members.
    if (formats.format) return static_cast<int32_t>(finding->flags | orlix::ResultIncurable);
    return static_cast<int32_t>(CureFind(file, name, *finding));
}

void ObjectWalk::CopyLastVirusName(char* buffer) const {
    size_t length = std::min<size_t>(lastVirus_.size(), orlix::kVirusNameMaxChars);
    std::memcpy(buffer, lastVirus_.data(), length);
    buffer[length] = 0;
}

int32_t ObjectWalk::CopyLastArchiverName(char* buffer) const {
    if (!pending_.present && levels_.empty()) return orlix::kEngineFailure;
    const ArchiveFormat* format = pending_.present ? pending_.formats.format : levels_.back().format;
    // A level whose open failed still reports the archiver it was opened as.
    const char* archiver = format ? format->archiverName : "ZIP";
    std::memcpy(buffer, archiver, std::strlen(archiver) + 1);
    return 0;
}

int32_t ObjectWalk::OpenArchive() {
    // Every open gets a level, even a failed one: the host closes each
    // level it tried to open, and must not close the one around it instead.
    levels_.emplace_back();
    ArchiveLevel& level = levels_.back();
    PendingArchive pending = std::move(pending_);
    pending_ = PendingArchive();
    if (!pending.present || levels_.size() > kMaxArchiveLevels) return orlix::kEngineFailure;
    std::unique_ptr<ByteSource> source;
    if (pending.member) {
        source = std::move(pending.member);
    } else {
        std::unique_ptr<HostFile> file(new HostFile(host_));
        if (!file->Open(pending.fileName.c_str(), orlix::kOpenRead)) return orlix::kEngineFailure;
        source = std::move(file);
    }
    level.format = pending.formats.format;
    level.path = pending.path;
    level.reader = OpenReader(pending.formats, std::move(source), pending.name);
    return 0;
}

int32_t ObjectWalk::NextMemberHeader(orlix::ArchiveMemberHeader* header, int32_t nameRoom) {
    if (levels_.empty() || !levels_.back().reader) return orlix::kEngineFailure;
    ArchiveLevel& level = levels_.back();
    level.haveEntry = false;
    uint32_t answer = level.reader->Next(level.memberName);
    if (answer) return static_cast<int32_t>(answer);
    level.haveEntry = true;
    level.memberPath = level.path + "\\" + level.memberName;
    size_t room = static_cast<size_t>(std::min<int32_t>(std::max<int32_t>(nameRoom, 1), orlix::kMemberNameMaxChars));
    size_t length = std::min(level.memberName.size(), room - 1);
    char* name = reinterpret_cast<char*>(header->bytes + orlix::kMemberNameOffset);
    std::memcpy(name, level.memberName.data(), length);
    name[length] = 0;
    return 0;
}

int32_t ObjectWalk::ExtractMember(orlix::ArchiveMemberHeader*) {
    if (levels_.empty() || !levels_.back().reader || !levels_.back().haveEntry) return orlix::kEngineFailure;
    pending_ = PendingArchive();
    ArchiveLevel& level = levels_.back();
    level.haveEntry = false;
    MemberOutcome outcome;
    WalkMemberChecks checks(host_, detector_, budget_, level.memberPath, outcome);
    uint32_t flags = level.reader->Extract(checks);
    if (flags & orlix::kVirusFoundBits) lastVirus_ = outcome.virusName;
    if (outcome.nestedArchive && (flags & orlix::ResultArchive)) {
        pending_.member = std::move(outcome.nestedArchive);
        pending_.name = level.memberName;
        pending_.path = level.memberPath;
        pending_.formats = outcome.nested;
        pending_.present = true;
    }
    return static_cast<int32_t>(flags);
}

void ObjectWalk::CloseArchive() {
    pending_ = PendingArchive();
    if (!levels_.empty()) levels_.pop_back();
}

}  // namespace refengine
