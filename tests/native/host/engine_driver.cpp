#include "engine_driver.h"

#include <cstdio>

#include "native_host.h"
#include "reference_engine.h"

namespace nativehost {

orlix::EngineEntryProc BindEngine() {
    return reinterpret_cast<orlix::EngineEntryProc>(
        ORLIX_InitDll(Table(), orlix::kCallbackSlotCount, &orlix::kPluginVersionRecord, 0));
}

refengine::Database& BoundDatabase() { return engineboundary::Door<refengine::ReferenceEngine>::Bound()->database(); }

std::string Hex(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

std::string VirusName(orlix::EngineEntryProc entry) {
    char name[orlix::kVirusNameBufferSize] = {};
    entry(0, orlix::EngineLastVirusName, name);
    return name;
}

std::string ArchiverName(orlix::EngineEntryProc entry, int32_t* answer) {
    char name[orlix::kArchiverNameBufferSize] = {};
    int32_t result = entry(0, orlix::EngineLastArchiverName, name);
    if (answer) *answer = result;
    return name;
}

namespace {

// The entry point's operations as an engine object, so one walk serves both.
class EntryEngine : public engineboundary::Engine {
public:
    explicit EntryEngine(orlix::EngineEntryProc entry) : entry_(entry) {}
    bool Bind(const orlix::CallbackSlot*, int32_t) override { return false; }
    int32_t LoadBase(const char* path) override { return entry_(0, orlix::EngineLoadBase, path); }
    int32_t ScanFile(int32_t mode, const char* name) override {
        return entry_(0, orlix::EngineScanFile, mode, 1, name, 0);
    }
    void LastVirusName(char* buffer) override { entry_(0, orlix::EngineLastVirusName, buffer); }
    int32_t LastArchiverName(char* buffer) override { return entry_(0, orlix::EngineLastArchiverName, buffer); }
    int32_t OpenArchive() override { return entry_(0, orlix::EngineOpenArchive, 1); }
    int32_t NextMemberHeader(orlix::ArchiveMemberHeader* header, int32_t room) override {
        return entry_(0, orlix::EngineGetNextFileHeader, header, room);
    }
    int32_t ExtractMember(orlix::ArchiveMemberHeader* header) override {
        return entry_(0, orlix::EngineExtractNextFile, header, 1);
    }
    void CloseArchive() override {
        orlix::ArchiveMemberHeader header = {};
        entry_(0, orlix::EngineCloseArchive, &header);
    }
    void Statistics(int32_t* records, int32_t* rejected) override { *records = *rejected = 0; }

private:
    orlix::EngineEntryProc entry_;
};

std::string EngineVirusName(engineboundary::Engine& engine) {
    char name[orlix::kVirusNameBufferSize] = {};
    engine.LastVirusName(name);
    return name;
}

}  // namespace

std::string Walk(orlix::EngineEntryProc entry) {
    EntryEngine engine(entry);
    return Walk(engine);
}

std::string Walk(engineboundary::Engine& engine) {
    char archiver[orlix::kArchiverNameBufferSize] = {};
    if (engine.LastArchiverName(archiver) == -1) return "no archiver";
    orlix::ArchiveMemberHeader header = {};
    int32_t open = engine.OpenArchive();
    std::string out;
    if (open != 0) {
        out = "open=" + Hex(open);
    } else {
        for (;;) {
            int32_t next = engine.NextMemberHeader(&header, orlix::kMemberNameMaxChars);
            if (next != -1 && (next & orlix::ResultNoMoreMembers)) {
                out += "end";
                break;
            }
            if (next != 0) {
                out += "header=" + Hex(next);
                break;
            }
            std::string name(reinterpret_cast<const char*>(header.bytes + orlix::kMemberNameOffset));
            int32_t flags = engine.ExtractMember(&header);
            out += name + "=" + Hex(flags);
            if (flags == -1) break;
            if (flags & orlix::ResultArchive)
                out += "[" + Walk(engine) + "]";
            else if (flags & orlix::kVirusFoundBits)
                out += "(" + EngineVirusName(engine) + ")";
            out += ";";
        }
    }
    engine.CloseArchive();
    return std::string(archiver) + ":" + out;
}

}  // namespace nativehost
