// A seeded random storm over the entry points and every callback slot, from
// the host's side and from inside the engine's operations: the process lives
// through it, every answer is one the interfaces document, and nothing opened
// or allocated for the engine is left behind. ORLIX_FUZZ_SEED, ORLIX_FUZZ_CALLS
// and ORLIX_FUZZ_SECONDS override the seed and the bounds of a run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/test_engine_setup.h"
#include "counted_plugin.h"
#include "engine/contract.h"

namespace {

constexpr uint32_t kRegionReserved = 1u << 20;
constexpr uint32_t kRegionCommitted = 64u << 10;
constexpr uint32_t kBufferSize = 64u << 10;
constexpr size_t kStatusRoom = 286;
constexpr size_t kStatusBuffer = 1024;

uint32_t EnvNumber(const char* name, uint32_t fallback) {
    char value[32];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    if (n == 0 || n >= sizeof value) return fallback;
    return static_cast<uint32_t>(strtoul(value, nullptr, 0));
}

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// A stand-in COM object that counts its references.
class Counted : public IUnknown {
public:
    LONG refs = 1;
    HRESULT __stdcall QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG __stdcall AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG __stdcall Release() override { return static_cast<ULONG>(--refs); }
};

class Storm {
public:
    Storm(TestEngineApi& te, CountedPlugin& plugin, const std::string& folder, uint32_t seed)
        : te_(te), plugin_(plugin), folder_(folder), random_(seed) {
        region_ = static_cast<char*>(VirtualAlloc(nullptr, kRegionReserved, MEM_RESERVE, PAGE_NOACCESS));
        if (region_) VirtualAlloc(region_, kRegionCommitted, MEM_COMMIT, PAGE_READWRITE);
        buffer_.assign(kBufferSize, 0);
        for (int i = 0; i < 6; ++i) {
            std::string path = folder_ + "\\f" + std::to_string(i) + ".bin";
            HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            std::string bytes(static_cast<size_t>(i) * 3000 + 17, static_cast<char>('a' + i));
            DWORD written = 0;
            WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
            CloseHandle(f);
        }
        // A name that runs into the reserved, unreadable part of the region.
        if (region_) memset(region_ + kRegionCommitted - 16, 'A', 16);
        // Laid out like a descriptor of a memory block the plug-in never issued.
        fake_[0] = 1;
        fake_[1] = Address(region_);
        fake_[2] = 0x7FFFFFFF;
    }
    ~Storm() {
        if (region_) VirtualFree(region_, 0, MEM_RELEASE);
    }

    bool ready() const { return region_ != nullptr; }
    long calls() const { return calls_; }
    const std::vector<std::string>& wrong() const { return wrong_; }

    // One step of the storm: an entry point, a callback, or a switch of the
    // engine's behaviour.
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
        const uint32_t n = storm->Below(8);
        for (uint32_t i = 0; i < n; ++i) storm->SlotCall();
        storm->inside_ = nullptr;
    }

    // Closes what is open and frees what was allocated: the plug-in must
    // then hold nothing for the engine.
    void Settle() {
        for (uint32_t h : live_) Expect(h, te_.Call(orlix::SlotCloseFile, {h}) != 0xFFFFFFFFu, "close at the end");
        live_.clear();
        for (uint32_t b : blocks_) te_.Call(orlix::SlotFree, {b});
        blocks_.clear();
    }

private:
    TestEngineApi& te_;
    CountedPlugin& plugin_;
    std::string folder_;
    std::mt19937 random_;
    char* region_ = nullptr;
    std::vector<char> buffer_;
    uint32_t fake_[5] = {};
    std::set<uint32_t> live_;
    std::set<uint32_t> memoryHandles_;
    std::vector<uint32_t> stale_;
    std::set<uint32_t> blocks_;
    std::deque<std::string> names_;
    const char* inside_ = nullptr;
    long calls_ = 0;
    std::vector<std::string> wrong_;
    WORD dateOut_ = 0;
    WORD timeOut_ = 0;

    uint32_t Below(uint32_t n) { return random_() % n; }
    template <typename T>
    const T& Of(const std::vector<T>& options) {
        return options[Below(static_cast<uint32_t>(options.size()))];
    }

    void Expect(uint32_t answer, bool ok, const std::string& what) {
        ++calls_;
        if (!ok && wrong_.size() < 20) {
            char text[32];
            sprintf(text, " answered %d", static_cast<int>(answer));
            wrong_.push_back(what + text);
        }
    }
    void Count(int32_t answer, std::initializer_list<int32_t> allowed, const std::string& what) {
        bool ok = false;
        for (int32_t a : allowed) ok |= a == answer;
        Expect(static_cast<uint32_t>(answer), ok, what);
    }

    // ---- random arguments --------------------------------------------------

    const char* Keep(const std::string& name) {
        names_.push_back(name);
        if (names_.size() > 64) names_.pop_front();
        return names_.back().c_str();
    }

    std::string MemoryName(uint32_t address, uint32_t size) {
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
                return region_ ? Address(region_ + kRegionCommitted - 16) : 0;  // unterminated
            case 3:
                return Address(Keep(""));
            case 4:
                return Address(Keep(MemoryName(random_(), random_())));
            case 5:
                return Address(Keep(MemoryName(Address(region_), Below(kRegionReserved))));
            case 6:
                return Address(inside_ ? inside_ : Keep("##00401000#00000200"));
            case 7:
                return Address(Keep(folder_ + "\\" + std::string(Of<size_t>({200, 259, 260, 300, 5000}), 'n')));
            case 8:
                return Address(Keep(folder_ + "\\odd <>|?*\"\x01\xff" + std::to_string(Below(4))));
            case 9:
                return Address(Keep("f" + std::to_string(Below(8)) + ".bin"));  // relative to the scratch folder
            case 10:
                return Address(Keep("#" + std::string(18, '#')));
            default:
                return Address(Keep(folder_ + "\\f" + std::to_string(Below(8)) + ".bin"));
        }
    }

    uint32_t Handle() {
        const uint32_t pick = Below(10);
        if (pick < 5 && !live_.empty()) {
            auto it = live_.begin();
            std::advance(it, Below(static_cast<uint32_t>(live_.size())));
            return *it;
        }
        if (pick == 5 && !stale_.empty()) return Of(stale_);
        if (pick == 6) return Address(fake_);
        if (pick == 7 && !blocks_.empty()) return *blocks_.begin();
        return Of<uint32_t>({0, 0xFFFFFFFFu, 0x10, random_(), Address(buffer_.data()), Address(region_)});
    }

    uint32_t Count32() {
        return Of<uint32_t>({0, 1, 2, Below(64), Below(4096), 4096, Below(kBufferSize), kBufferSize, 0x7FFFFFFF,
                             0x80000000u, 0xFFFFFFFFu, random_()});
    }

    // A buffer for count bytes: ours when it fits, else one that cannot be written.
    uint32_t Buffer(uint32_t count) {
        if (count <= kBufferSize && Below(8)) return Address(buffer_.data());
        return Of<uint32_t>({0, 0x10, region_ ? Address(region_ + kRegionCommitted) : 0});
    }

    bool Live(uint32_t h) const { return live_.count(h) != 0; }

    void Opened(uint32_t answer, bool memory, const std::string& what) {
        if (answer == 0xFFFFFFFFu) {
            Expect(answer, true, what);
            return;
        }
        // A handle handed out twice while open would mix two objects.
        Expect(answer, answer != 0 && !Live(answer), what);
        live_.insert(answer);
        if (memory) memoryHandles_.insert(answer);
    }

    void Closed(uint32_t h) {
        live_.erase(h);
        memoryHandles_.erase(h);
        stale_.push_back(h);
        if (stale_.size() > 32) stale_.erase(stale_.begin());
    }

    // ---- one callback call -------------------------------------------------

    void SlotCall() {
        const int32_t slot = static_cast<int32_t>(Below(orlix::kCallbackSlotCount));
        const uint32_t fail = 0xFFFFFFFFu;
        const std::string what = "slot " + std::to_string(slot);
        switch (slot) {
            case 0: {
                const uint32_t answer = te_.Call(0);
                Expect(answer, answer == 0, what);
            } break;
            case orlix::SlotAlloc: {
                const uint32_t size = Of<uint32_t>({0, 1, 20, Below(100000), 0x7FFFFFF0, 0xFFFFFFFDu, 0xFFFFFFFFu});
                const uint32_t block = te_.Call(slot, {size});
                bool ok = block == fail || (block != 0 && !blocks_.count(block));
                if (block != fail && block != 0 && size <= 4096)
                    for (uint32_t i = 0; i < size && ok; ++i) ok = reinterpret_cast<const char*>(block)[i] == 0;
                Expect(block, ok, what + " size " + std::to_string(size));
                if (block != fail && block != 0) {
                    if (size > (16u << 20))
                        te_.Call(orlix::SlotFree, {block});
                    else
                        blocks_.insert(block);
                }
                break;
            }
            case orlix::SlotFree: {
                uint32_t address = !blocks_.empty() && Below(2) ? *blocks_.begin() : Handle();
                Expect(te_.Call(slot, {address}), true, what);
                blocks_.erase(address);
                break;
            }
            case orlix::SlotCreateFile:
                Opened(te_.Call(slot, {Name()}), false, what);
                break;
            case orlix::SlotOpenFile: {
                const uint32_t name = Name();
                const bool memory = name > 0x10 && name != Address(region_ + kRegionCommitted - 16) &&
                                    reinterpret_cast<const char*>(name)[0] == '#';
                Opened(te_.Call(slot, {name, Of<uint32_t>({0, 1, 2, 3, random_()})}), memory, what);
                break;
            }
            case orlix::SlotCloseFile: {
                const uint32_t h = Handle();
                const uint32_t answer = te_.Call(slot, {h});
                Expect(answer, Live(h) ? answer != fail : answer == fail, what);
                if (Live(h)) Closed(h);
                break;
            }
            case orlix::SlotReadFile:
            case orlix::SlotWriteFile: {
                const uint32_t h = Handle();
                const uint32_t count = Count32();
                const uint32_t answer = te_.Call(slot, {h, Buffer(count), count});
                Expect(answer, Live(h) ? (answer == fail || answer <= count) : answer == fail,
                       what + " count " + std::to_string(count));
                break;
            }
            case orlix::SlotSeekToStart:
            case orlix::SlotSeekToEnd:
            case orlix::SlotGetFileLength: {
                const uint32_t h = Handle();
                const uint32_t answer = te_.Call(slot, {h});
                Expect(answer, Live(h) || answer == fail, what);
                break;
            }
            case orlix::SlotSeekFromStart:
            case orlix::SlotSeekFromCurr:
            case orlix::SlotSeekFromEnd: {
                const uint32_t h = Handle();
                const uint32_t answer = te_.Call(slot, {h, Count32()});
                Expect(answer, Live(h) || answer == fail, what);
                break;
            }
            case orlix::SlotRenameFile:
            case orlix::SlotSetFileAttributes: {
                const uint32_t second =
                    slot == orlix::SlotRenameFile ? Name() : Of<uint32_t>({0, 0x20, 0x80, 0x2, random_() & ~1u});
                const uint32_t answer = te_.Call(slot, {Name(), second});
                Expect(answer, answer == 0 || answer == fail, what);
                break;
            }
            case orlix::SlotSetFileSize: {
                const uint32_t h = Handle();
                const uint32_t size = Of<uint32_t>({0, 1, Below(1u << 20), 0x80000000u, 0xFFFFFFFFu});
                const uint32_t answer = te_.Call(slot, {h, size});
                Expect(answer, Live(h) && !memoryHandles_.count(h) ? (answer == 0 || answer == fail) : answer == fail,
                       what);
                break;
            }
            case orlix::SlotDeleteFile: {
                const uint32_t answer = te_.Call(slot, {Name()});
                Expect(answer, answer == 0 || answer == fail, what);
                break;
            }
            case orlix::SlotGetFileDateTime:
            case orlix::SlotSetFileDateTime: {
                const uint32_t h = Handle();
                uint32_t a = random_(), b = random_();
                if (slot == orlix::SlotGetFileDateTime) {
                    a = Of<uint32_t>({0, 0x10, Address(&dateOut_)});
                    b = Of<uint32_t>({0, 0x10, Address(&timeOut_)});
                }
                const uint32_t answer = te_.Call(slot, {h, a, b});
                Expect(answer, Live(h) ? answer == 0 : answer == fail, what);
                break;
            }
            case orlix::SlotGetFileAttributes:
                Expect(te_.Call(slot, {Name()}), true, what);
                break;
            case orlix::SlotCreateTempFile: {
                // Room for a path, or a buffer too short for one.
                const uint32_t buffer = Of<uint32_t>(
                    {Address(buffer_.data()), 0, 0x10, region_ ? Address(region_ + kRegionCommitted - 100) : 0});
                const uint32_t answer = te_.Call(slot, {buffer});
                if (buffer != Address(buffer_.data())) {
                    Expect(answer, answer == fail, what + " short buffer");
                } else {
                    Opened(answer, false, what);
                }
                break;
            }
            case 28:
            case 29:
            case 51:
                break;  // no procedure: nothing to call
            default: {
                uint32_t procedure = 0;
                int32_t count = 0;
                te_.Slot(slot, &procedure, &count);
                std::vector<uint32_t> args;
                for (int32_t i = 0; i < count; ++i) args.push_back(random_());
                const uint32_t answer = te_.Call(slot, args);
                const uint32_t expected = slot == 30 ? 1 : (slot == 31 || slot == 32) ? 0 : fail;
                Expect(answer, answer == expected, what);
                break;
            }
        }
    }

    // ---- entry points --------------------------------------------------------

    // A host buffer of kStatusBuffer bytes, or null; a verdict must end
    // within the 286 bytes every host provides.
    struct Status {
        std::vector<char> bytes = std::vector<char>(kStatusBuffer, '\x7f');
        bool null = false;
        char* get() { return null ? nullptr : bytes.data(); }
        bool Bounded() const {
            if (null) return true;
            for (size_t i = kStatusRoom; i < kStatusBuffer; ++i)
                if (bytes[i] != '\x7f') return false;
            for (size_t i = 0; i < kStatusRoom; ++i)
                if (bytes[i] == '\0') return true;
            return false;
        }
    };

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
                return folder_ + "\\f" + std::to_string(Below(6)) + ".bin";
        }
    }

    void CheckFile() {
        Status status;
        status.null = Below(20) == 0;
        const bool nullName = Below(20) == 0;
        const std::string name = FileName();
        const int32_t answer = plugin_.CheckFile(nullName ? nullptr : name.c_str(), status.get());
        Count(answer, {0, 1, 2, -3}, "BAV_CheckFile");
        Expect(0, status.Bounded(), "BAV_CheckFile status text unbounded");
    }

    void CureFile() {
        Status status;
        status.null = Below(20) == 0;
        const std::string name = FileName();
        const int32_t answer = plugin_.CureFile(Below(20) ? name.c_str() : nullptr, status.get());
        Count(answer, {0, -3}, "BAV_CureFile");
        // A cure may leave the host's text untouched: only overruns count.
        bool kept = true;
        for (size_t i = kStatusRoom; !status.null && i < kStatusBuffer; ++i) kept &= status.bytes[i] == '\x7f';
        Expect(0, kept, "BAV_CureFile status text unbounded");
    }

    void CheckMemory() {
        Status status;
        status.null = Below(20) == 0;
        uint32_t address = Address(region_) + Below(kRegionCommitted);
        uint32_t size = Below(kRegionCommitted - (address - Address(region_)) + 1);
        switch (Below(5)) {
            case 0:
                size = Of<uint32_t>({0, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFF, kRegionReserved});
                break;
            case 1:
                address = Of<uint32_t>({0, 0x10, 0xFFFF});
                break;
            default:
                break;
        }
        const int32_t answer = plugin_.CheckMemory(address, static_cast<int32_t>(size), status.get());
        Count(answer, {0, 1, 2, -3}, "BAV_CheckMemory");
        Expect(0, status.Bounded(), "BAV_CheckMemory status text unbounded");
    }

    void Query() {
        char name[64];
        const int32_t length = static_cast<int32_t>(Of<uint32_t>({0, 1, 4, 12, 16, 17, 40, 0xFFFFFFFBu, 0x80000000u}));
        const bool room = length >= 0 && length < static_cast<int32_t>(sizeof name);
        char* buffer = room && Below(4) ? name : nullptr;
        uint32_t word = random_();
        Counted stream;
        Counted other;
        switch (Below(15)) {
            case 0: {
                const int32_t expected = buffer && length > 0 ? (length < 17 ? length : 17) : 17;
                Count(plugin_.GetName(buffer, length), {expected}, "BAV_GetName");
                break;
            }
            case 1: {
                const int32_t expected = buffer && length > 0 ? (length < 12 ? length : 12) : 12;
                Count(plugin_.GetVersion(buffer, length), {expected}, "BAV_GetVersion");
                break;
            }
            case 2:
                Count(plugin_.SetCfgData(static_cast<int32_t>(random_()), static_cast<int32_t>(random_())), {-1},
                      "BAV_SetCfgData");
                break;
            case 3:
                Count(plugin_.GetCfgData(static_cast<int32_t>(random_()), static_cast<int32_t>(random_())), {-1},
                      "BAV_GetCfgData");
                break;
            case 4:
                Count(plugin_.GetStatus(), {0}, "BAV_GetStatus");
                break;
            case 5:
                Count(plugin_.MemoryChecking(), {0}, "BAV_MemoryChecking");
                break;
            case 6:
                Count(plugin_.FileChecking(), {0}, "BAV_FileChecking");
                break;
            case 7:
                Count(plugin_.StreamChecking(), {-1}, "BAV_StreamChecking");
                break;
            case 8:
                Count(plugin_.ComNeeded(), {-3}, "BAV_ComNeeded");
                break;
            case 9:
                Count(plugin_.ConfigNeeded(), {0}, "BAV_ConfigNeeded");
                break;
            case 10: {
                const uint32_t* address =
                    Below(3) ? &word : reinterpret_cast<const uint32_t*>(Of<uintptr_t>({0, 0x10}));
                const int32_t* size = reinterpret_cast<const int32_t*>(Below(3) ? &word : nullptr);
                Count(plugin_.CureMemory(address, size, static_cast<int32_t>(random_())), {-1}, "BAV_CureMemory");
                break;
            }
            case 11:
            case 12: {
                IUnknown* first = Below(4) ? &stream : nullptr;
                IUnknown* second = Below(4) ? &other : nullptr;
                const int32_t answer = Below(2) ? plugin_.CheckStream(first, static_cast<int32_t>(random_()))
                                                : plugin_.CureStream(first, second, static_cast<int32_t>(random_()));
                Count(answer, {-1}, "stream call");
                Expect(0, stream.refs == 1 && other.refs == 1, "stream references not given back");
                break;
            }
            default:
                CheckFile();
                break;
        }
    }
};

}  // namespace

TEST(Storm, EntryPointsAndCallbacksAnswerOnlyDocumentedCodes) {
    const uint32_t seed = EnvNumber("ORLIX_FUZZ_SEED", 20261208);
    const uint32_t maxCalls = EnvNumber("ORLIX_FUZZ_CALLS", 50000);
    const uint32_t maxSeconds = EnvNumber("ORLIX_FUZZ_SECONDS", 60);

    SettingsKeyScratch key;
    TestEngineSetup engine;
    ASSERT_TRUE(engine.ok());
    engine.AddBase("main.vdb", 5);
    engine.WriteSettings(key);
    engine->VirusName("*", "Storm.Test");
    TempDir scratch;
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(scratch.path().c_str()));
    {
        CountedPlugin plugin;
        ASSERT_TRUE(plugin.LoadCounted());
        ASSERT_EQ(0, plugin.Initialize());
        const PluginCounters before = plugin.Counters();
        Storm storm(engine.api(), plugin, scratch.path(), seed);
        ASSERT_TRUE(storm.ready());
        engine->SetRecording(0);
        engine->SetScanFallback("*", 0, 0);
        engine->SetHook(orlix::EngineScanFile, &Storm::InsideScan, &storm);

        const DWORD start = GetTickCount();
        uint32_t steps = 0;
        while (static_cast<uint32_t>(storm.calls()) < maxCalls && GetTickCount() - start < maxSeconds * 1000) {
            storm.Step();
            ++steps;
        }
        engine->SetHook(orlix::EngineScanFile, nullptr, nullptr);
        engine->SetRandom(0);
        storm.Settle();
        printf("[ storm    ] seed %u: %u steps, %ld checked calls in %lu ms\n", seed, steps, storm.calls(),
               static_cast<unsigned long>(GetTickCount() - start));
        for (const std::string& w : storm.wrong()) ADD_FAILURE() << "seed " << seed << ": " << w;
        EXPECT_EQ(before, plugin.Counters()) << "seed " << seed;
        char status[kStatusRoom];
        // Still answering: the engine was never disabled by a fault of ours.
        EXPECT_EQ(0, plugin.CheckFile((scratch.path() + "\\f1.bin").c_str(), status)) << status;
        plugin.Uninitialize();
    }
    SetCurrentDirectoryA(previous);
}
