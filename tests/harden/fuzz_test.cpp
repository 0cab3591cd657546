// A seeded random storm over the entry points and every callback slot, from
// the host's side and from inside the engine's operations: the process lives
// through it, every answer is one the interfaces document, and nothing opened
// or allocated for the engine is left behind. ORLIX_FUZZ_SEED, ORLIX_FUZZ_CALLS
// and ORLIX_FUZZ_SECONDS override the seed and the bounds of a run.
#include <cstdio>
#include <deque>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/counted_unknown.h"
#include "orlix/contract.h"
#include "harden_fixture.h"

namespace {

constexpr uint32_t kRegionReserved = 1u << 20;
constexpr uint32_t kRegionCommitted = 64u << 10;
constexpr uint32_t kBufferSize = 64u << 10;
constexpr uint32_t kFail = 0xFFFFFFFFu;

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

class Storm {
public:
    Storm(TestEngineApi& te, CountedPlugin& plugin, const std::string& folder, uint32_t seed)
        : te_(te), plugin_(plugin), folder_(folder), random_(seed), buffer_(kBufferSize, 0) {
        region_ = static_cast<char*>(VirtualAlloc(nullptr, kRegionReserved, MEM_RESERVE, PAGE_NOACCESS));
        if (!region_) return;
        VirtualAlloc(region_, kRegionCommitted, MEM_COMMIT, PAGE_READWRITE);
        for (int i = 0; i < 6; ++i)
            WriteFileBytes(File(i), std::string(static_cast<size_t>(i) * 3000 + 17, static_cast<char>('a' + i)));
        // A name that runs into the reserved, unreadable part of the region.
        memset(unterminated_ = region_ + kRegionCommitted - 16, 'A', 16);
        // Laid out like a descriptor of a memory block the plug-in never issued.
        fake_[0] = 1;
        fake_[1] = Address(region_);
        fake_[2] = 0x7FFFFFFF;
    }
    ~Storm() {
        if (region_) VirtualFree(region_, 0, MEM_RELEASE);
    }
    Storm(const Storm&) = delete;
    Storm& operator=(const Storm&) = delete;

    bool ready() const { return region_ != nullptr; }
    long calls() const { return calls_; }
    const std::vector<std::string>& wrong() const { return wrong_; }
    std::string File(uint32_t i) const { return folder_ + "\\f" + std::to_string(i) + ".bin"; }

    // One step: an entry point, a callback, or a switch of the engine's behaviour.
    void Step() {
        const uint32_t pick = Below(1000);
        if (pick < 450) {
            SlotCall();
        } else if (pick < 600) {
            CheckFile();
        } else if (pick < 700) {
            CheckMemory();
        } else if (pick < 780) {
            CureFile();
        } else if (pick < 970) {
            Query();
        } else if (pick < 985) {
            te_.SetRandom(pick & 1 ? random_() | 1 : 0);
        } else if (pick < 997) {
            te_.SetReadObject(pick & 1);
        } else {
            Count(plugin_.Uninitialize(), {0}, "BAV_Uninitialize");
            Count(plugin_.Initialize(), {0, -3}, "BAV_Initialize");
        }
    }

    // Called by the engine in the middle of EngineScanFile.
    static void __cdecl InsideScan(int32_t, const char* objectName, void* context) {
        Storm* storm = static_cast<Storm*>(context);
        storm->inside_ = objectName;
        for (uint32_t i = storm->Below(8); i > 0; --i) storm->SlotCall();
        storm->inside_ = nullptr;
    }

    // Closes what is open and frees what was allocated: the plug-in must
    // then hold nothing for the engine.
    void Settle() {
        for (uint32_t h : live_) Expect(h, te_.Call(orlix::SlotCloseFile, {h}) != kFail, "close at the end");
        live_.clear();
        for (uint32_t b : blocks_) te_.Call(orlix::SlotFree, {b});
        blocks_.clear();
    }

private:
    TestEngineApi& te_;
    CountedPlugin& plugin_;
    std::string folder_;
    std::mt19937 random_;
    std::vector<char> buffer_;
    char* region_ = nullptr;
    char* unterminated_ = nullptr;
    uint32_t fake_[5] = {};
    std::set<uint32_t> live_;
    std::set<uint32_t> memoryHandles_;
    std::deque<uint32_t> stale_;
    std::set<uint32_t> blocks_;
    std::deque<std::string> names_;
    const char* inside_ = nullptr;
    long calls_ = 0;
    std::vector<std::string> wrong_;
    WORD dateOut_ = 0;
    WORD timeOut_ = 0;

    uint32_t Below(uint32_t n) { return random_() % n; }
    template <typename T>
    T Of(std::initializer_list<T> options) {
        return options.begin()[Below(static_cast<uint32_t>(options.size()))];
    }

    void Expect(uint32_t answer, bool ok, const std::string& what) {
        ++calls_;
        if (!ok && wrong_.size() < 20) wrong_.push_back(what + " answered " + std::to_string(int32_t(answer)));
    }
    void Count(int32_t answer, std::initializer_list<int32_t> allowed, const std::string& what) {
        bool ok = false;
        for (int32_t a : allowed) ok |= a == answer;
        Expect(static_cast<uint32_t>(answer), ok, what);
    }

    // ---- random arguments --------------------------------------------------

    uint32_t Keep(const std::string& name) {
        names_.push_back(name);
        if (names_.size() > 64) names_.pop_front();
        return Address(names_.back().c_str());
    }

    static std::string MemoryName(uint32_t address, uint32_t size) {
        char name[32];
        sprintf(name, orlix::kMemoryObjectNameFormat, address, size);
        return name;
    }

    uint32_t Name() {
        switch (Below(14)) {
            case 0:
                return 0;
            case 1:
                return 0x10;
            case 2:
                return Address(unterminated_);
            case 3:
                return Keep("");
            case 4:
                return Keep(MemoryName(random_(), random_()));
            case 5:
                return Keep(MemoryName(Address(region_), Below(kRegionReserved)));
            case 6:
                return inside_ ? Address(inside_) : Keep("##00401000#00000200");
            case 7:
                return Keep(folder_ + "\\" + std::string(Of<size_t>({200, 259, 260, 300, 5000}), 'n'));
            case 8:
                return Keep(folder_ + "\\odd <>|?*\"\x01\xff" + std::to_string(Below(4)));
            case 9:
                return Keep("f" + std::to_string(Below(8)) + ".bin");  // relative to the scratch folder
            case 10:
                return Keep("#" + std::string(18, '#'));
            default:
                return Keep(File(Below(8)));
        }
    }

    uint32_t Handle() {
        const uint32_t pick = Below(10);
        if (pick < 5 && !live_.empty()) return *std::next(live_.begin(), Below(static_cast<uint32_t>(live_.size())));
        if (pick == 5 && !stale_.empty()) return stale_[Below(static_cast<uint32_t>(stale_.size()))];
        if (pick == 6) return Address(fake_);
        if (pick == 7 && !blocks_.empty()) return *blocks_.begin();
        return Of<uint32_t>({0, kFail, 0x10, random_(), Address(buffer_.data()), Address(region_)});
    }

    uint32_t Count32() {
        return Of<uint32_t>({0, 1, 2, Below(64), Below(4096), 4096, Below(kBufferSize), kBufferSize, 0x7FFFFFFF,
                             0x80000000u, kFail, random_()});
    }

    // A buffer for count bytes: ours when it fits, else one that cannot be written.
    uint32_t Buffer(uint32_t count) {
        if (count <= kBufferSize && Below(8)) return Address(buffer_.data());
        return Of<uint32_t>({0, 0x10, Address(region_ + kRegionCommitted)});
    }

    bool Live(uint32_t h) const { return live_.count(h) != 0; }

    void Opened(uint32_t answer, bool memory, const std::string& what) {
        // A handle handed out twice while open would mix two objects.
        Expect(answer, answer == kFail || (answer != 0 && !Live(answer)), what);
        if (answer == kFail) return;
        live_.insert(answer);
        if (memory) memoryHandles_.insert(answer);
    }

    // ---- one callback call -------------------------------------------------

    void SlotCall() {
        using namespace orlix;
        const int32_t slot = static_cast<int32_t>(Below(kCallbackSlotCount));
        const std::string what = "slot " + std::to_string(slot);
        const uint32_t h = Handle();
        switch (slot) {
            case SlotAlloc: {
                const uint32_t size = Of<uint32_t>({0, 1, 20, Below(100000), 0x7FFFFFF0, 0xFFFFFFFDu, kFail});
                const uint32_t block = te_.Call(slot, {size});
                const bool got = block != kFail && block != 0;
                bool ok = block == kFail || (block != 0 && !blocks_.count(block));
                for (uint32_t i = 0; got && size <= 4096 && i < size && ok; ++i)
                    ok = reinterpret_cast<const char*>(block)[i] == 0;
                Expect(block, ok, what + " size " + std::to_string(size));
                if (got && size > (16u << 20)) te_.Call(SlotFree, {block});
                if (got && size <= (16u << 20)) blocks_.insert(block);
                return;
            }
            case SlotFree: {
                const uint32_t address = !blocks_.empty() && Below(2) ? *blocks_.begin() : h;
                Expect(te_.Call(slot, {address}), true, what);
                blocks_.erase(address);
                return;
            }
            case SlotCreateFile:
                return Opened(te_.Call(slot, {Name()}), false, what);
            case SlotOpenFile: {
                const uint32_t name = Name();
                const bool memory =
                    name > 0x10 && name != Address(unterminated_) && reinterpret_cast<const char*>(name)[0] == '#';
                return Opened(te_.Call(slot, {name, Of<uint32_t>({0, 1, 2, 3, random_()})}), memory, what);
            }
            case SlotCloseFile: {
                const uint32_t answer = te_.Call(slot, {h});
                Expect(answer, Live(h) ? answer != kFail : answer == kFail, what);
                if (!Live(h)) return;
                live_.erase(h);
                memoryHandles_.erase(h);
                stale_.push_back(h);
                if (stale_.size() > 32) stale_.pop_front();
                return;
            }
            case SlotReadFile:
            case SlotWriteFile: {
                const uint32_t count = Count32();
                const uint32_t answer = te_.Call(slot, {h, Buffer(count), count});
                return Expect(answer, Live(h) ? (answer == kFail || answer <= count) : answer == kFail,
                              what + " count " + std::to_string(count));
            }
            case SlotSeekToStart:
            case SlotSeekToEnd:
            case SlotGetFileLength:
            case SlotSeekFromStart:
            case SlotSeekFromCurr:
            case SlotSeekFromEnd: {
                const uint32_t answer = slot >= SlotSeekFromStart && slot <= SlotSeekFromEnd
                                            ? te_.Call(slot, {h, Count32()})
                                            : te_.Call(slot, {h});
                return Expect(answer, Live(h) || answer == kFail, what);
            }
            case SlotRenameFile:
            case SlotSetFileAttributes: {
                const uint32_t second =
                    slot == SlotRenameFile ? Name() : Of<uint32_t>({0, 0x20, 0x80, 0x2, random_() & ~1u});
                const uint32_t answer = te_.Call(slot, {Name(), second});
                return Expect(answer, answer == 0 || answer == kFail, what);
            }
            case SlotSetFileSize: {
                const uint32_t size = Of<uint32_t>({0, 1, Below(1u << 20), 0x80000000u, kFail});
                const uint32_t answer = te_.Call(slot, {h, size});
                const bool resizable = Live(h) && !memoryHandles_.count(h);
                return Expect(answer, resizable ? (answer == 0 || answer == kFail) : answer == kFail, what);
            }
            case SlotDeleteFile: {
                const uint32_t answer = te_.Call(slot, {Name()});
                return Expect(answer, answer == 0 || answer == kFail, what);
            }
            case SlotGetFileDateTime:
            case SlotSetFileDateTime: {
                const bool get = slot == SlotGetFileDateTime;
                const uint32_t a = get ? Of<uint32_t>({0, 0x10, Address(&dateOut_)}) : random_();
                const uint32_t b = get ? Of<uint32_t>({0, 0x10, Address(&timeOut_)}) : random_();
                const uint32_t answer = te_.Call(slot, {h, a, b});
                return Expect(answer, Live(h) ? answer == 0 : answer == kFail, what);
            }
            case SlotGetFileAttributes:
                return Expect(te_.Call(slot, {Name()}), true, what);
            case SlotCreateTempFile: {
                // Room for a path, or a buffer too short for one.
                const uint32_t buffer =
                    Of<uint32_t>({Address(buffer_.data()), 0, 0x10, Address(region_ + kRegionCommitted - 100)});
                const uint32_t answer = te_.Call(slot, {buffer});
                if (buffer == Address(buffer_.data())) return Opened(answer, false, what);
                return Expect(answer, answer == kFail, what + " short buffer");
            }
            case SlotEmpty28:
            case SlotEmpty29:
            case SlotEmpty51:
                return;  // no procedure: nothing to call
            default: {
                // The stubs: 0 and 30 to 32 answer constants, the others fail.
                uint32_t procedure = 0;
                int32_t count = 0;
                te_.Slot(slot, &procedure, &count);
                std::vector<uint32_t> args;
                for (int32_t i = 0; i < count; ++i) args.push_back(random_());
                const uint32_t answer = te_.Call(slot, args);
                const uint32_t expected = slot == SlotStubOne30 ? 1
                                          : slot == SlotStubZero0 || slot == SlotStubZero31 || slot == SlotStubZero32
                                              ? 0
                                              : kFail;
                return Expect(answer, answer == expected, what);
            }
        }
    }

    // ---- entry points --------------------------------------------------------

    std::string FileName() {
        switch (Below(8)) {
            case 0:
                return folder_ + "\\" + std::string(Of<size_t>({259, 260, 1000, 70000}), 'x');
            case 1:
                return MemoryName(random_(), random_());
            case 2:
                return "";
            case 3:
                return folder_ + "\\missing.bin";
            default:
                return File(Below(6));
        }
    }

    // A host status buffer (null now and then) without text of its own: a
    // verdict must be written and end within the room every host provides.
    char* Status(HostStatus& status) {
        memset(status.bytes, 0x7f, sizeof status.bytes);
        return Below(20) ? status.get() : nullptr;
    }
    static bool Untouched(const HostStatus& status) {
        for (size_t i = HostStatus::kRoom; i < sizeof status.bytes; ++i)
            if (status.bytes[i] != 0x7f) return false;
        return true;
    }

    void CheckFile() {
        HostStatus status;
        char* text = Status(status);
        const std::string name = FileName();
        Count(plugin_.CheckFile(Below(20) ? name.c_str() : nullptr, text), {0, 1, 2, -3}, "BAV_CheckFile");
        Expect(0, !text || status.Bounded(), "BAV_CheckFile status text unbounded");
    }

    void CureFile() {
        HostStatus status;
        char* text = Status(status);
        const std::string name = FileName();
        Count(plugin_.CureFile(Below(20) ? name.c_str() : nullptr, text), {0, -3}, "BAV_CureFile");
        // A cure may leave the host's text untouched: only overruns count.
        Expect(0, Untouched(status), "BAV_CureFile status text unbounded");
    }

    void CheckMemory() {
        HostStatus status;
        char* text = Status(status);
        uint32_t address = Address(region_) + Below(kRegionCommitted);
        uint32_t size = Below(kRegionCommitted - (address - Address(region_)) + 1);
        const uint32_t odd = Below(5);
        if (odd == 0) size = Of<uint32_t>({0, kFail, 0x80000000u, 0x7FFFFFFF, kRegionReserved});
        if (odd == 1) address = Of<uint32_t>({0, 0x10, 0xFFFF});
        Count(plugin_.CheckMemory(address, static_cast<int32_t>(size), text), {0, 1, 2, -3}, "BAV_CheckMemory");
        Expect(0, !text || status.Bounded(), "BAV_CheckMemory status text unbounded");
    }

    void Query() {
        const struct {
            const char* name;
            bav::NoArgsProc proc;
            int32_t answer;
        } fixed[] = {{"BAV_GetStatus", plugin_.GetStatus, 0},       {"BAV_MemoryChecking", plugin_.MemoryChecking, 0},
                     {"BAV_FileChecking", plugin_.FileChecking, 0}, {"BAV_StreamChecking", plugin_.StreamChecking, -1},
                     {"BAV_ComNeeded", plugin_.ComNeeded, -3},      {"BAV_ConfigNeeded", plugin_.ConfigNeeded, 0}};
        char name[64];
        const int32_t length = static_cast<int32_t>(Of<uint32_t>({0, 1, 4, 12, 16, 17, 40, 0xFFFFFFFBu, 0x80000000u}));
        char* buffer = length >= 0 && length < static_cast<int32_t>(sizeof name) && Below(4) ? name : nullptr;
        // The whole text's length, or what fits in a buffer given.
        auto fits = [&](int32_t whole) { return buffer && length > 0 && length < whole ? length : whole; };
        const uint32_t pick = Below(15);
        if (pick < 6) return Count(fixed[pick].proc(), {fixed[pick].answer}, fixed[pick].name);
        if (pick == 6) return Count(plugin_.GetName(buffer, length), {fits(17)}, "BAV_GetName");
        if (pick == 7) return Count(plugin_.GetVersion(buffer, length), {fits(12)}, "BAV_GetVersion");
        const int32_t a = static_cast<int32_t>(random_()), b = static_cast<int32_t>(random_());
        if (pick == 8) return Count(plugin_.SetCfgData(a, b), {-1}, "BAV_SetCfgData");
        if (pick == 9) return Count(plugin_.GetCfgData(a, b), {-1}, "BAV_GetCfgData");
        if (pick == 10) {
            uint32_t word = random_();
            const uint32_t* address = Below(3) ? &word : reinterpret_cast<const uint32_t*>(Of<uintptr_t>({0, 0x10}));
            const int32_t* size = reinterpret_cast<const int32_t*>(Below(3) ? &word : nullptr);
            return Count(plugin_.CureMemory(address, size, a), {-1}, "BAV_CureMemory");
        }
        if (pick < 13) {
            CountedUnknown stream, other;
            IUnknown* first = Below(4) ? &stream : nullptr;
            IUnknown* second = Below(4) ? &other : nullptr;
            Count(Below(2) ? plugin_.CheckStream(first, a) : plugin_.CureStream(first, second, a), {-1}, "stream call");
            return Expect(0, stream.references == 1 && other.references == 1, "stream references not given back");
        }
        CheckFile();
    }
};

}  // namespace

TEST_F(Hardened, StormAnswersOnlyDocumentedCodes) {
    const uint32_t seed = EnvNumber("ORLIX_FUZZ_SEED", 20261208);
    const uint32_t maxCalls = EnvNumber("ORLIX_FUZZ_CALLS", 50000);
    const uint32_t maxSeconds = EnvNumber("ORLIX_FUZZ_SECONDS", 60);
    TempDir scratch;
    CurrentFolderScratch inScratch(scratch.path());
    ASSERT_TRUE(inScratch.ok());
    ASSERT_NO_FATAL_FAILURE(Start());
    te().VirusName("*", "Storm.Test");
    Storm storm(te(), plugin, scratch.path(), seed);
    ASSERT_TRUE(storm.ready());
    te().SetRecording(0);
    te().SetScanFallback("*", 0, 0);
    te().SetHook(orlix::EngineScanFile, &Storm::InsideScan, &storm);

    const DWORD began = GetTickCount();
    uint32_t steps = 0;
    for (; static_cast<uint32_t>(storm.calls()) < maxCalls && GetTickCount() - began < maxSeconds * 1000; ++steps)
        storm.Step();
    te().SetHook(orlix::EngineScanFile, nullptr, nullptr);
    te().SetRandom(0);
    storm.Settle();
    printf("[ storm    ] seed %u: %u steps, %ld checked calls in %lu ms\n", seed, steps, storm.calls(),
           static_cast<unsigned long>(GetTickCount() - began));
    for (const std::string& w : storm.wrong()) ADD_FAILURE() << "seed " << seed << ": " << w;
    EXPECT_EQ(start, plugin.Counters()) << "seed " << seed;
    // Still answering: the engine was never disabled by a fault of ours.
    HostStatus status;
    EXPECT_EQ(0, plugin.CheckFile(storm.File(1).c_str(), status.get())) << status.text();
    plugin.Uninitialize();
}
