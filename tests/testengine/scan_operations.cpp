// The operations on bases and single objects: load a base, check an object
// (optionally reading it through the callbacks), and the name queries.
#include <cstring>

#include "operations.h"

namespace te {
namespace {

constexpr int32_t kReadChunk = 4096;
constexpr size_t kMaxObjectRead = 16u << 20;

typedef int32_t(__cdecl* Slot2)(uint32_t, uint32_t, uint32_t);
typedef int32_t(__cdecl* Slot3)(uint32_t, uint32_t, uint32_t, uint32_t);

// Opens, reads whole and closes the object as an engine does; done outside
// the lock since the plug-in's callbacks run.
void ReadObject(const char* name) {
    const orlix::CallbackSlot* table;
    {
        std::lock_guard<std::mutex> hold(Lock());
        table = S().binding.table;
    }
    if (!table) return;
    auto open = reinterpret_cast<Slot2>(table[orlix::SlotOpenFile].procedure);
    auto read = reinterpret_cast<Slot3>(table[orlix::SlotReadFile].procedure);
    auto close = reinterpret_cast<int32_t(__cdecl*)(uint32_t, uint32_t)>(table[orlix::SlotCloseFile].procedure);
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
        close(TE_IGNORED_ARGUMENT, static_cast<uint32_t>(handle));
        if (result == 0) result = static_cast<int32_t>(data.size());
    }
    std::lock_guard<std::mutex> hold(Lock());
    Journal& j = S().journal;
    j.lastRead = data;
    j.lastReadResult = result;
    j.lastOpenHandle = handle;
}

int32_t ScriptedScan(Script& s, const std::string& object, int32_t mode) {
    ScanKey key(object, mode);
    if (!s.scanQueues.count(key) && !s.scanFallbacks.count(key)) key.first = "*";
    auto queue = s.scanQueues.find(key);
    if (queue != s.scanQueues.end() && !queue->second.empty()) {
        int32_t answer = queue->second.front();
        queue->second.pop_front();
        return answer;
    }
    auto fallback = s.scanFallbacks.find(key);
    return fallback != s.scanFallbacks.end() ? fallback->second : 0;
}

}  // namespace

int32_t ScanFile(int32_t reserved, const uint32_t* args) {
    const char* name = reinterpret_cast<const char*>(static_cast<uintptr_t>(args[2]));
    const std::string object = name ? name : "";
    const int index = Enter(orlix::EngineScanFile, reserved, args, name, object);
    bool read;
    {
        std::lock_guard<std::mutex> hold(Lock());
        read = S().script.readObject;
    }
    if (read) ReadObject(name);
    std::lock_guard<std::mutex> hold(Lock());
    State& s = S();
    const int32_t answer =
        s.script.random ? RandomAnswer(s.script) : ScriptedScan(s.script, object, static_cast<int32_t>(args[0]));
    s.walk.current = object;
    if (answer != -1 && (answer & orlix::ResultArchive)) s.walk.pending = object;
    SetResult(s, index, answer);
    return answer;
}

int32_t LoadBase(int32_t reserved, const uint32_t* args) {
    const char* path = reinterpret_cast<const char*>(static_cast<uintptr_t>(args[0]));
    const std::string full = path ? path : "";
    const size_t slash = full.find_last_of("\\/");
    const std::string file = slash == std::string::npos ? full : full.substr(slash + 1);
    const int index = Enter(orlix::EngineLoadBase, reserved, args, path, file);
    std::lock_guard<std::mutex> hold(Lock());
    Script& s = S().script;
    auto it = s.baseRecords.find(file);
    const int32_t records = it == s.baseRecords.end() ? s.defaultBaseRecords : it->second;
    SetResult(S(), index, records);
    return records;
}

int32_t GetVersion(State& s, char*, int) { return s.script.version; }

int32_t LastVirusName(State& s, char* buffer, int) {
    if (s.script.random) {
        FillRandom(s.script, buffer, orlix::kVirusNameBufferSize);
        return 0;
    }
    auto it = s.script.virusNames.find(s.walk.current);
    if (it == s.script.virusNames.end()) it = s.script.virusNames.find("*");
    const std::string bytes = it == s.script.virusNames.end() ? std::string(1, '\0') : it->second;
    memcpy(buffer, bytes.data(), bytes.size());
    return 0;
}

int32_t LastArchiverName(State& s, char* buffer, int) {
    if (s.script.random) {
        FillRandom(s.script, buffer, orlix::kArchiverNameBufferSize);
        return RandomAnswer(s.script);
    }
    auto it = s.script.archiverNames.find(s.walk.current);
    if (it == s.script.archiverNames.end()) it = s.script.archiverNames.find("*");
    const NameAnswer a = it == s.script.archiverNames.end() ? NameAnswer{std::string("ZIP", 4), 0} : it->second;
    memcpy(buffer, a.bytes.data(), a.bytes.size());
    return a.result;
}

}  // namespace te
