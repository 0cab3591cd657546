#include "outlook_writer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <map>

namespace {

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
std::string Utf16(const std::string& text) {
    std::string out;
    for (unsigned char c : text) Put16(out, c);
    return out;
}
void Pad4(std::string& out) {
    while (out.size() % 4) out += '\0';
}

// TNEF: one attribute record, its checksum the sum of its data bytes.
void Attribute(std::string& out, uint8_t level, uint32_t id, const std::string& data, bool badChecksum = false) {
    out += static_cast<char>(level);
    Put32(out, id);
    Put32(out, static_cast<uint32_t>(data.size()));
    out += data;
    uint32_t sum = 0;
    for (unsigned char c : data) sum += c;
    Put16(out, (sum + (badChecksum ? 1 : 0)) & 0xFFFF);
}

// One counted value of a property list.
void CountedValue(std::string& list, uint32_t tag, const std::string& value) {
    Put32(list, tag);
    Put32(list, 1);
    Put32(list, static_cast<uint32_t>(value.size()));
    list += value;
    Pad4(list);
}

const char kStorageInterface[16] = {0x0B, 0, 0, 0, 0, 0, 0, 0, static_cast<char>(0xC0), 0, 0, 0, 0, 0, 0, 0x46};

}  // namespace

std::string BuildTnef(const TnefMessage& message) {
    std::string out;
    Put32(out, 0x223E9F78);
    Put16(out, 0x0001);
    std::string version;
    Put32(version, 0x00010000);
    Attribute(out, 1, 0x00089006, version);
    Attribute(out, 1, 0x00078008, std::string("IPM.Microsoft Mail.Note") + '\0');
    if (!message.body.empty()) Attribute(out, 1, 0x0002800C, message.body);
    std::string props;
    Put32(props, message.propsBody.empty() ? 1 : 2);
    Put32(props, 0x0E070003);  // the message flags: writers never leave the list empty
    Put32(props, 0);
    if (!message.propsBody.empty()) CountedValue(props, 0x1000001E, message.propsBody + '\0');
    Attribute(out, 1, 0x00069003, props);
    uint32_t position = 0;
    for (const TnefAttachment& a : message.attachments) {
        std::string rend;
        Put16(rend, 1);  // a file
        Put32(rend, position++);
        Put16(rend, 0);
        Put16(rend, 0);
        Put32(rend, 0);
        Attribute(out, 2, 0x00069002, rend);
        if (!a.title.empty()) Attribute(out, 2, 0x00018010, a.title + '\0');
        if (a.hasData) Attribute(out, 2, 0x0006800F, a.data, a.badChecksum);
        std::string list;
        uint32_t count = 1;
        std::string body;
        Put32(body, 0x37050003);  // the attach method: by value, or an embedded message
        Put32(body, a.objectIsEmbedded ? 5 : 1);
        if (!a.longName.empty()) {
            CountedValue(body, 0x3707001F, Utf16(a.longName) + std::string(2, '\0'));
            ++count;
        }
        if (!a.object.empty()) {
            if (a.objectIsEmbedded) {
                CountedValue(body, 0x3701000D, std::string(kStorageInterface, 16) + a.object);
            } else {
                CountedValue(body, 0x37010102, a.object);
            }
            ++count;
        }
        Put32(list, count);
        Attribute(out, 2, 0x00069005, list + body);
    }
    return out;
}

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSect = 0xFFFFFFFD, kDifSect = 0xFFFFFFFC;

struct Entry {
    std::string name;
    int type;  // 1 storage, 2 stream, 5 root
    std::string data;
    int parent = -1;
    uint32_t left = kFree, right = kFree, child = kFree;
    uint32_t start = kEnd;
    uint64_t size = 0;
};

bool Before(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (size_t i = 0; i < a.size(); ++i) {
        int x = std::toupper(static_cast<unsigned char>(a[i])), y = std::toupper(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return false;
}

}  // namespace

std::string BuildCompoundFile(const std::vector<CfbNode>& nodes, const CfbLayout& layout) {
    const uint32_t size = layout.sectorSize, per = size / 4;
    std::vector<Entry> entries = {{"Root Entry", 5, "", -1}};
    std::map<std::string, int> storages = {{"", 0}};
    for (const CfbNode& node : nodes) {
        size_t slash = node.path.rfind('/');
        std::string parent = slash == std::string::npos ? "" : node.path.substr(0, slash);
        Entry e{node.path.substr(slash == std::string::npos ? 0 : slash + 1), node.storage ? 1 : 2, node.data,
                storages.at(parent)};
        e.size = node.data.size();
        if (node.storage) storages[node.path] = static_cast<int>(entries.size());
        entries.push_back(e);
    }
    // Each storage's children as a balanced search tree.
    for (size_t s = 0; s < entries.size(); ++s) {
        if (entries[s].type == 2) continue;
        std::vector<uint32_t> kids;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].parent == static_cast<int>(s)) kids.push_back(static_cast<uint32_t>(i));
        }
        std::sort(kids.begin(), kids.end(),
                  [&](uint32_t a, uint32_t b) { return Before(entries[a].name, entries[b].name); });
        std::function<uint32_t(int, int)> build = [&](int lo, int hi) -> uint32_t {
            if (lo > hi) return kFree;
            int mid = (lo + hi) / 2;
            entries[kids[mid]].left = build(lo, mid - 1);
            entries[kids[mid]].right = build(mid + 1, hi);
            return kids[mid];
        };
        entries[s].child = build(0, static_cast<int>(kids.size()) - 1);
    }
    // The mini stream holds the small streams, 64-byte sectors each.
    std::string mini;
    std::vector<uint32_t> miniFat;
    std::vector<size_t> big;
    for (size_t i = 1; i < entries.size(); ++i) {
        Entry& e = entries[i];
        if (e.type != 2) {
            e.start = 0;
            continue;
        }
        if (e.data.size() >= 4096) {
            big.push_back(i);
            continue;
        }
        if (e.data.empty()) continue;
        e.start = static_cast<uint32_t>(mini.size() / 64);
        uint32_t count = static_cast<uint32_t>((e.data.size() + 63) / 64);
        for (uint32_t k = 0; k < count; ++k) miniFat.push_back(k + 1 < count ? e.start + k + 1 : kEnd);
        mini += e.data;
        mini.resize((mini.size() + 63) / 64 * 64, '\0');
    }
    auto sectors = [&](uint64_t bytes) { return static_cast<uint32_t>((bytes + size - 1) / size); };
    uint32_t dirS = sectors(entries.size() * 128), miniFatS = sectors(miniFat.size() * 4), miniS = sectors(mini.size());
    uint32_t bigS = 0;
    for (size_t i : big) bigS += sectors(entries[i].data.size());
    uint32_t fatS = 1, difatS = 0;
    for (;;) {
        uint32_t total = fatS + difatS + dirS + miniFatS + miniS + bigS;
        uint32_t f = (total + per - 1) / per;
        uint32_t d = f > 109 ? (f - 109 + per - 2) / (per - 1) : 0;
        if (f == fatS && d == difatS) break;
        fatS = f;
        difatS = d;
    }
    uint32_t total = fatS + difatS + dirS + miniFatS + miniS + bigS;
    std::vector<uint32_t> fat(fatS * per, kFree);
    uint32_t next = 0;
    auto chain = [&](uint32_t count) {
        uint32_t first = next;
        for (uint32_t k = 0; k < count; ++k, ++next) fat[next] = k + 1 < count ? next + 1 : kEnd;
        return count ? first : kEnd;
    };
    for (uint32_t k = 0; k < fatS; ++k) fat[next++] = kFatSect;
    uint32_t firstDifat = difatS ? next : kEnd;
    for (uint32_t k = 0; k < difatS; ++k) fat[next++] = kDifSect;
    uint32_t firstDir = chain(dirS);
    uint32_t firstMiniFat = chain(miniFatS);
    entries[0].start = chain(miniS);
    entries[0].size = mini.size() - std::min<uint64_t>(layout.rootSizeCut, mini.size());
    for (size_t i : big) entries[i].start = chain(sectors(entries[i].data.size()));
    (void)total;
    if (!big.empty()) {
        const Entry& e = entries[big[0]];
        uint32_t count = sectors(e.data.size());
        if (layout.fatLoop && count > 1) fat[e.start + 1] = e.start;
        if (layout.chainPastEnd) fat[e.start] = total + 1000;
    }
    if (layout.directoryLoop) fat[firstDir + dirS - 1] = firstDir;

    std::string out(size, '\0');
    const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(signature[i]);
    std::string h;
    Put16(h, 0x3E);
    Put16(h, size == 512 ? 3 : 4);
    Put16(h, 0xFFFE);
    Put16(h, size == 512 ? 9 : 12);
    Put16(h, 6);
    h += std::string(6, '\0');
    Put32(h, size == 512 ? 0 : dirS);
    Put32(h, fatS);
    Put32(h, firstDir);
    Put32(h, 0);
    Put32(h, 4096);
    Put32(h, firstMiniFat);
    Put32(h, miniFatS);
    Put32(h, firstDifat);
    Put32(h, difatS);
    for (uint32_t k = 0; k < 109; ++k) Put32(h, k < fatS ? k : kFree);
    out.replace(24, h.size(), h);
    // FAT, DIFAT, directory, mini FAT, mini stream and the large streams, in that order.
    std::string body;
    for (uint32_t v : fat) Put32(body, v);
    for (uint32_t d = 0; d < difatS; ++d) {
        std::string sector;
        for (uint32_t k = 0; k + 1 < per; ++k) {
            uint32_t index = 109 + d * (per - 1) + k;
            Put32(sector, index < fatS ? index : kFree);
        }
        Put32(sector, d + 1 < difatS ? firstDifat + d + 1 : kEnd);
        body += sector;
    }
    std::string dir;
    for (const Entry& e : entries) {
        std::string record = Utf16(e.name.substr(0, 31));
        record.resize(64, '\0');
        Put16(record, static_cast<uint32_t>((std::min<size_t>(e.name.size(), 31) + 1) * 2));
        record += static_cast<char>(e.type);
        record += '\1';
        Put32(record, e.left);
        Put32(record, e.right);
        Put32(record, e.child);
        record += std::string(16 + 4 + 16, '\0');
        Put32(record, e.start);
        Put32(record, static_cast<uint32_t>(e.size));
        Put32(record, static_cast<uint32_t>(e.size >> 32));
        dir += record;
    }
    dir.resize(dirS * size, '\0');
    body += dir;
    std::string miniFatBytes;
    for (uint32_t v : miniFat) Put32(miniFatBytes, v);
    miniFatBytes.resize(miniFatS * size, static_cast<char>(0xFF));
    body += miniFatBytes;
    mini.resize(miniS * size, '\0');
    body += mini;
    for (size_t i : big) {
        std::string data = entries[i].data;
        data.resize(sectors(data.size()) * size, '\0');
        body += data;
    }
    if (size == 4096) out.resize(4096, '\0');
    return out + body;
}

std::vector<CfbNode> MsgNodes(const std::vector<MsgAttachment>& attachments, const std::string& prefix) {
    std::vector<CfbNode> nodes;
    std::string at = prefix.empty() ? "" : prefix + "/";
    nodes.push_back({at + "__substg1.0_0037001F", false, Utf16("a message")});
    nodes.push_back({at + "__properties_version1.0", false, std::string(prefix.empty() ? 32 : 24, '\0')});
    for (size_t i = 0; i < attachments.size(); ++i) {
        const MsgAttachment& a = attachments[i];
        char name[40];
        std::snprintf(name, sizeof name, "__attach_version1.0_#%08X", static_cast<unsigned>(i));
        std::string storage = at + name;
        nodes.push_back({storage, true, ""});
        if (!a.longName.empty())
            nodes.push_back({storage + "/__substg1.0_3707001F", false, Utf16(a.longName) + std::string(2, '\0')});
        if (a.isEmbedded) {
            nodes.push_back({storage + "/__substg1.0_3701000D", true, ""});
            for (const CfbNode& n : MsgNodes(a.embedded, storage + "/__substg1.0_3701000D")) nodes.push_back(n);
        } else {
            nodes.push_back({storage + "/__substg1.0_37010102", false, a.data});
        }
    }
    return nodes;
}
