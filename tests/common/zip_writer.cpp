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
    std::string out, directory;
    if (layout.spanMarker) Put32(out, 0x08074b50);
    for (const ZipMember& m : members) {
        std::string packed = !m.packed.empty() ? m.packed : m.deflate ? DeflateRaw(m.data) : m.data;
        uint16_t method = m.method != 0xFFFF ? m.method : m.deflate ? 8 : 0;
        uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(m.data.data()), static_cast<uInt>(m.data.size())));
        if (m.badCrc) crc ^= 0x5A5A5A5A;
        uint32_t size =
            m.declaredSize >= 0 ? static_cast<uint32_t>(m.declaredSize) : static_cast<uint32_t>(m.data.size());
        uint32_t offset = static_cast<uint32_t>(out.size());

        Put32(out, m.badLocalHeader ? 0x04034b51 : 0x04034b50);
        Put16(out, 20);
        Put16(out, m.flags);
        Put16(out, method);
        Put32(out, 0);
        Put32(out, crc);
        Put32(out, static_cast<uint32_t>(packed.size()));
        Put32(out, size);
        Put16(out, static_cast<uint32_t>(m.name.size()));
        Put16(out, 0);
        out += m.name;
        out += packed;

        Put32(directory, layout.badCentralHeader ? 0x02014b00 : 0x02014b50);
        Put16(directory, 20);
        Put16(directory, 20);
        Put16(directory, m.flags);
        Put16(directory, method);
        Put32(directory, 0);
        Put32(directory, crc);
        Put32(directory, static_cast<uint32_t>(packed.size()));
        Put32(directory, size);
        Put16(directory, static_cast<uint32_t>(m.name.size()));
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, m.disk);
        Put16(directory, 0);
        Put32(directory, 0);
        Put32(directory, offset);
        directory += m.name;
    }
    uint32_t directoryOffset = static_cast<uint32_t>(out.size());
    out += directory;
    if (layout.omitEndRecord) return out;
    Put32(out, 0x06054b50);
    Put16(out, layout.disk);
    Put16(out, layout.directoryDisk);
    Put16(out, static_cast<uint32_t>(members.size()));
    Put16(out, static_cast<uint32_t>(members.size()));
    Put32(out, static_cast<uint32_t>(directory.size()));
    Put32(out, directoryOffset);
    Put16(out, 0);
    return out;
}
