// Scripting interface of the test engine, a stand-in orlix32.dll used only by
// the tests. A test loads the engine module itself (LoadLibraryA of its copy),
// binds this interface with TestEngineApi::Bind, scripts the answers, lets the
// plug-in bind the same module, and reads back what the plug-in asked.
//
// Every function is exported undecorated with the C calling convention.
//
// Keys. Answers are scripted per "object key": the object name handed to
// EngineScanFile (a file path or a memory-object name), or the key a test
// gives an archive member. After EngineScanFile the current object is the
// scanned name; after EngineExtractNextFile it is the extracted member's key.
// EngineLastVirusName and EngineLastArchiverName answer for the current
// object. The key "*" answers for every object without a script of its own.
//
// Scans. TE_QueueScan appends one answer to the queue of (key, mode); each
// EngineScanFile takes the next one. An empty queue answers the fallback of
// TE_SetScanFallback, else 0 (clean).
//
// Archives. An answer with bit 0x1000 (from a scan or an extract) makes that
// object the pending archive; the next EngineOpenArchive opens it with the
// open answer of TE_DefineArchive (an archive never defined opens with 0 and
// has no members). Only an open answer of 0 pushes the archive on the stack
// of open levels; EngineGetNextFileHeader and EngineExtractNextFile act on
// the innermost level, EngineCloseArchive pops it. Each header call takes the
// next member: its header answer is returned and, when it is 0, its name
// bytes are written at byte 8 of the header (up to 1024 bytes, so a name may
// fill the header without a terminator). Past the last member the answer is
// 0x8000, unless the archive was defined with TE_ARCHIVE_ENDLESS, whose
// members repeat forever. The extract answer of the member whose header was
// fetched last is returned by EngineExtractNextFile.
//
// Faults. TE_SetFault makes an operation fault for real (access violation,
// integer division by zero or stack overflow) each time it runs, optionally
// only for one object name (EngineScanFile) or base file name
// (EngineLoadBase). TE_OP_INIT names ORLIX_InitDll.
//
// Hooks. TE_SetHook makes an operation call a procedure of the test first
// (after the operation is recorded, before its fault or answer), with the
// operation code and its text argument (base path or object name; null for
// the others): a test can act in the middle of an operation, for example
// delete a base file while it loads or use the callbacks during a check.
//
// Callbacks. TE_CallSlot calls a slot of the table handed to ORLIX_InitDll
// exactly as an engine does: C convention, an ignored first argument
// (TE_IGNORED_ARGUMENT), then the counted arguments.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "orlix/contract.h"

#define TE_OP_INIT (-2)

#define TE_FAULT_NONE 0
#define TE_FAULT_ACCESS_VIOLATION 1
#define TE_FAULT_DIVIDE_BY_ZERO 2
#define TE_FAULT_STACK_OVERFLOW 3

#define TE_ARCHIVE_ENDLESS 1

#define TE_IGNORED_ARGUMENT 0x5A5A5A5Au

// The result kept for an operation that faulted (it never answered).
#define TE_RESULT_FAULTED (static_cast<int32_t>(0xDEADBEEF))

// Longest text kept per record, terminator included.
#define TE_RECORD_TEXT 1040

// One operation the engine received.
struct TE_Record {
    int32_t op;                 // operation code, or TE_OP_INIT
    int32_t reserved;           // the first argument of EngineEntry (always 0 from the plug-in)
    uint32_t args[4];           // further integer arguments in order; pointers as addresses
    int32_t result;             // what the engine answered
    char text[TE_RECORD_TEXT];  // base path or object name passed in; for a
                                // header call, the member name written (if any)
};

extern "C" {
// Forgets every script and record; version 431, init accepts, records on.
typedef void(__cdecl* TE_ResetProc)();
// EngineGetVersion answers this (major * 100 + minor).
typedef void(__cdecl* TE_SetVersionProc)(int32_t version);
// Non-zero: ORLIX_InitDll answers 0.
typedef void(__cdecl* TE_SetInitRefusesProc)(int32_t refuse);
// EngineLoadBase of a base with this file name (no folder) answers records;
// a base without a script answers the default (initially 1).
typedef void(__cdecl* TE_SetBaseRecordsProc)(const char* baseFileName, int32_t records);
typedef void(__cdecl* TE_SetDefaultBaseRecordsProc)(int32_t records);
typedef void(__cdecl* TE_QueueScanProc)(const char* key, int32_t mode, int32_t answer);
typedef void(__cdecl* TE_SetScanFallbackProc)(const char* key, int32_t mode, int32_t answer);
// While on, every EngineScanFile first opens its object through the open
// callback (mode 0), reads it all in 4096-byte reads (at most 16 MB), and
// closes it; TE_LastObjectRead gives what it saw.
typedef void(__cdecl* TE_SetReadObjectProc)(int32_t enable);
// Copies up to size bytes read from the last object into buffer; answers
// the number of bytes read (-1 when the open failed). *openHandle receives
// the open callback's answer.
typedef int32_t(__cdecl* TE_LastObjectReadProc)(void* buffer, int32_t size, int32_t* openHandle);
// Bytes written into the 260-byte buffer of EngineLastVirusName for this key;
// length -1 means the zero-terminated text with its terminator. Up to 260.
typedef void(__cdecl* TE_SetVirusNameProc)(const char* key, const void* bytes, int32_t length);
// Bytes written into the 21-byte buffer of EngineLastArchiverName (length as
// above, up to 21) and the answer. Without a script: "ZIP", answer 0.
typedef void(__cdecl* TE_SetArchiverNameProc)(const char* key, const void* bytes, int32_t length, int32_t answer);
typedef void(__cdecl* TE_DefineArchiveProc)(const char* key, int32_t openAnswer, int32_t flags);
// nameLength -1: zero-terminated name with its terminator. memberKey null:
// the name is the key.
typedef void(__cdecl* TE_AddMemberProc)(const char* archiveKey, const void* nameBytes, int32_t nameLength,
                                        int32_t headerAnswer, int32_t extractAnswer, const char* memberKey);
// kind TE_FAULT_*; name null: any object.
typedef void(__cdecl* TE_SetFaultProc)(int32_t op, int32_t kind, const char* name);
typedef void(__cdecl* TE_HookProc)(int32_t op, const char* text, void* context);
// hook null: none for that operation.
typedef void(__cdecl* TE_SetHookProc)(int32_t op, TE_HookProc hook, void* context);
// Non-zero seed: every scan and archive operation answers pseudo-random
// values and fills whole buffers with random bytes; 0 turns it off.
typedef void(__cdecl* TE_SetRandomProc)(uint32_t seed);
typedef void(__cdecl* TE_SetRecordingProc)(int32_t enable);
typedef int32_t(__cdecl* TE_RecordCountProc)();
typedef int32_t(__cdecl* TE_GetRecordProc)(int32_t index, TE_Record* record);
// ORLIX_InitDll's arguments of the last call: table, count, the three version
// words, the fourth argument. 0 when never called.
typedef int32_t(__cdecl* TE_InitArgumentsProc)(uint32_t* table, int32_t* count, int32_t* versionWords,
                                               int32_t* reserved);
// Procedure address and argument count of a slot of the table received.
typedef int32_t(__cdecl* TE_SlotProc)(int32_t slot, uint32_t* procedure, int32_t* count);
// Calls a slot with argc (0 to 6) arguments after the ignored first one.
typedef int32_t(__cdecl* TE_CallSlotProc)(int32_t slot, int32_t argc, const uint32_t* args);
}

// Every TE_* export, for declaring and binding them alike.
// clang-format off
#define TE_EXPORTS(X)                                                                                   \
    X(Reset) X(SetVersion) X(SetInitRefuses) X(SetBaseRecords) X(SetDefaultBaseRecords) X(QueueScan)    \
    X(SetScanFallback) X(SetReadObject) X(LastObjectRead) X(SetVirusName) X(SetArchiverName)            \
    X(DefineArchive) X(AddMember) X(SetFault) X(SetHook) X(SetRandom) X(SetRecording) X(RecordCount)    \
    X(GetRecord) X(InitArguments) X(Slot) X(CallSlot)
// clang-format on

struct TestEngineApi {
    HMODULE module = nullptr;
#define TE_MEMBER(name) TE_##name##Proc name = nullptr;
    TE_EXPORTS(TE_MEMBER)
#undef TE_MEMBER

    // Binds every export of an already loaded test engine; false when one is missing.
    bool Bind(HMODULE engine) {
        module = engine;
        bool ok = engine != nullptr;
#define TE_BIND(name) ok &= Get("TE_" #name, name);
        TE_EXPORTS(TE_BIND)
#undef TE_BIND
        return ok;
    }

    // Convenience forms of the scripting calls.
    void VirusName(const std::string& key, const std::string& name) { SetVirusName(key.c_str(), name.c_str(), -1); }
    void Member(const std::string& archive, const std::string& name, int32_t headerAnswer, int32_t extractAnswer,
                const char* memberKey = nullptr) {
        AddMember(archive.c_str(), name.c_str(), -1, headerAnswer, extractAnswer, memberKey);
    }
    uint32_t Call(int32_t slot, std::vector<uint32_t> args = {}) {
        return static_cast<uint32_t>(CallSlot(slot, static_cast<int32_t>(args.size()), args.data()));
    }

    std::vector<TE_Record> Records() const {
        std::vector<TE_Record> all(static_cast<size_t>(RecordCount()));
        for (size_t i = 0; i < all.size(); ++i) GetRecord(static_cast<int32_t>(i), &all[i]);
        return all;
    }

    // The operations received, one readable line each, for example
    // "ScanFile 0 1 C:\x\a.txt 0", "GetNextFileHeader 512", "LoadBase C:\b\a.vdb".
    std::vector<std::string> Operations() const {
        std::vector<std::string> lines;
        for (const TE_Record& r : Records()) lines.push_back(Describe(r));
        return lines;
    }

    // How many operations from record index `from` on start with prefix.
    int CountOperations(const std::string& prefix, size_t from = 0) const {
        const std::vector<std::string> lines = Operations();
        int n = 0;
        for (size_t i = from; i < lines.size(); ++i) n += lines[i].compare(0, prefix.size(), prefix) == 0;
        return n;
    }

    static std::string Describe(const TE_Record& r) {
        auto n = [](uint32_t v) { return " " + std::to_string(static_cast<int32_t>(v)); };
        switch (r.op) {
            case TE_OP_INIT:
                return "Init" + n(r.args[1]) + n(r.args[3]);
            case orlix::EngineLoadBase:
                return std::string("LoadBase ") + r.text;
            case orlix::EngineScanFile:
                return "ScanFile" + n(r.args[0]) + n(r.args[1]) + " " + r.text + n(r.args[3]);
            case orlix::EngineOpenArchive:
                return "OpenArchive" + n(r.args[0]);
            case orlix::EngineGetNextFileHeader:
                return "GetNextFileHeader" + n(r.args[1]);
            case orlix::EngineExtractNextFile:
                return "ExtractNextFile" + n(r.args[1]);
        }
        // The others by the contract's name without its "Engine".
        if (const orlix::OperationInfo* info = orlix::FindOperation(r.op)) return info->name + 6;
        return "Op" + std::to_string(r.op);
    }

private:
    template <typename T>
    bool Get(const char* name, T& target) {
        target = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        return target != nullptr;
    }
};
