#include "common/zip_writer.h"

#include <zlib.h>

namespace {

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void Put64(std::string& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}

struct Written {
    uint16_t method;
    uint32_t crc;
    uint64_t packedSize;
    uint64_t size;
    uint64_t offset;
};

// The fields a local header and its directory entry both carry, from the
// flags to the name's length; ZIP64 sizes go into the extra field.
void PutEntryFields(std::string& out, const ZipMember& m, const Written& w, bool zip64) {
    Put16(out, m.flags);
    Put16(out, w.method);
    Put32(out, 0);
    Put32(out, w.crc);
    Put32(out, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(w.packedSize));
    Put32(out, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(w.size));
    Put16(out, static_cast<uint32_t>(m.name.size()));
}

}  // namespace

std::string DeflateRaw(const std::string& data) {
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::string out;
    char buffer[65536];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    int status;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        status = deflate(&z, Z_FINISH);
        out.append(buffer, sizeof buffer - z.avail_out);
    } while (status == Z_OK);
    deflateEnd(&z);
    return out;
}

std::string BuildZip(const std::vector<ZipMember>& members, const ZipLayout& layout) {
    std::string out = layout.prefix, directory;
    // Offsets count from the archive's own start unless adjusted to the stub.
    uint64_t base = layout.adjustOffsets ? 0 : layout.prefix.size();
    if (layout.spanMarker) Put32(out, 0x08074b50);
    std::vector<Written> written;
    for (const ZipMember& m : members) {
        Written w;
        if (m.aliasOf >= 0 && static_cast<size_t>(m.aliasOf) < written.size()) {
            w = written[static_cast<size_t>(m.aliasOf)];
            if (m.aliasShift) {
                w.offset += m.aliasShift;
                w.method = 0;
                w.crc = static_cast<uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
                w.packedSize = w.size = m.data.size();
            }
        } else {
            std::string packed = !m.packed.empty() ? m.packed : m.deflate ? DeflateRaw(m.data) : m.data;
            w.method = m.method != 0xFFFF ? m.method : m.deflate ? 8 : 0;
            w.crc = m.crc >= 0 ? static_cast<uint32_t>(m.crc)
                               : static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(m.data.data()),
                                                             static_cast<uInt>(m.data.size())));
            if (m.badCrc) w.crc ^= 0x5A5A5A5A;
            w.packedSize = packed.size();
            w.size = m.declaredSize >= 0 ? static_cast<uint64_t>(m.declaredSize) : m.data.size();
            w.offset = out.size() - base;

            Put32(out, m.badLocalHeader ? 0x04034b51 : 0x04034b50);
            Put16(out, layout.zip64 ? 45 : 20);
            PutEntryFields(out, m, w, layout.zip64);
            Put16(out, layout.zip64 ? 20 : 0);
            out += m.name;
            if (layout.zip64) {
                Put16(out, 1);
                Put16(out, 16);
                Put64(out, w.size);
                Put64(out, w.packedSize);
            }
            out += packed;
        }
        written.push_back(w);

        Put32(directory, layout.badCentralHeader ? 0x02014b00 : 0x02014b50);
        Put16(directory, layout.zip64 ? 45 : 20);
        Put16(directory, layout.zip64 ? 45 : 20);
        PutEntryFields(directory, m, w, layout.zip64);
        Put16(directory, layout.zip64 ? 28 : 0);
        Put16(directory, 0);
        Put16(directory, m.disk);
        Put16(directory, 0);
        Put32(directory, 0);
        Put32(directory, layout.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(w.offset));
        directory += m.name;
        if (layout.zip64) {
            Put16(directory, 1);
            Put16(directory, 24);
            Put64(directory, w.size);
            Put64(directory, w.packedSize);
            Put64(directory, w.offset);
        }
    }
    uint64_t directoryOffset = out.size() - base;
    out += directory;
    if (layout.omitEndRecord) return out;
    uint64_t entries = layout.declaredEntries >= 0 ? static_cast<uint64_t>(layout.declaredEntries) : members.size();
    if (layout.zip64) {
        uint64_t record = out.size() - base;
        Put32(out, 0x06064b50);
        Put64(out, 44);
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, layout.disk);
        Put32(out, layout.directoryDisk);
        Put64(out, entries);
        Put64(out, entries);
        Put64(out, directory.size());
        Put64(out, directoryOffset);
        Put32(out, 0x07064b50);
        Put32(out, layout.directoryDisk);
        Put64(out, record);
        Put32(out, 1);
    }
    Put32(out, 0x06054b50);
    Put16(out, layout.zip64 ? 0xFFFF : layout.disk);
    Put16(out, layout.zip64 ? 0xFFFF : layout.directoryDisk);
    Put16(out, layout.zip64 ? 0xFFFF : static_cast<uint32_t>(entries));
    Put16(out, layout.zip64 ? 0xFFFF : static_cast<uint32_t>(entries));
    Put32(out, layout.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(directory.size()));
    Put32(out, layout.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(directoryOffset));
    Put16(out, static_cast<uint32_t>(layout.comment.size()));
    out += layout.comment;
    return out;
}
