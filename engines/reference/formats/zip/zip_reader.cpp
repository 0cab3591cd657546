#include "zip_reader.h"

#include <algorithm>
#include <vector>

#include "codecs/bzip2/bzip2_decoder.h"
#include "codecs/inflate/inflate_decoder.h"
#include "codecs/lzma/lzma_alone_decoder.h"
#include "codecs/xz/xz_decoder.h"
#include "formats/member_readings.h"
#include "formats/unpack.h"
#include "host/source_reads.h"
#include "orlix/contract.h"
#include "zip_records.h"

namespace refengine {

namespace {

std::unique_ptr<ArchiveReader> OpenZip(Host& host, std::unique_ptr<ByteSource> source, const std::string&) {
    return std::unique_ptr<ArchiveReader>(new ZipReader(host, std::move(source)));
}

}  // namespace

const ArchiveFormat kZipFormat = {"ZIP", LooksLikeZip, OpenZip, kEndMarker, EndsInZip};

ZipReader::ZipReader(Host& host, std::unique_ptr<ByteSource> source) : source_(std::move(source)) {
    directory_ = LocateDirectory(host, *source_);
    error_ = directory_.error;
    cursor_ = directory_.readings[0].start;
}

uint32_t ZipReader::Tally() const {
    uint64_t end = directory_.readings[reading_].start + directory_.size;
    bool counted = directory_.zip64
                       ? seen_ == directory_.entries || seen_ == directory_.entriesHere
                       : (seen_ & 0xFFFF) == directory_.entries || (seen_ & 0xFFFF) == directory_.entriesHere;
    return counted && cursor_ == end ? 0u : uint32_t{orlix::ResultBadArchiveHeader};
}

bool ZipReader::ReadEntry(uint32_t& failure) {
    unsigned char bytes[kCentralHeaderSize];
    CentralHeader h;
    int32_t read =
        cursor_ + kCentralHeaderSize <= directory_.limit ? ReadFully(*source_, cursor_, bytes, kCentralHeaderSize) : 0;
    if (read == -1) failure = orlix::ResultReadError;
    if (read != 1 || !ParseCentralHeader(bytes, h)) return false;
    uint64_t next = cursor_ + kCentralHeaderSize + h.nameLength + h.extraLength + h.commentLength;
    if (next > directory_.limit) {
        failure = orlix::ResultBadArchiveHeader;
        return false;
    }
    std::vector<unsigned char> variable(h.nameLength + h.extraLength + 1);
    read = ReadFully(*source_, cursor_ + kCentralHeaderSize, variable.data(), h.nameLength + h.extraLength);
    if (read != 1) {
        failure = read == -1 ? orlix::ResultReadError : orlix::ResultBadArchiveHeader;
        return false;
    }
    if ((failure = ApplyZip64Extra(variable.data() + h.nameLength, h.extraLength, h)) != 0) return false;
    entry_ = Entry();
    entry_.name.assign(reinterpret_cast<const char*>(variable.data()), h.nameLength);
    entry_.flags = h.flags;
    entry_.method = h.method;
    entry_.crc = h.crc;
    entry_.packedSize = h.packedSize;
    entry_.size = h.size;
    entry_.disk = h.disk;
    int64_t bias = directory_.readings[reading_].bias;
    entry_.start = h.localOffset + static_cast<uint64_t>(bias);
    entry_.startValid = bias >= 0 ? entry_.start >= h.localOffset : h.localOffset >= static_cast<uint64_t>(-bias);
    cursor_ = next;
    ++seen_;
    return true;
}

uint32_t ZipReader::Next(std::string& name) {
    for (;;) {
        if (error_) return error_;
        if (reading_ >= directory_.readingCount) return damage_ ? (error_ = damage_) : orlix::ResultNoMoreMembers;
        uint32_t failure = 0;
        if (!ReadEntry(failure)) {
            if (failure == orlix::ResultReadError) return error_ = failure;
            // Entries are walked as found: counts that disagree with them,
            // or an entry that cannot be read (a decoy where the other
            // reading's directory is), are damage to report once every
            // reading is checked.
            if (!damage_) damage_ = failure ? failure : Tally();
            if (++reading_ < directory_.readingCount) {
                cursor_ = directory_.readings[reading_].start;
                seen_ = 0;
                ranges_.clear();
            }
            continue;
        }
        // A member both directories name is checked once; entries of one
        // directory that share a member stay damage (see Extract).
        if (entry_.startValid) {
            if (reading_ > 0 && announced_.count(entry_.start)) continue;
            if (reading_ == 0) announced_.insert(entry_.start);
        }
        name = entry_.name;
        return 0;
    }
}

uint32_t ZipReader::Extract(MemberChecks& checks) {
    const Entry& entry = entry_;
    unsigned char bytes[kLocalHeaderSize];
    LocalHeader local;
    int32_t read = entry.startValid ? ReadFully(*source_, entry.start, bytes, kLocalHeaderSize) : 0;
    if (read != 1 || !ParseLocalHeader(bytes, local)) {
        // Disk numbers count only for a member that is not here: a single
        // file is read whatever volume its entries name.
        return read == -1                      ? orlix::ResultReadError
               : entry.disk != directory_.disk ? orlix::ResultSplitArchive
                                               : orlix::ResultBadArchiveHeader;
    }
    uint64_t start = entry.start;
    uint64_t data = start + kLocalHeaderSize + local.nameLength + local.extraLength;
    uint64_t end = data + entry.packedSize;
    if (end < data || end > source_->Size()) {
        return orlix::ResultUnpackError;
    }
    // Members that share bytes are how small archives unpack to gigabytes;
    // no tool writes them.
    auto after = ranges_.lower_bound(end);
    if (after != ranges_.begin() && std::prev(after)->second > start) {
        return orlix::ResultBadArchiveHeader;
    }
    ranges_.emplace(start, end);
    // Extractors that read the data by its local header read it plain when
    // only the directory claims encryption: so is it checked.
    if (entry.flags & local.flags & kFlagEncrypted) {
        return orlix::ResultPasswordProtected;
    }
    if (entry.size > checks.budget().limits().memberBytes) return orlix::ResultUnpackError;
    // Extractors that follow the local header unpack by its method, others
    // by the directory's: a member is checked by each (the directory's last,
    // as it was always read).
    auto byMethod = [this, data](uint16_t method, uint16_t flags) {
        return [this, data, method, flags](MemberChecks& checks) -> uint32_t {
            if (!Unpacks(method)) return orlix::ResultUnpackError;
            std::unique_ptr<MemberCheck> check = checks.Begin({entry_.size, entry_.crc, true});
            return check->Settle(Unpack(checks, method, flags, data, *check));
        };
    };
    MemberReading readings[] = {byMethod(local.method, local.flags), byMethod(entry.method, entry.flags)};
    return local.method == entry.method ? readings[1](checks) : CheckEachReading(checks, readings, 2);
}

bool ZipReader::Unpacks(uint16_t method) {
    switch (method) {
        case kMethodStored:
        case kMethodDeflate:
        case kMethodDeflate64:
        case kMethodBzip2:
        case kMethodLzma:
        case kMethodXz:
            return true;
        default:
            return false;
    }
}

uint32_t ZipReader::Unpack(MemberChecks& checks, uint16_t method, uint16_t flags, uint64_t data, ByteSink& out) {
    Host& host = checks.host();
    const uint64_t memory = checks.budget().limits().decoderMemory;
    const size_t memorySize = static_cast<size_t>(std::min<uint64_t>(memory, SIZE_MAX));
    const uint64_t packed = entry_.packedSize;
    switch (method) {
        case kMethodStored:
            return CopyStored(host, *source_, data, packed, out);
        case kMethodDeflate:
            return InflateRaw(host, *source_, data, packed, out);
        case kMethodDeflate64: {
            InflateDecoder decoder(InflateFormat::Deflate64, memorySize);
            return DecodeRange(host, *source_, data, packed, decoder, out);
        }
        case kMethodBzip2: {
            Bzip2Decoder decoder(memorySize);
            return DecodeRange(host, *source_, data, packed, decoder, out);
        }
        case kMethodXz: {
            XzDecoder decoder(memory);
            return DecodeRange(host, *source_, data, packed, decoder, out);
        }
        default:
            break;
    }
    // LZMA: ZIP's own header in front of a raw stream, which the .lzma
    // decoder reads behind the header of a .lzma file made of it.
    unsigned char bytes[kZipLzmaHeaderSize];
    int32_t read = packed >= kZipLzmaHeaderSize ? ReadFully(*source_, data, bytes, kZipLzmaHeaderSize) : 0;
    if (read == -1) return orlix::ResultReadError;
    ZipLzmaHeader header;
    if (read != 1 || !ParseZipLzmaHeader(bytes, header)) return orlix::ResultUnpackError;
    // Without the end marker the stream ends at the member's size.
    uint64_t size = flags & kFlagLzmaEndMarker ? UINT64_MAX : entry_.size;
    unsigned char alone[13] = {header.properties};
    for (int i = 0; i < 4; ++i) alone[1 + i] = static_cast<unsigned char>(header.dictionarySize >> (8 * i));
    for (int i = 0; i < 8; ++i) alone[5 + i] = static_cast<unsigned char>(size >> (8 * i));
    LzmaAloneDecoder decoder(memory);
    size_t used = 0;
    if (decoder.Feed(alone, sizeof alone, &used, out) != CodecStatus::More) return orlix::ResultUnpackError;
    return DecodeRange(host, *source_, data + kZipLzmaHeaderSize, packed - kZipLzmaHeaderSize, decoder, out);
}

}  // namespace refengine
