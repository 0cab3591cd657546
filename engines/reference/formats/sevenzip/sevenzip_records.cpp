#include "sevenzip_records.h"

#include <zlib.h>

#include <cstring>

#include "host/source_reads.h"
#include "orlix/contract.h"

namespace refengine {
namespace {

const unsigned char kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr uint32_t kDamaged = orlix::ResultBadArchiveHeader;

// Reads the header database's bytes; every read is bounded by its end, and
// a read past it marks the cursor failed.
class Cursor {
public:
    Cursor(const unsigned char* bytes, size_t size) : at_(bytes), end_(bytes + size) {}
    bool failed() const { return failed_; }
    size_t left() const { return static_cast<size_t>(end_ - at_); }

    uint8_t Byte() {
        if (at_ == end_) return Fail(), 0;
        return *at_++;
    }
    // The format's variable-length number: the first byte's leading ones
    // count the bytes that follow.
    uint64_t Number() {
        uint8_t first = Byte();
        uint8_t mask = 0x80;
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) {
            if ((first & mask) == 0) {
                uint64_t high = first & (mask - 1u);
                return value | high << (8 * i);
            }
            value |= static_cast<uint64_t>(Byte()) << (8 * i);
            mask >>= 1;
        }
        return value;
    }
    // A count that must fit in what is left, each item taking at least
    // minBytes (or a bound of its own).
    uint64_t Count(uint64_t bound) {
        uint64_t n = Number();
        if (n > bound) Fail();
        return failed_ ? 0 : n;
    }
    uint32_t Uint32() {
        if (left() < 4) return Fail(), 0;
        uint32_t v = Get32(at_);
        at_ += 4;
        return v;
    }
    const unsigned char* Take(uint64_t count) {
        if (count > left()) return Fail(), nullptr;
        const unsigned char* p = at_;
        at_ += count;
        return p;
    }
    std::vector<bool> Bits(uint64_t count) {
        std::vector<bool> bits;
        if (count > left() * 8) return Fail(), bits;
        bits.resize(count);
        uint8_t byte = 0;
        for (uint64_t i = 0; i < count; ++i) {
            if (i % 8 == 0) byte = Byte();
            bits[i] = (byte & (0x80 >> (i % 8))) != 0;
        }
        return bits;
    }
    // All defined, or a bit per item.
    std::vector<bool> Defined(uint64_t count) {
        uint8_t all = Byte();
        if (all) return std::vector<bool>(count, true);
        return Bits(count);
    }
    void Fail() { failed_ = true; }

private:
    const unsigned char* at_;
    const unsigned char* end_;
    bool failed_ = false;
};

void ReadDigests(Cursor& c, uint64_t count, std::vector<bool>& defined, std::vector<uint32_t>& crcs) {
    defined = c.Defined(count);
    crcs.assign(count, 0);
    for (uint64_t i = 0; i < count && !c.failed(); ++i) {
        if (defined[i]) crcs[i] = c.Uint32();
    }
}

void ReadPackInfo(Cursor& c, SevenZipStreams& s) {
    s.packPosition = c.Number();
    uint64_t count = c.Count(c.left());
    s.packSizes.assign(count, 0);
    for (uint8_t id = c.Byte(); !c.failed() && id != kSzEnd; id = c.Byte()) {
        if (id == kSzSize) {
            for (uint64_t& size : s.packSizes) size = c.Number();
        } else if (id == kSzCrc) {
            std::vector<bool> defined;
            std::vector<uint32_t> crcs;
            ReadDigests(c, count, defined, crcs);
        } else {
            c.Fail();
        }
    }
}

void ReadFolder(Cursor& c, SevenZipFolder& f) {
    uint64_t coders = c.Count(kSevenZipMaxCoders);
    if (coders == 0) return c.Fail();
    f.coders.resize(coders);
    for (SevenZipCoder& coder : f.coders) {
        uint8_t flags = c.Byte();
        // Alternative methods (bit 0x80) were never written by any tool.
        if (flags & 0x80) return c.Fail();
        const unsigned char* id = c.Take(flags & 0x0F);
        if (!id) return;
        coder.method.assign(id, id + (flags & 0x0F));
        if (flags & 0x10) {
            coder.inStreams = static_cast<uint32_t>(c.Count(kSevenZipMaxCoders));
            coder.outStreams = static_cast<uint32_t>(c.Count(kSevenZipMaxCoders));
        }
        if (flags & 0x20) {
            uint64_t size = c.Count(c.left());
            const unsigned char* props = c.Take(size);
            if (!props) return;
            coder.properties.assign(props, props + size);
        }
    }
    uint32_t outs = f.totalOutStreams(), ins = f.totalInStreams();
    if (outs == 0 || outs > kSevenZipMaxCoders * kSevenZipMaxCoders || ins < outs - 1) return c.Fail();
    f.bindPairs.resize(outs - 1);
    for (SevenZipBindPair& pair : f.bindPairs) {
        pair.inIndex = c.Count(ins - 1);
        pair.outIndex = c.Count(outs - 1);
    }
    uint64_t packed = ins - (outs - 1);
    if (packed == 1) {
        for (uint32_t i = 0; i < ins; ++i) {
            bool bound = false;
            for (const SevenZipBindPair& pair : f.bindPairs) bound = bound || pair.inIndex == i;
            if (!bound) {
                f.packedStreams.push_back(i);
                break;
            }
        }
        if (f.packedStreams.empty()) c.Fail();
    } else {
        for (uint64_t i = 0; i < packed; ++i) f.packedStreams.push_back(c.Count(ins - 1));
    }
}

void ReadUnpackInfo(Cursor& c, SevenZipStreams& s) {
    if (c.Byte() != kSzFolder) return c.Fail();
    uint64_t count = c.Count(kSevenZipMaxFolders);
    // Folders stored elsewhere (external) were never written by any tool.
    if (c.Byte() != 0) return c.Fail();
    s.folders.resize(count);
    uint64_t packStream = 0;
    for (SevenZipFolder& f : s.folders) {
        if (c.failed()) return;
        ReadFolder(c, f);
        f.firstPackStream = packStream;
        packStream += f.packedStreams.size();
    }
    if (c.Byte() != kSzCodersUnpackSize) return c.Fail();
    for (SevenZipFolder& f : s.folders) {
        f.unpackSizes.resize(f.totalOutStreams());
        for (uint64_t& size : f.unpackSizes) size = c.Number();
    }
    for (uint8_t id = c.Byte(); !c.failed() && id != kSzEnd; id = c.Byte()) {
        if (id != kSzCrc) return c.Fail();
        std::vector<bool> defined;
        std::vector<uint32_t> crcs;
        ReadDigests(c, count, defined, crcs);
        for (size_t i = 0; i < s.folders.size() && !c.failed(); ++i) {
            s.folders[i].crcDefined = defined[i];
            s.folders[i].crc = crcs[i];
        }
    }
}

void ReadSubStreamsInfo(Cursor& c, SevenZipStreams& s) {
    s.unpackStreams.assign(s.folders.size(), 1);
    uint8_t id = c.Byte();
    if (id == kSzNumUnpackStream) {
        for (uint64_t& n : s.unpackStreams) n = c.Count(kSevenZipMaxFiles);
        id = c.Byte();
    }
    uint64_t total = 0;
    for (uint64_t n : s.unpackStreams) total += n;
    if (total > kSevenZipMaxFiles) return c.Fail();
    bool sizes = id == kSzSize;
    for (size_t i = 0; i < s.folders.size() && !c.failed(); ++i) {
        uint64_t n = s.unpackStreams[i];
        if (n == 0) continue;
        uint64_t folderSize = s.folders[i].unpackSize(), sum = 0;
        for (uint64_t k = 1; k < n && sizes; ++k) {
            uint64_t size = c.Number();
            if (size > folderSize - sum) return c.Fail();
            s.substreamSizes.push_back(size);
            sum += size;
        }
        if (!sizes && n != 1) return c.Fail();
        s.substreamSizes.push_back(folderSize - sum);
    }
    if (sizes) id = c.Byte();
    // CRCs: folders of one stream with a known CRC give theirs; the others
    // come in the list.
    s.substreamCrcDefined.assign(total, false);
    s.substreamCrcs.assign(total, 0);
    uint64_t unknown = 0;
    for (size_t i = 0; i < s.folders.size(); ++i) {
        if (s.unpackStreams[i] != 1 || !s.folders[i].crcDefined) unknown += s.unpackStreams[i];
    }
    for (; !c.failed() && id != kSzEnd; id = c.Byte()) {
        if (id != kSzCrc) return c.Fail();
        std::vector<bool> defined;
        std::vector<uint32_t> crcs;
        ReadDigests(c, unknown, defined, crcs);
        for (size_t i = 0, k = 0, file = 0; i < s.folders.size() && !c.failed(); ++i) {
            if (s.unpackStreams[i] == 1 && s.folders[i].crcDefined) {
                ++file;
                continue;
            }
            for (uint64_t j = 0; j < s.unpackStreams[i]; ++j, ++k, ++file) {
                s.substreamCrcDefined[file] = defined[k];
                s.substreamCrcs[file] = crcs[k];
            }
        }
    }
    for (size_t i = 0, file = 0; i < s.folders.size(); ++i) {
        if (s.unpackStreams[i] == 1 && s.folders[i].crcDefined) {
            s.substreamCrcDefined[file] = true;
            s.substreamCrcs[file] = s.folders[i].crc;
        }
        file += s.unpackStreams[i];
    }
}

void ReadStreams(Cursor& c, SevenZipStreams& s) {
    bool substreams = false;
    for (uint8_t id = c.Byte(); !c.failed() && id != kSzEnd; id = c.Byte()) {
        if (id == kSzPackInfo) {
            ReadPackInfo(c, s);
        } else if (id == kSzUnpackInfo) {
            ReadUnpackInfo(c, s);
        } else if (id == kSzSubStreamsInfo) {
            ReadSubStreamsInfo(c, s);
            substreams = true;
        } else {
            c.Fail();
        }
    }
    if (!substreams && !c.failed()) {
        // Without the list every folder is one file of the folder's size.
        s.unpackStreams.assign(s.folders.size(), 1);
        for (const SevenZipFolder& f : s.folders) {
            s.substreamSizes.push_back(f.unpackSize());
            s.substreamCrcDefined.push_back(f.crcDefined);
            s.substreamCrcs.push_back(f.crc);
        }
    }
    uint64_t packs = 0;
    for (const SevenZipFolder& f : s.folders) packs += f.packedStreams.size();
    if (packs > s.packSizes.size()) c.Fail();
}

// A UTF-16 name reduced to printable ASCII: what the walk can report.
std::string SafeName(const unsigned char* p, size_t units) {
    std::string name;
    for (size_t i = 0; i < units; ++i) {
        uint16_t u = Get16(p + 2 * i);
        name += u >= 0x20 && u < 0x7F ? static_cast<char>(u) : '_';
    }
    return name;
}

void ReadNames(Cursor& c, uint64_t size, std::vector<SevenZipFile>& files) {
    const unsigned char* data = c.Take(size);
    if (!data) return;
    if (size == 0 || data[0] != 0) return c.Fail();  // names stored elsewhere: never written
    size_t at = 1;
    for (SevenZipFile& file : files) {
        size_t start = at;
        while (at + 1 < size && (data[at] | data[at + 1])) at += 2;
        if (at + 1 >= size) return c.Fail();
        file.name = SafeName(data + start, (at - start) / 2);
        at += 2;
    }
}

void ReadFiles(Cursor& c, SevenZipDatabase& db) {
    uint64_t count = c.Count(kSevenZipMaxFiles);
    db.files.resize(count);
    std::vector<bool> emptyStream(count, false), emptyFile, anti;
    for (uint8_t id = c.Byte(); !c.failed() && id != kSzEnd; id = c.Byte()) {
        uint64_t size = c.Count(c.left());
        if (c.failed()) return;
        size_t before = c.left();
        uint64_t empties = 0;
        for (bool e : emptyStream) empties += e;
        switch (id) {
            case kSzEmptyStream:
                emptyStream = c.Bits(count);
                break;
            case kSzEmptyFile:
                emptyFile = c.Bits(empties);
                break;
            case kSzAnti:
                anti = c.Bits(empties);
                break;
            case kSzName:
                ReadNames(c, size, db.files);
                break;
            default:
                c.Take(size);
                break;
        }
        // A property is exactly as long as it says.
        if (!c.failed() && before - c.left() > size) c.Fail();
        if (!c.failed() && before - c.left() < size) c.Take(size - (before - c.left()));
    }
    for (uint64_t i = 0, e = 0; i < count && !c.failed(); ++i) {
        SevenZipFile& file = db.files[i];
        file.hasStream = !emptyStream[i];
        if (!file.hasStream) {
            bool isFile = e < emptyFile.size() && emptyFile[e];
            file.anti = e < anti.size() && anti[e];
            file.directory = !isFile;
            ++e;
        }
        if (file.name.empty()) file.name = "file-" + std::to_string(i + 1);
    }
}

}  // namespace

bool LooksLikeSevenZip(const unsigned char* head, size_t count) {
    return count >= sizeof kSignature && std::memcmp(head, kSignature, sizeof kSignature) == 0;
}

bool ParseSevenZipSignatureHeader(const unsigned char (&bytes)[kSevenZipSignatureHeaderSize],
                                  SevenZipSignatureHeader& header) {
    if (!LooksLikeSevenZip(bytes, sizeof bytes)) return false;
    if (crc32(0, bytes + 12, 20) != Get32(bytes + 8)) return false;
    header.nextHeaderOffset = Get64(bytes + 12);
    header.nextHeaderSize = Get64(bytes + 20);
    header.nextHeaderCrc = Get32(bytes + 28);
    return true;
}

uint32_t SevenZipFolder::totalInStreams() const {
    uint32_t n = 0;
    for (const SevenZipCoder& c : coders) n += c.inStreams;
    return n;
}

uint32_t SevenZipFolder::totalOutStreams() const {
    uint32_t n = 0;
    for (const SevenZipCoder& c : coders) n += c.outStreams;
    return n;
}

int64_t SevenZipFolder::MainOutput() const {
    for (uint32_t out = 0; out < totalOutStreams(); ++out) {
        bool bound = false;
        for (const SevenZipBindPair& pair : bindPairs) bound = bound || pair.outIndex == out;
        if (!bound) return out;
    }
    return -1;
}

uint64_t SevenZipFolder::unpackSize() const {
    int64_t main = MainOutput();
    return main < 0 || static_cast<size_t>(main) >= unpackSizes.size() ? 0 : unpackSizes[static_cast<size_t>(main)];
}

uint32_t ParseSevenZipStreams(const unsigned char* bytes, size_t size, SevenZipStreams& streams) {
    Cursor c(bytes, size);
    ReadStreams(c, streams);
    return c.failed() ? kDamaged : 0;
}

uint32_t ParseSevenZipHeader(const unsigned char* bytes, size_t size, SevenZipDatabase& database) {
    Cursor c(bytes, size);
    if (c.Byte() != kSzHeader) return kDamaged;
    for (uint8_t id = c.Byte(); !c.failed() && id != kSzEnd; id = c.Byte()) {
        if (id == kSzArchiveProperties) {
            for (uint8_t p = c.Byte(); !c.failed() && p != 0; p = c.Byte()) c.Take(c.Count(c.left()));
        } else if (id == kSzAdditionalStreamsInfo) {
            SevenZipStreams unused;
            ReadStreams(c, unused);
        } else if (id == kSzMainStreamsInfo) {
            ReadStreams(c, database.streams);
        } else if (id == kSzFilesInfo) {
            ReadFiles(c, database);
        } else {
            c.Fail();
        }
    }
    if (c.failed()) return kDamaged;
    // Every file with a stream has a substream, and no more.
    uint64_t withStream = 0;
    for (const SevenZipFile& f : database.files) withStream += f.hasStream;
    if (withStream != database.streams.substreamSizes.size()) return kDamaged;
    return 0;
}

}  // namespace refengine
