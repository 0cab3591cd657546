// The test engine: answers every engine operation from a script that the test
// sets through the TE_* exports and records what it was asked.
#include <windows.h>

#include <cstdarg>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/contract.h"
#include "test_engine_api.h"

namespace {

constexpr size_t kMaxRecords = 65536;
constexpr int32_t kHeaderNameRoom = orlix::kArchiveHeaderSize - orlix::kMemberNameOffset;
constexpr int32_t kReadChunk = 4096;
constexpr size_t kMaxObjectRead = 16u << 20;

struct Member {
    std::string name;  // raw bytes written into the header
    int32_t header;
    int32_t extract;
    std::string key;
};

struct Archive {
    int32_t open = 0;
    int32_t flags = 0;
    std::vector<Member> members;
};

struct Level {
    std::string key;
    size_t next = 0;
    int current = -1;
};

struct Fault {
    int32_t kind = TE_FAULT_NONE;
    bool anyName = true;
    std::string name;
};

struct Answer {
    std::string bytes;
    int32_t result = 0;
};

typedef std::pair<std::string, int32_t> ScanKey;

struct State {
    int32_t version = 431;
    bool refuseInit = false;
    int32_t defaultBaseRecords = 1;
    std::map<std::string, int32_t> baseRecords;
    std::map<ScanKey, std::deque<int32_t>> scanQueues;
    std::map<ScanKey, int32_t> scanFallbacks;
    bool readObject = false;
    std::string lastRead;
    int32_t lastReadResult = -1;
    int32_t lastOpenHandle = 0;
    std::map<std::string, std::string> virusNames;
    std::map<std::string, Answer> archiverNames;
    std::map<std::string, Archive> archives;
    std::map<int32_t, Fault> faults;
    uint32_t random = 0;
    bool recording = true;
    std::vector<TE_Record> records;
    std::string current;
    std::string pending;
    std::vector<Level> levels;
    const orlix::CallbackSlot* table = nullptr;
    int32_t tableCount = 0;
    int32_t versionWords[3] = {};
    int32_t initReserved = 0;
    bool initCalled = false;
};

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

State& S() {
    static State state;
    return state;
}

std::string Text(const void* bytes, int32_t length, int32_t room) {
    if (!bytes) return std::string();
    const char* p = static_cast<const char*>(bytes);
    size_t n = length < 0 ? strlen(p) + 1 : static_cast<size_t>(length);
    if (n > static_cast<size_t>(room)) n = static_cast<size_t>(room);
    return std::string(p, n);
}

std::string Key(const char* key) { return key ? std::string(key) : std::string(); }

uint32_t NextRandom(State& s) {
    // xorshift32: reproducible for a given seed.
    uint32_t x = s.random;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s.random = x ? x : 1;
    return x;
}

int32_t RandomAnswer(State& s) {
    static const int32_t kTypical[] = {
        0,     1,      2,      4,      5,      8,      9,       0x10, 0x20,       0x80,
        0x100, 0x1000, 0x1001, 0x2000, 0x4000, 0x8000, 0x20000, -1,   0x7FFFFFFF, static_cast<int32_t>(0x80000000)};
    uint32_t r = NextRandom(s);
    if (r & 1) return static_cast<int32_t>(NextRandom(s));
    return kTypical[(r >> 1) % (sizeof kTypical / sizeof kTypical[0])];
}

void FillRandom(State& s, void* buffer, size_t size) {
    unsigned char* p = static_cast<unsigned char*>(buffer);
    for (size_t i = 0; i < size; ++i) p[i] = static_cast<unsigned char>((NextRandom(s) % 255) + 1);
}

// Appends a record and answers its index (or -1 when not kept).
int Record(State& s, int32_t op, int32_t reserved, const uint32_t* args, const char* text) {
    if (!s.recording || s.records.size() >= kMaxRecords) return -1;
    TE_Record r = {};
    r.op = op;
    r.reserved = reserved;
    for (int i = 0; i < 4; ++i) r.args[i] = args ? args[i] : 0;
    r.result = TE_RESULT_FAULTED;
    if (text) lstrcpynA(r.text, text, TE_RECORD_TEXT);
    s.records.push_back(r);
    return static_cast<int>(s.records.size() - 1);
}

void SetResult(State& s, int index, int32_t result) {
    if (index >= 0 && static_cast<size_t>(index) < s.records.size())
        s.records[static_cast<size_t>(index)].result = result;
}

// ---- real faults --------------------------------------------------------

volatile int g_zero = 0;
volatile int g_stopRecursion = 0;
volatile uintptr_t g_nowhere = 0x10;

__attribute__((noinline)) void RaiseAccessViolation() { *reinterpret_cast<volatile int*>(g_nowhere) = 1; }

volatile int g_quotient = 0;

__attribute__((noinline)) void RaiseDivideByZero() {
    volatile int one = 1;
    g_quotient = one / g_zero;
}

__attribute__((noinline)) int Recurse(int depth) {
    volatile char pad[4096];
    pad[0] = static_cast<char>(depth);
    if (g_stopRecursion) return pad[0];
    return Recurse(depth + 1) + pad[0];
}

// Decides under the lock, faults outside it: a fault never returns, so a
// lock held across it would stay held.
int FaultKind(State& s, int32_t op, const std::string& name) {
    auto it = s.faults.find(op);
    if (it == s.faults.end()) return TE_FAULT_NONE;
    if (!it->second.anyName && it->second.name != name) return TE_FAULT_NONE;
    return it->second.kind;
}

void RaiseFault(int kind) {
    switch (kind) {
        case TE_FAULT_ACCESS_VIOLATION:
            RaiseAccessViolation();
            break;
        case TE_FAULT_DIVIDE_BY_ZERO:
            RaiseDivideByZero();
            break;
        case TE_FAULT_STACK_OVERFLOW:
            Recurse(0);
            break;
        default:
            break;
    }
}

// ---- operations ---------------------------------------------------------

typedef int32_t(__cdecl* Slot2)(uint32_t, uint32_t, uint32_t);
typedef int32_t(__cdecl* Slot4)(uint32_t, uint32_t, uint32_t, uint32_t);

void ReadObject(const char* name) {
    const orlix::CallbackSlot* table;
    {
        std::lock_guard<std::mutex> hold(Lock());
        table = S().table;
    }
    if (!table) return;
    Slot2 open = reinterpret_cast<Slot2>(table[orlix::SlotOpenFile].procedure);
    Slot4 read = reinterpret_cast<Slot4>(table[orlix::SlotReadFile].procedure);
    Slot2 close = reinterpret_cast<Slot2>(table[orlix::SlotCloseFile].procedure);
    int32_t handle = open(TE_IGNORED_ARGUMENT, reinterpret_cast<uintptr_t>(name), 0);
    std::string data;
    int32_t result = -1;
    if (handle != -1) {
        result = 0;
        char chunk[kReadChunk];
        while (data.size() < kMaxObjectRead) {
            int32_t got = read(TE_IGNORED_ARGUMENT, static_cast<uint32_t>(handle), reinterpret_cast<uintptr_t>(chunk),
                               kReadChunk);
            if (got <= 0) {
                if (got < 0) result = -1;
                break;
            }
            data.append(chunk, static_cast<size_t>(got));
        }
        reinterpret_cast<int32_t(__cdecl*)(uint32_t, uint32_t)>(close)(TE_IGNORED_ARGUMENT,
                                                                       static_cast<uint32_t>(handle));
        if (result == 0) result = static_cast<int32_t>(data.size());
    }
    std::lock_guard<std::mutex> hold(Lock());
    S().lastRead = data;
    S().lastReadResult = result;
    S().lastOpenHandle = handle;
}

const std::string* Lookup(const std::map<std::string, std::string>& map, const std::string& key) {
    auto it = map.find(key);
    if (it == map.end()) it = map.find("*");
    return it == map.end() ? nullptr : &it->second;
}

int32_t ScanFile(int32_t reserved, const uint32_t* args) {
    const char* name = reinterpret_cast<const char*>(static_cast<uintptr_t>(args[2]));
    std::string object = name ? name : "";
    int index, fault;
    bool read;
    {
        std::lock_guard<std::mutex> hold(Lock());
        index = Record(S(), orlix::EngineScanFile, reserved, args, object.c_str());
        fault = FaultKind(S(), orlix::EngineScanFile, object);
        read = S().readObject;
    }
    RaiseFault(fault);
    if (read) ReadObject(name);
    std::lock_guard<std::mutex> hold(Lock());
    State& s = S();
    int32_t mode = static_cast<int32_t>(args[0]);
    int32_t answer = 0;
    if (s.random) {
        answer = RandomAnswer(s);
    } else {
        ScanKey key(object, mode);
        if (!s.scanQueues.count(key) && !s.scanFallbacks.count(key)) key.first = "*";
        auto queue = s.scanQueues.find(key);
        auto fallback = s.scanFallbacks.find(key);
        if (queue != s.scanQueues.end() && !queue->second.empty()) {
            answer = queue->second.front();
            queue->second.pop_front();
        } else if (fallback != s.scanFallbacks.end()) {
            answer = fallback->second;
        }
    }
    s.current = object;
    if (answer != -1 && (answer & orlix::ResultArchive)) s.pending = object;
    SetResult(s, index, answer);
    return answer;
}

int32_t LoadBase(int32_t reserved, const uint32_t* args) {
    const char* path = reinterpret_cast<const char*>(static_cast<uintptr_t>(args[0]));
    std::string full = path ? path : "";
    size_t slash = full.find_last_of("\\/");
    std::string file = slash == std::string::npos ? full : full.substr(slash + 1);
    int index, fault;
    {
        std::lock_guard<std::mutex> hold(Lock());
        index = Record(S(), orlix::EngineLoadBase, reserved, args, full.c_str());
        fault = FaultKind(S(), orlix::EngineLoadBase, file);
    }
    RaiseFault(fault);
    std::lock_guard<std::mutex> hold(Lock());
    auto it = S().baseRecords.find(file);
    int32_t records = it == S().baseRecords.end() ? S().defaultBaseRecords : it->second;
    SetResult(S(), index, records);
    return records;
}

int32_t Simple(int32_t op, int32_t reserved, const uint32_t* args) {
    int index, fault;
    {
        std::lock_guard<std::mutex> hold(Lock());
        index = Record(S(), op, reserved, args, nullptr);
        fault = FaultKind(S(), op, std::string());
    }
    RaiseFault(fault);
    std::lock_guard<std::mutex> hold(Lock());
    State& s = S();
    int32_t answer = 0;
    char* buffer = reinterpret_cast<char*>(static_cast<uintptr_t>(args[0]));
    switch (op) {
        case orlix::EngineGetVersion:
            answer = s.version;
            break;
        case orlix::EngineLastVirusName: {
            if (s.random) {
                FillRandom(s, buffer, orlix::kVirusNameBufferSize);
                break;
            }
            const std::string* name = Lookup(s.virusNames, s.current);
            std::string bytes = name ? *name : std::string(1, '\0');
            memcpy(buffer, bytes.data(), bytes.size());
            break;
        }
        case orlix::EngineLastArchiverName: {
            if (s.random) {
                FillRandom(s, buffer, orlix::kArchiverNameBufferSize);
                answer = RandomAnswer(s);
                break;
            }
            auto it = s.archiverNames.find(s.current);
            if (it == s.archiverNames.end()) it = s.archiverNames.find("*");
            Answer a = it == s.archiverNames.end() ? Answer{std::string("ZIP", 4), 0} : it->second;
            memcpy(buffer, a.bytes.data(), a.bytes.size());
            answer = a.result;
            break;
        }
        case orlix::EngineOpenArchive: {
            auto it = s.archives.find(s.pending);
            answer = s.random ? RandomAnswer(s) : (it == s.archives.end() ? 0 : it->second.open);
            if (answer == 0) {
                Level level;
                level.key = s.pending;
                s.levels.push_back(level);
            }
            s.pending.clear();
            break;
        }
        case orlix::EngineGetNextFileHeader: {
            if (s.random) {
                FillRandom(s, buffer, orlix::kArchiveHeaderSize);
                answer = RandomAnswer(s);
                break;
            }
            if (s.levels.empty()) {
                answer = -1;
                break;
            }
            Level& level = s.levels.back();
            Archive& archive = s.archives[level.key];
            if (level.next >= archive.members.size() && (archive.flags & TE_ARCHIVE_ENDLESS)) level.next = 0;
            if (level.next >= archive.members.size()) {
                level.current = -1;
                answer = orlix::ResultNoMoreMembers;
                break;
            }
            level.current = static_cast<int>(level.next++);
            const Member& m = archive.members[static_cast<size_t>(level.current)];
            answer = m.header;
            if (answer == 0) {
                memcpy(buffer + orlix::kMemberNameOffset, m.name.data(), m.name.size());
                if (index >= 0) lstrcpynA(s.records[index].text, m.name.c_str(), TE_RECORD_TEXT);
            }
            break;
        }
        case orlix::EngineExtractNextFile: {
            if (s.random) {
                answer = RandomAnswer(s);
                break;
            }
            if (s.levels.empty() || s.levels.back().current < 0) {
                answer = -1;
                break;
            }
            const Member& m = s.archives[s.levels.back().key].members[static_cast<size_t>(s.levels.back().current)];
            answer = m.extract;
            s.current = m.key;
            if (answer != -1 && (answer & orlix::ResultArchive)) s.pending = m.key;
            break;
        }
        case orlix::EngineCloseArchive:
            if (!s.levels.empty()) s.levels.pop_back();
            break;
        default:
            break;
    }
    SetResult(s, index, answer);
    return answer;
}

extern "C" int32_t __cdecl EngineEntry(int32_t reserved, int32_t op, ...) {
    uint32_t args[4] = {};
    int count = 0;
    switch (op) {
        case orlix::EngineLoadBase:
        case orlix::EngineLastVirusName:
        case orlix::EngineLastArchiverName:
        case orlix::EngineOpenArchive:
        case orlix::EngineCloseArchive:
            count = 1;
            break;
        case orlix::EngineGetNextFileHeader:
        case orlix::EngineExtractNextFile:
            count = 2;
            break;
        case orlix::EngineScanFile:
            count = 4;
            break;
        default:
            break;
    }
    va_list list;
    va_start(list, op);
    for (int i = 0; i < count; ++i) args[i] = va_arg(list, uint32_t);
    va_end(list);
    switch (op) {
        case orlix::EngineScanFile:
            return ScanFile(reserved, args);
        case orlix::EngineLoadBase:
            return LoadBase(reserved, args);
        default:
            return Simple(op, reserved, args);
    }
}

}  // namespace

extern "C" {

void* __cdecl ORLIX_InitDll(const void* callbacks, int32_t count, const void* versionRecord, int32_t reserved) {
    uint32_t args[4] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(callbacks)), static_cast<uint32_t>(count),
                        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(versionRecord)),
                        static_cast<uint32_t>(reserved)};
    int index, fault;
    {
        std::lock_guard<std::mutex> hold(Lock());
        index = Record(S(), TE_OP_INIT, 0, args, nullptr);
        fault = FaultKind(S(), TE_OP_INIT, std::string());
    }
    RaiseFault(fault);
    std::lock_guard<std::mutex> hold(Lock());
    State& s = S();
    s.initCalled = true;
    s.table = static_cast<const orlix::CallbackSlot*>(callbacks);
    s.tableCount = count;
    if (versionRecord) memcpy(s.versionWords, versionRecord, sizeof s.versionWords);
    s.initReserved = reserved;
    void* entry = s.refuseInit ? nullptr : reinterpret_cast<void*>(&EngineEntry);
    SetResult(s, index, static_cast<int32_t>(reinterpret_cast<uintptr_t>(entry)));
    return entry;
}

void __cdecl TE_Reset() {
    std::lock_guard<std::mutex> hold(Lock());
    const orlix::CallbackSlot* table = S().table;
    int32_t count = S().tableCount;
    S() = State();
    // The plug-in handed its table once; it stays valid for the engine.
    S().table = table;
    S().tableCount = count;
}

void __cdecl TE_SetVersion(int32_t version) {
    std::lock_guard<std::mutex> hold(Lock());
    S().version = version;
}

void __cdecl TE_SetInitRefuses(int32_t refuse) {
    std::lock_guard<std::mutex> hold(Lock());
    S().refuseInit = refuse != 0;
}

void __cdecl TE_SetBaseRecords(const char* baseFileName, int32_t records) {
    std::lock_guard<std::mutex> hold(Lock());
    S().baseRecords[Key(baseFileName)] = records;
}

void __cdecl TE_SetDefaultBaseRecords(int32_t records) {
    std::lock_guard<std::mutex> hold(Lock());
    S().defaultBaseRecords = records;
}

void __cdecl TE_QueueScan(const char* key, int32_t mode, int32_t answer) {
    std::lock_guard<std::mutex> hold(Lock());
    S().scanQueues[ScanKey(Key(key), mode)].push_back(answer);
}

void __cdecl TE_SetScanFallback(const char* key, int32_t mode, int32_t answer) {
    std::lock_guard<std::mutex> hold(Lock());
    S().scanFallbacks[ScanKey(Key(key), mode)] = answer;
}

void __cdecl TE_SetReadObject(int32_t enable) {
    std::lock_guard<std::mutex> hold(Lock());
    S().readObject = enable != 0;
}

int32_t __cdecl TE_LastObjectRead(void* buffer, int32_t size, int32_t* openHandle) {
    std::lock_guard<std::mutex> hold(Lock());
    State& s = S();
    if (openHandle) *openHandle = s.lastOpenHandle;
    if (buffer && size > 0) {
        size_t n = s.lastRead.size() < static_cast<size_t>(size) ? s.lastRead.size() : static_cast<size_t>(size);
        memcpy(buffer, s.lastRead.data(), n);
    }
    return s.lastReadResult;
}

void __cdecl TE_SetVirusName(const char* key, const void* bytes, int32_t length) {
    std::lock_guard<std::mutex> hold(Lock());
    S().virusNames[Key(key)] = Text(bytes, length, orlix::kVirusNameBufferSize);
}

void __cdecl TE_SetArchiverName(const char* key, const void* bytes, int32_t length, int32_t answer) {
    std::lock_guard<std::mutex> hold(Lock());
    S().archiverNames[Key(key)] = Answer{Text(bytes, length, orlix::kArchiverNameBufferSize), answer};
}

void __cdecl TE_DefineArchive(const char* key, int32_t openAnswer, int32_t flags) {
    std::lock_guard<std::mutex> hold(Lock());
    Archive& a = S().archives[Key(key)];
    a.open = openAnswer;
    a.flags = flags;
    a.members.clear();
}

void __cdecl TE_AddMember(const char* archiveKey, const void* nameBytes, int32_t nameLength, int32_t headerAnswer,
                          int32_t extractAnswer, const char* memberKey) {
    std::lock_guard<std::mutex> hold(Lock());
    Member m;
    m.name = Text(nameBytes, nameLength, kHeaderNameRoom);
    m.header = headerAnswer;
    m.extract = extractAnswer;
    m.key = memberKey ? std::string(memberKey) : std::string(m.name.c_str());
    S().archives[Key(archiveKey)].members.push_back(m);
}

void __cdecl TE_SetFault(int32_t op, int32_t kind, const char* name) {
    std::lock_guard<std::mutex> hold(Lock());
    if (kind == TE_FAULT_NONE) {
        S().faults.erase(op);
        return;
    }
    Fault f;
    f.kind = kind;
    f.anyName = name == nullptr;
    f.name = Key(name);
    S().faults[op] = f;
}

void __cdecl TE_SetRandom(uint32_t seed) {
    std::lock_guard<std::mutex> hold(Lock());
    S().random = seed;
}

void __cdecl TE_SetRecording(int32_t enable) {
    std::lock_guard<std::mutex> hold(Lock());
    S().recording = enable != 0;
}

int32_t __cdecl TE_RecordCount() {
    std::lock_guard<std::mutex> hold(Lock());
    return static_cast<int32_t>(S().records.size());
}

int32_t __cdecl TE_GetRecord(int32_t index, TE_Record* record) {
    std::lock_guard<std::mutex> hold(Lock());
    if (index < 0 || static_cast<size_t>(index) >= S().records.size() || !record) return 0;
    *record = S().records[static_cast<size_t>(index)];
    return 1;
}

int32_t __cdecl TE_InitArguments(uint32_t* table, int32_t* count, int32_t* versionWords, int32_t* reserved) {
    std::lock_guard<std::mutex> hold(Lock());
    State& s = S();
    if (table) *table = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(s.table));
    if (count) *count = s.tableCount;
    if (versionWords) memcpy(versionWords, s.versionWords, sizeof s.versionWords);
    if (reserved) *reserved = s.initReserved;
    return s.initCalled ? 1 : 0;
}

int32_t __cdecl TE_Slot(int32_t slot, uint32_t* procedure, int32_t* count) {
    std::lock_guard<std::mutex> hold(Lock());
    const orlix::CallbackSlot* table = S().table;
    if (!table || slot < 0 || slot >= S().tableCount) return 0;
    if (procedure) *procedure = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(table[slot].procedure));
    if (count) *count = table[slot].argumentCount;
    return 1;
}

int32_t __cdecl TE_CallSlot(int32_t slot, int32_t argc, const uint32_t* args) {
    void* procedure;
    {
        std::lock_guard<std::mutex> hold(Lock());
        const orlix::CallbackSlot* table = S().table;
        if (!table || slot < 0 || slot >= S().tableCount) return -1;
        procedure = table[slot].procedure;
    }
    if (!procedure || argc < 0 || argc > 6) return -1;
    const uint32_t g = TE_IGNORED_ARGUMENT;
    uint32_t a[6] = {};
    for (int i = 0; i < argc; ++i) a[i] = args[i];
    // The engine pushes exactly the counted arguments after the ignored one.
    typedef int32_t(__cdecl * P0)(uint32_t);
    typedef int32_t(__cdecl * P1)(uint32_t, uint32_t);
    typedef int32_t(__cdecl * P2)(uint32_t, uint32_t, uint32_t);
    typedef int32_t(__cdecl * P3)(uint32_t, uint32_t, uint32_t, uint32_t);
    typedef int32_t(__cdecl * P4)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
    typedef int32_t(__cdecl * P5)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
    typedef int32_t(__cdecl * P6)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
    switch (argc) {
        case 0:
            return reinterpret_cast<P0>(procedure)(g);
        case 1:
            return reinterpret_cast<P1>(procedure)(g, a[0]);
        case 2:
            return reinterpret_cast<P2>(procedure)(g, a[0], a[1]);
        case 3:
            return reinterpret_cast<P3>(procedure)(g, a[0], a[1], a[2]);
        case 4:
            return reinterpret_cast<P4>(procedure)(g, a[0], a[1], a[2], a[3]);
        case 5:
            return reinterpret_cast<P5>(procedure)(g, a[0], a[1], a[2], a[3], a[4]);
        default:
            return reinterpret_cast<P6>(procedure)(g, a[0], a[1], a[2], a[3], a[4], a[5]);
    }
}

}  // extern "C"
