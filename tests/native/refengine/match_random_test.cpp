// The matcher against a plain search written from the base format alone:
// many random records over a small alphabet (so that parts overlap and
// repeat), with wildcards, every kind of gap, offsets, EOF forms and size
// limits, on data fed in chunks of every size, so that hits straddle the
// chunk boundaries at every position. Every filter path the processor has
// gives the same answers.
#include <random>
#include <string>
#include <vector>

#include "match/database.h"
#include "match/stream_scanner.h"
#include "match/virus_record.h"
#include "match/wide_filter.h"
#include "refengine/engine_fixture.h"

using namespace refengine;

namespace {

const char kLetters[] = "ABCDEA\x01\xFE";  // 'A' twice: more repeats
const size_t kLetterCount = 8;

struct Record {
    std::string line;
    BodySignature sig;
};

void RandomPart(std::mt19937& random, std::string& hex, bool first) {
    // Lengths up to 14 reach every filter group; short first parts would
    // let some record match nearly every input.
    int length = first ? 5 + static_cast<int>(random() % 10) : 1 + static_cast<int>(random() % 8);
    bool fixedSeen = false;
    for (int i = 0; i < length; ++i) {
        bool wild = random() % 7 == 0 && (fixedSeen || i + 1 < length);
        if (wild) {
            hex += "??";
            continue;
        }
        char c = kLetters[random() % kLetterCount];
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
        hex += pair;
        fixedSeen = true;
    }
    if (!fixedSeen) hex += "41";
}

std::string RandomGap(std::mt19937& random) {
    int low = static_cast<int>(random() % 12), high = low + static_cast<int>(random() % 12);
    switch (random() % 5) {
        case 0:
            return "*";
        case 1:
            return "{" + std::to_string(low) + "}";
        case 2:
            return "{" + std::to_string(low) + "-" + std::to_string(high) + "}";
        case 3:
            return "{-" + std::to_string(high) + "}";
        default:
            return "{" + std::to_string(low) + "-}";
    }
}

Record RandomRecord(std::mt19937& random, int index) {
    std::string hex;
    int parts = 1 + static_cast<int>(random() % 3);
    for (int p = 0; p < parts; ++p) {
        if (p) hex += RandomGap(random);
        RandomPart(random, hex, p == 0);
    }
    std::string offset = "*";
    if (random() % 6 == 0) offset = std::to_string(random() % 20);
    if (random() % 6 == 0) offset = "EOF-" + std::to_string(random() % 20);
    std::string flags = random() % 8 == 0 ? ":s" + std::to_string(50 + random() % 200) : "";
    Record r;
    r.line = "Random." + std::to_string(index) + ":0:" + offset + ":" + hex + flags;
    HashSignature unused;
    EXPECT_EQ(ParseBaseLine(r.line, r.sig, unused), LineKind::Body) << r.line;
    return r;
}

bool PartAt(const PatternPart& part, const std::string& data, size_t at) {
    if (at + part.bytes.size() > data.size()) return false;
    for (size_t k = 0; k < part.bytes.size(); ++k) {
        if (part.mask[k] && static_cast<unsigned char>(data[at + k]) != part.bytes[k]) return false;
    }
    return true;
}

// The earliest end of a match of sig in data and the latest start of the
// matches that end there; end 0 when there is none.
void PlainSearch(const BodySignature& sig, const std::string& data, size_t& end, size_t& start) {
    end = 0;
    if (sig.verdict.maxObjectSize && data.size() > sig.verdict.maxObjectSize) return;
    // best[p]: for every start of part p, the latest first-part start of a
    // chain of parts 0 to p ending there, or -1.
    std::vector<long> best(data.size() + 1, -1);
    for (size_t s = 0; s <= data.size(); ++s) {
        bool offsetOk =
            sig.offsetKind == OffsetKind::Any || (sig.offsetKind == OffsetKind::FromStart && s == sig.offset) ||
            (sig.offsetKind == OffsetKind::FromEnd && data.size() >= sig.offset && s == data.size() - sig.offset);
        if (offsetOk && PartAt(sig.parts[0], data, s)) best[s] = static_cast<long>(s);
    }
    for (size_t p = 1; p < sig.parts.size(); ++p) {
        std::vector<long> next(data.size() + 1, -1);
        const size_t before = sig.parts[p - 1].bytes.size();
        const PatternGap& gap = sig.gaps[p - 1];
        std::vector<size_t> ends;  // where chains of parts 0 to p-1 end
        for (size_t t = 0; t + before <= data.size(); ++t) {
            if (best[t] >= 0) ends.push_back(t);
        }
        for (size_t s = 0; s <= data.size(); ++s) {
            if (!PartAt(sig.parts[p], data, s)) continue;
            for (size_t t : ends) {
                if (t + before > s) break;
                size_t distance = s - (t + before);
                if (distance >= gap.min && (gap.unbounded || distance <= gap.max)) next[s] = std::max(next[s], best[t]);
            }
        }
        best.swap(next);
    }
    const size_t last = sig.parts.back().bytes.size();
    for (size_t s = 0; s + last <= data.size(); ++s) {
        if (best[s] >= 0) {
            end = s + last;
            start = static_cast<size_t>(best[s]);
            return;
        }
    }
}

std::string RandomData(std::mt19937& random, const std::vector<Record>& records) {
    std::string data;
    size_t length = random() % 400;
    while (data.size() < length) {
        if (random() % 150 == 0) {
            // Plant a record's fixed bytes, its gaps left at the minimum.
            const BodySignature& sig = records[random() % records.size()].sig;
            for (size_t p = 0; p < sig.parts.size(); ++p) {
                if (p) data += std::string(sig.gaps[p - 1].min, kLetters[random() % kLetterCount]);
                for (size_t k = 0; k < sig.parts[p].bytes.size(); ++k)
                    data += sig.parts[p].mask[k] ? static_cast<char>(sig.parts[p].bytes[k]) : 'x';
            }
        } else {
            data += kLetters[random() % kLetterCount];
        }
    }
    return data;
}

}  // namespace

TEST_F(RefEngineTest, RandomRecordsAgreeWithAPlainSearchAtEveryChunkBoundary) {
    std::mt19937 random(20261208);
    int found = 0, clean = 0, cases = 0, paths = 0;
    for (FilterPath path : kFilterPaths) paths += FilterPathAvailable(path);
    for (int round = 0; round < 8; ++round) {
        entry_ = nativehost::BindEngine();
        std::vector<Record> records;
        std::string base;
        for (int i = 0; i < 250; ++i) {
            records.push_back(RandomRecord(random, i));
            base += records.back().line + "\n";
        }
        ASSERT_EQ(LoadBase(base), 250);
        Finish();
        Database& db = nativehost::BoundDatabase();
        for (int trial = 0; trial < 40; ++trial) {
            const std::string data = RandomData(random, records);
            // The first record to complete, by the order the matcher settles
            // parts in: earliest end, then lower part index, then record.
            int expected = -1;
            size_t expectedEnd = 0, expectedStart = 0;
            for (size_t i = 0; i < records.size(); ++i) {
                size_t end = 0, start = 0;
                PlainSearch(records[i].sig, data, end, start);
                if (!end) continue;
                const size_t parts = records[i].sig.parts.size();
                if (expected < 0 || end < expectedEnd ||
                    (end == expectedEnd && parts < records[static_cast<size_t>(expected)].sig.parts.size())) {
                    expected = static_cast<int>(i);
                    expectedEnd = end;
                    expectedStart = start;
                }
            }
            (expected >= 0 ? found : clean)++;
            for (FilterPath path : kFilterPaths) {
                if (!db.UseFilterPath(path)) continue;
                for (size_t chunk :
                     {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{8}, size_t{13}, size_t{64}, size_t{1000}}) {
                    StreamScanner scanner(db, data.size(), true);
                    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data.data());
                    for (size_t at = 0; at < data.size(); at += chunk) {
                        if (!scanner.Feed(bytes + at, std::min(chunk, data.size() - at))) break;
                    }
                    scanner.Finish();
                    ++cases;
                    const std::string where = std::string(FilterPathName(path)) + " chunk " + std::to_string(chunk);
                    ASSERT_EQ(scanner.found(), expected >= 0) << where << " data " << data;
                    if (expected < 0) continue;
                    ASSERT_EQ(scanner.verdict().name, records[static_cast<size_t>(expected)].sig.verdict.name)
                        << where << " data " << data;
                    ASSERT_TRUE(scanner.matchStartKnown()) << where;
                    ASSERT_EQ(scanner.matchStart(), expectedStart)
                        << where << " " << records[static_cast<size_t>(expected)].line;
                }
            }
        }
    }
    // Both answers were seen often.
    EXPECT_GT(found, 60);
    EXPECT_GT(clean, 60);
    EXPECT_EQ(cases, 8 * 40 * 8 * paths);
}
