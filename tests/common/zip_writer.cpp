#include "common/zip_writer.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

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

namespace {

std::string TarHeader(std::string name, uint64_t size, char type, bool badChecksum) {
    std::string h(512, '\0');
    // A ustar name over 100 bytes goes into the prefix up to a slash.
    size_t slash = name.size() > 100 ? name.rfind('/', name.size() - 1) : std::string::npos;
    if (slash != std::string::npos && slash <= 155 && name.size() - slash - 1 <= 100) {
        h.replace(345, slash, name.substr(0, slash));
        name = name.substr(slash + 1);
    }
    h.replace(0, std::min<size_t>(name.size(), 100), name.substr(0, 100));
    char field[16];
    h.replace(100, 8, "0000644", 8);
    h.replace(108, 8, "0000000", 8);
    h.replace(116, 8, "0000000", 8);
    std::snprintf(field, sizeof field, "%011llo", static_cast<unsigned long long>(size));
    h.replace(124, 12, field, 12);
    h.replace(136, 12, "00000000000", 12);
    h[156] = type;
    h.replace(257, 8,
              "ustar\0"
              "00",
              8);
    h.replace(148, 8, "        ");
    unsigned sum = 0;
    for (unsigned char c : h) sum += c;
    if (badChecksum) sum += 1;
    std::snprintf(field, sizeof field, "%06o", sum);
    h.replace(148, 7, field, 7);
    return h;
}

std::string Padded(const std::string& data) { return data + std::string((512 - data.size() % 512) % 512, '\0'); }

std::string PaxRecord(const std::string& key, const std::string& value) {
    std::string body = " " + key + "=" + value + "\n";
    size_t length = body.size() + 1;
    while (std::to_string(length).size() + body.size() != length) ++length;
    return std::to_string(length) + body;
}

}  // namespace

std::string BuildTar(const std::vector<TarMember>& members) {
    std::string out;
    for (const TarMember& m : members) {
        std::string name = m.name;
        if (name.size() > 100 && m.longName == TarMember::LongName::Gnu) {
            out += TarHeader("././@LongLink", name.size() + 1, 'L', false) + Padded(name + '\0');
            name = name.substr(0, 100);
        } else if (name.size() > 100 && m.longName == TarMember::LongName::Pax) {
            std::string records = PaxRecord("path", name);
            out += TarHeader("PaxHeaders/long", records.size(), 'x', false) + Padded(records);
            name = name.substr(0, 100);
        }
        uint64_t size = m.declaredSize >= 0 ? static_cast<uint64_t>(m.declaredSize) : m.data.size();
        out += TarHeader(name, size, m.type, m.badChecksum) + Padded(m.data);
    }
    return out + std::string(1024, '\0');
}

std::string BuildGzip(const std::string& data, const GzipLayout& layout) {
    std::string out;
    size_t parts = layout.members ? layout.members : 1;
    for (size_t i = 0; i < parts; ++i) {
        std::string part =
            data.substr(data.size() * i / parts, data.size() * (i + 1) / parts - data.size() * i / parts);
        std::string header = "\x1f\x8b\x08";
        header += static_cast<char>((layout.headerCrc ? 2 : 0) | (layout.extra.empty() ? 0 : 4) |
                                    (layout.name.empty() ? 0 : 8) | (layout.comment.empty() ? 0 : 16));
        header += std::string(4, '\0') + "\x02\x03";
        if (!layout.extra.empty()) {
            Put16(header, static_cast<uint32_t>(layout.extra.size()));
            header += layout.extra;
        }
        if (!layout.name.empty()) header += layout.name + '\0';
        if (!layout.comment.empty()) header += layout.comment + '\0';
        if (layout.headerCrc)
            Put16(header,
                  crc32(0, reinterpret_cast<const Bytef*>(header.data()), static_cast<uInt>(header.size())) & 0xFFFF);
        out += header + DeflateRaw(part);
        uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(part.data()), static_cast<uInt>(part.size())));
        Put32(out, layout.badCrc ? crc ^ 1 : crc);
        Put32(out, static_cast<uint32_t>(part.size()));
    }
    return out;
}
