// The hash records against a plain model: every record found under its
// size and digest, the records of one hash in the order of their names'
// stored references, sizes present and absent told apart, over size
// distributions that make the sort's key bytes agree or differ anywhere;
// and the line reader giving the same lines however the file is cut.
#include "match/hash_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base_lines.h"

using namespace refengine;

namespace {

struct ModelRecord {
    uint32_t size;
    std::vector<unsigned char> digest;
    NameRef name;
};

std::vector<unsigned char> Bytes(const NameRef& name) {
    std::vector<unsigned char> bytes(sizeof name);
    std::memcpy(bytes.data(), &name, sizeof name);
    return bytes;
}

// Adds count records of sizes drawn by sizeOf, a tenth sharing the digest
// of an earlier one (under its size or another), and checks the table.
template <typename SizeOf>
void CheckTable(HashKind kind, size_t count, uint32_t seed, SizeOf sizeOf) {
    SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)) + " seed " + std::to_string(seed));
    const size_t length = DigestLength(kind);
    std::mt19937 random(seed);
    HashTable table(length);
    std::vector<ModelRecord> model;
    // Two loads, the second added after the first was sorted.
    for (int load = 0; load < 2; ++load) {
        for (size_t i = 0; i < count; ++i) {
            ModelRecord r;
            if (!model.empty() && random() % 10 == 0) {
                r = model[random() % model.size()];
                if (random() % 2) r.size = sizeOf(random);
            } else {
                r.size = sizeOf(random);
                r.digest.resize(length);
                for (unsigned char& b : r.digest) b = static_cast<unsigned char>(random() % 4 ? random() : 0);
            }
            r.name = NameRef{static_cast<uint32_t>(random() % 300), static_cast<uint32_t>(random())};
            table.Add(r.size, r.digest.data(), r.name);
            model.push_back(r);
        }
        table.Finish();
    }
    ASSERT_EQ(table.count(), model.size());
    for (const ModelRecord& r : model) {
        // The names the table gives for this size and digest, in its order.
        std::vector<std::vector<unsigned char>> got;
        table.Find(r.size, r.digest.data(), [&](NameRef name) {
            got.push_back(Bytes(name));
            return false;
        });
        // Those of its exact size first, then those of any size, each by name bytes.
        std::vector<std::vector<unsigned char>> want, any;
        for (const ModelRecord& o : model) {
            if (o.digest != r.digest) continue;
            if (o.size == kAnySize) any.push_back(Bytes(o.name));
            if (o.size == r.size && r.size != kAnySize) want.push_back(Bytes(o.name));
        }
        std::sort(want.begin(), want.end());
        std::sort(any.begin(), any.end());
        want.insert(want.end(), any.begin(), any.end());
        ASSERT_EQ(got, want) << "size " << r.size;
        ASSERT_TRUE(table.Covers(r.size));
    }
    const bool anyRecord =
        std::any_of(model.begin(), model.end(), [](const ModelRecord& r) { return r.size == kAnySize; });
    for (int i = 0; i < 200; ++i) {
        const uint32_t size = sizeOf(random) ^ static_cast<uint32_t>(random() % 3);
        const bool present =
            std::any_of(model.begin(), model.end(), [&](const ModelRecord& r) { return r.size == size; });
        ASSERT_EQ(table.Covers(size), present || anyRecord) << "size " << size;
    }
}

TEST(HashStoreTest, FindsEveryRecordInNameOrderOverAnySizeDistribution) {
    for (HashKind kind : {HashKind::Md5, HashKind::Sha1, HashKind::Sha256}) {
        // One size: the digest alone orders them.
        CheckTable(kind, 1000, 1, [](std::mt19937&) { return 68u; });
        // Sizes that differ only in their lowest byte, and in every byte.
        CheckTable(kind, 1000, 2, [](std::mt19937& r) { return 0x01020300u + r() % 256; });
        CheckTable(kind, 1000, 3, [](std::mt19937& r) { return static_cast<uint32_t>(r() % 0xFFFFFFFFu); });
        // Few sizes, '*' among them: long runs of one size and digest byte.
        CheckTable(kind, 1000, 4, [](std::mt19937& r) {
            static const uint32_t kSizes[] = {0, 1, 255, 256, 65536, kAnySize};
            return kSizes[r() % 6];
        });
    }
    // A table too small for the radix passes.
    CheckTable(HashKind::Md5, 20, 5, [](std::mt19937& r) { return static_cast<uint32_t>(r() % 1000); });
}

TEST(HashStoreTest, ARollbackDropsTheRecordsAndStemsAddedSince) {
    HashStore store;
    const unsigned char digest[16] = {1, 2, 3};
    NameRef kept, dropped;
    ASSERT_TRUE(store.names().Add("Win.Trojan.Kept-11-0", 20, Verdict(), kept));
    store.finds(HashKind::Md5).Add(100, digest, kept);
    const HashStore::Mark mark = store.mark();
    for (int i = 0; i < 40000; ++i) {
        const std::string name = "Win.Trojan.Gone" + std::to_string(i % 50) + "-" + std::to_string(i) + "-1";
        ASSERT_TRUE(store.names().Add(name.data(), name.size(), Verdict(), dropped));
        store.finds(HashKind::Md5).Add(static_cast<uint32_t>(i), digest, dropped);
    }
    store.Rollback(mark);
    store.Finish();
    EXPECT_EQ(store.findCount(), 1u);
    EXPECT_FALSE(store.finds(HashKind::Md5).Covers(7));
    Verdict verdict;
    ASSERT_TRUE(store.finds(HashKind::Md5).Find(100, digest, [&](NameRef name) {
        store.names().Describe(name, verdict);
        return true;
    }));
    EXPECT_EQ(verdict.name, "Win.Trojan.Kept-11-0");
    // The stems are found again after the rollback's rehash, not added twice.
    NameRef again;
    ASSERT_TRUE(store.names().Add("Win.Trojan.Kept-12-3", 20, Verdict(), again));
    EXPECT_NE(again.stem, kept.stem);  // another revision: another stem
    ASSERT_TRUE(store.names().Add("Win.Trojan.Kept-99-0", 20, Verdict(), again));
    EXPECT_EQ(again.stem, kept.stem);
    char spelt[kMaxVirusNameLength + 1];
    store.names().Spell(again, spelt);
    EXPECT_STREQ(spelt, "Win.Trojan.Kept-99-0");
}

// Names whose stems differ in any one byte, in their length or in the
// find's kind are kept apart, and each spelt back as it came.
TEST(HashStoreTest, StemsApartInOneByteOrTheirKindStayApart) {
    NamePool pool;
    std::vector<std::pair<std::string, NameRef>> added;
    const std::string base = "Doc.Exploit.LongFamilyName";
    for (size_t cut = 1; cut <= base.size(); ++cut) {
        for (char c : {'a', 'b'}) {
            std::string name = base.substr(0, cut);
            name.back() = c;
            name += "-" + std::to_string(cut) + "-0";
            for (uint32_t flags : {0u, 1u}) {
                Verdict kind;
                kind.flags = flags;
                NameRef ref;
                ASSERT_TRUE(pool.Add(name.data(), name.size(), kind, ref));
                added.emplace_back(name + (flags ? "/1" : "/0"), ref);
            }
        }
    }
    for (size_t i = 0; i < added.size(); ++i) {
        for (size_t j = i + 1; j < added.size(); ++j) {
            if (added[i].first != added[j].first) ASSERT_NE(added[i].second.stem, added[j].second.stem);
        }
        Verdict verdict;
        pool.Describe(added[i].second, verdict);
        EXPECT_EQ(verdict.name + (verdict.flags ? "/1" : "/0"), added[i].first);
    }
}

struct Collected : engineboundary::LineTaker {
    bool TakeLine(const std::string& line) override {
        lines.push_back(line);
        return line.find('!') == std::string::npos;
    }
    std::vector<std::string> lines;
};

TEST(BaseLinesTest, TheSameLinesAndRejectionsWhereverTheFileIsCut) {
    const std::string text = "one\n\ntwo!\n" + std::string(16, 'x') + "\n" + std::string(17, 'y') + "\nlast";
    Collected whole;
    engineboundary::BaseLineReader reader(whole, 16);
    reader.Feed(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    reader.Finish();
    const std::vector<std::string> want = {"one", "", "two!", std::string(16, 'x'), "last"};
    EXPECT_EQ(whole.lines, want);
    EXPECT_EQ(reader.rejected(), 2);  // "two!" and the overlong line
    EXPECT_EQ(reader.firstRejected(), 3);
    for (size_t piece = 1; piece <= text.size(); ++piece) {
        Collected cut;
        engineboundary::BaseLineReader lines(cut, 16);
        for (size_t at = 0; at < text.size(); at += piece)
            lines.Feed(reinterpret_cast<const unsigned char*>(text.data()) + at, std::min(piece, text.size() - at));
        lines.Finish();
        EXPECT_EQ(cut.lines, want) << "pieces of " << piece;
        EXPECT_EQ(lines.rejected(), 2) << "pieces of " << piece;
    }
}

}  // namespace
