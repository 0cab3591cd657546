// The test engine's state, by concern: what the test scripted, where the
// plug-in is in the archives it walks, what was recorded, and the callback
// table the plug-in handed over. One lock guards it all.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "orlix/contract.h"
#include "test_engine_api.h"

namespace te {

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

struct Fault {
    int32_t kind = TE_FAULT_NONE;
    bool anyName = true;
    std::string name;
};

struct Hook {
    TE_HookProc procedure = nullptr;
    void* context = nullptr;
};

struct NameAnswer {
    std::string bytes;
    int32_t result = 0;
};

typedef std::pair<std::string, int32_t> ScanKey;  // object key, scan mode

struct Script {
    int32_t version = 431;
    bool refuseInit = false;
    int32_t defaultBaseRecords = 1;
    std::map<std::string, int32_t> baseRecords;
    std::map<ScanKey, std::deque<int32_t>> scanQueues;
    std::map<ScanKey, int32_t> scanFallbacks;
    std::map<std::string, std::string> virusNames;
    std::map<std::string, NameAnswer> archiverNames;
    std::map<std::string, Archive> archives;
    std::map<int32_t, Fault> faults;
    std::map<int32_t, Hook> hooks;
    bool readObject = false;
    uint32_t random = 0;  // xorshift state; 0: scripted answers
};

struct Level {
    std::string key;
    size_t next = 0;
    int current = -1;
};

// The object the name queries answer for and the archive levels open.
struct Walk {
    std::string current;
    std::string pending;
    std::vector<Level> levels;
};

struct Journal {
    bool recording = true;
    std::vector<TE_Record> records;
    std::string lastRead;
    int32_t lastReadResult = -1;
    int32_t lastOpenHandle = 0;
};

struct Binding {
    const orlix::CallbackSlot* table = nullptr;
    int32_t tableCount = 0;
    int32_t versionWords[3] = {};
    int32_t initReserved = 0;
    bool initCalled = false;
};

struct State {
    Script script;
    Walk walk;
    Journal journal;
    Binding binding;
};

std::mutex& Lock();
State& S();

// Bytes of a scripted text: length -1 is the zero-terminated text with its
// terminator; at most room bytes.
std::string Text(const void* bytes, int32_t length, int32_t room);
inline std::string Key(const char* key) { return key ? std::string(key) : std::string(); }

// Records the operation, then runs the test's hook and the scripted fault
// outside the lock: the hook may call back into the plug-in and a fault
// never returns. Answers the record's index (-1 when not kept).
int Enter(int32_t op, int32_t reserved, const uint32_t* args, const char* text, const std::string& faultName);
void SetResult(State& s, int index, int32_t result);

// Pseudo-random answers and bytes while the script asks for them.
int32_t RandomAnswer(Script& s);
void FillRandom(Script& s, void* buffer, size_t size);

// The engine's entry procedure handed out by ORLIX_InitDll.
int32_t __cdecl EngineEntry(int32_t reserved, int32_t op, ...);

}  // namespace te
