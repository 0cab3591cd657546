// The callback table as the engine uses it: every slot is called through the
// test engine, on real files and on memory blocks.
#include "callbacks/callbacks.h"

#include <gtest/gtest.h>

#include <cstring>

#include "callbacks/allocator.h"
#include "callbacks/descriptors.h"
#include "common/child.h"
#include "engine_in_process.h"

namespace {

constexpr uint32_t kFail = static_cast<uint32_t>(orlix::kCallbackFailure);

uint32_t U(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

std::string MemoryName(const void* block, uint32_t size, const char* format = orlix::kMemoryObjectNameFormat) {
    char name[32];
    wsprintfA(name, format, U(block), size);
    return name;
}

class Callbacks : public EngineInProcess {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(EngineInProcess::SetUp());
        objectsBefore = OpenCallbackObjects();
    }
    void TearDown() override {
        ClearCheckedMemoryBlock();
        EXPECT_EQ(objectsBefore, OpenCallbackObjects()) << "an object was left open";
        EngineInProcess::TearDown();
    }

    uint32_t Call(int slot, std::vector<uint32_t> args = {}) { return engine->Call(slot, args); }
    uint32_t Open(const std::string& name, uint32_t mode) { return Call(orlix::SlotOpenFile, {U(name.c_str()), mode}); }
    uint32_t Read(uint32_t handle, void* buffer, uint32_t count) {
        return Call(orlix::SlotReadFile, {handle, U(buffer), count});
    }
    uint32_t Write(uint32_t handle, const void* buffer, uint32_t count) {
        return Call(orlix::SlotWriteFile, {handle, U(buffer), count});
    }
    uint32_t Seek(int slot, uint32_t handle, uint32_t distance) { return Call(slot, {handle, distance}); }
    uint32_t Close(uint32_t handle) { return Call(orlix::SlotCloseFile, {handle}); }

    TempDir files;
    int32_t objectsBefore = 0;
};

// The counts after the ignored first argument, slot by slot.
const int32_t kCounts[orlix::kCallbackSlotCount] = {0, 1, 1, 1, 2, 1, 3, 3, 1, 1, 2, 2, 2, 1, 2, 2, 1, 3,
                                                    3, 1, 2, 5, 6, 6, 5, 0, 0, 1, 0, 0, 3, 3, 2, 1, 0, 4,
                                                    0, 4, 4, 2, 4, 4, 4, 4, 0, 0, 2, 1, 1, 1, 2, 0};

}  // namespace

TEST_F(Callbacks, TableHasFiftyTwoSlotsWithTheirCountsAndConstants) {
    for (int slot = 0; slot < orlix::kCallbackSlotCount; ++slot) {
        uint32_t procedure = 0;
        int32_t count = -1;
        ASSERT_EQ(1, engine->Slot(slot, &procedure, &count)) << slot;
        EXPECT_EQ(kCounts[slot], count) << "slot " << slot;
        const bool none = slot == orlix::SlotEmpty28 || slot == orlix::SlotEmpty29 || slot == orlix::SlotEmpty51;
        EXPECT_EQ(none, procedure == 0) << "slot " << slot;
    }
    std::vector<uint32_t> junk(6, 0x12345678);
    using namespace orlix;
    EXPECT_EQ(0u, engine->Call(SlotStubZero0, {}));
    EXPECT_EQ(1u, engine->Call(SlotStubOne30, {1, 2, 3}));
    EXPECT_EQ(0u, engine->Call(SlotStubZero31, {1, 2, 3}));
    EXPECT_EQ(0u, engine->Call(SlotStubZero32, {1, 2}));
    for (int slot : {SlotStubFail21, SlotStubFail22, SlotStubFail23, SlotStubFail24, SlotStubFail25, SlotStubFail26,
                     SlotStubFail33, SlotStubFail34, SlotStubFail35, SlotStubFail36, SlotStubFail37, SlotStubFail38,
                     SlotStubFail39, SlotStubFail40, SlotStubFail41, SlotStubFail42, SlotStubFail43, SlotStubFail44,
                     SlotStubFail45, SlotStubFail46, SlotStubFail47, SlotStubFail48, SlotStubFail49, SlotStubFail50}) {
        std::vector<uint32_t> args(junk.begin(), junk.begin() + kCounts[slot]);
        EXPECT_EQ(kFail, engine->Call(slot, args)) << "slot " << slot;
    }
}

TEST_F(Callbacks, MemoryObjectServesTheCheckedBlock) {
    char block[16];
    for (int i = 0; i < 16; ++i) block[i] = static_cast<char>('a' + i);
    SetCheckedMemoryBlock(U(block), 16);
    uint32_t handle = Open(MemoryName(block, 16), 0);
    ASSERT_NE(kFail, handle);
    char buffer[32] = {};
    EXPECT_EQ(16u, Read(handle, buffer, 32));
    EXPECT_EQ(0, memcmp(block, buffer, 16));
    EXPECT_EQ(0u, Read(handle, buffer, 32));
    EXPECT_EQ(16u, Call(orlix::SlotGetFileLength, {handle}));
    EXPECT_EQ(0u, Close(handle));

    // Lower-case digits and leading blanks parse to the same block.
    handle = Open(MemoryName(block, 16, "##%08x#%08x"), 0);
    EXPECT_NE(kFail, handle);
    Close(handle);
    if (U(block) < 0x10000000u) {
        handle = Open(MemoryName(block, 16, "##%8X#%08X"), 0);
        EXPECT_NE(kFail, handle);
        Close(handle);
    }
}

TEST_F(Callbacks, MemoryFormNamesOfOtherBlocksOpenAsNothing) {
    char block[16] = {};
    char other[16] = {};
    const std::string name = MemoryName(block, 16);
    EXPECT_EQ(kFail, Open(name, 0)) << "no block being checked";
    SetCheckedMemoryBlock(U(block), 16);
    EXPECT_EQ(kFail, Open(MemoryName(other, 16), 0));
    EXPECT_EQ(kFail, Open(MemoryName(block, 17), 0));
    EXPECT_EQ(kFail, Open(MemoryName(block, 15), 0));
    ClearCheckedMemoryBlock();
    EXPECT_EQ(kFail, Open(name, 0));
    // A negative size would reach far past the block.
    SetCheckedMemoryBlock(U(block), -1);
    EXPECT_EQ(kFail, Open(MemoryName(block, 0xFFFFFFFFu), 0));
}

TEST_F(Callbacks, MemoryFormNameIsNeverOpenedAsAFile) {
    CurrentFolderScratch here(files.path());
    ASSERT_TRUE(here.ok());
    const std::string name = "##00401000#00000200";
    ASSERT_TRUE(WriteFileBytes(files.File(name), "a file, not memory"));
    EXPECT_EQ(kFail, Open(name, 0));
    EXPECT_EQ(kFail, Open(name, 2));
    EXPECT_NE(kFail, Call(orlix::SlotGetFileAttributes, {U(name.c_str())}));
}

TEST_F(Callbacks, MemorySeeksStayWithinTheBlock) {
    char block[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
    SetCheckedMemoryBlock(U(block), 10);
    uint32_t h = Open(MemoryName(block, 10), 1);
    ASSERT_NE(kFail, h);
    char c = 0;
    EXPECT_EQ(10u, Seek(orlix::SlotSeekToEnd, h, 0));
    EXPECT_EQ(0u, Read(h, &c, 1));
    EXPECT_EQ(1u, Call(orlix::SlotSeekToStart, {h}));
    EXPECT_EQ(kFail, Seek(orlix::SlotSeekFromStart, h, 11));
    EXPECT_EQ(4u, Seek(orlix::SlotSeekFromStart, h, 4));
    EXPECT_EQ(1u, Read(h, &c, 1));
    EXPECT_EQ('4', c);
    EXPECT_EQ(10u, Seek(orlix::SlotSeekFromCurr, h, 5));
    EXPECT_EQ(kFail, Seek(orlix::SlotSeekFromCurr, h, 1));
    EXPECT_EQ(7u, Seek(orlix::SlotSeekFromEnd, h, 3));
    EXPECT_EQ(kFail, Seek(orlix::SlotSeekFromCurr, h, 0xFFFFFFFFu)) << "no way back from the current position";
    EXPECT_EQ(kFail, Seek(orlix::SlotSeekFromEnd, h, 11));
    EXPECT_EQ(0u, Seek(orlix::SlotSeekFromEnd, h, 10));
    EXPECT_EQ(1u, Read(h, &c, 1));
    EXPECT_EQ('0', c);
    EXPECT_EQ(0u, Close(h));
}

TEST_F(Callbacks, EmptyMemoryObjectReadsAndWritesNothing) {
    char block[4] = {'x', 'y', 'z', 'w'};
    SetCheckedMemoryBlock(U(block), 0);
    uint32_t h = Open(MemoryName(block, 0), 0);
    ASSERT_NE(kFail, h);
    char buffer[4] = {};
    EXPECT_EQ(0u, Read(h, buffer, 4));
    EXPECT_EQ(0u, Write(h, "abcd", 4));
    EXPECT_EQ('x', block[0]);
    EXPECT_EQ(kFail, Seek(orlix::SlotSeekFromStart, h, 1));
    EXPECT_EQ(0u, Call(orlix::SlotGetFileLength, {h}));
    Close(h);
}

TEST_F(Callbacks, MemoryWritesStopAtTheBlockEndWhateverTheMode) {
    char area[24];
    memset(area, '.', sizeof area);
    char* block = area + 4;  // 16 bytes with guards on both sides
    SetCheckedMemoryBlock(U(block), 16);
    uint32_t h = Open(MemoryName(block, 16), 0);
    ASSERT_NE(kFail, h);
    EXPECT_EQ(8u, Seek(orlix::SlotSeekFromStart, h, 8));
    EXPECT_EQ(8u, Write(h, "ABCDEFGHIJKLMNOPQRST", 20));
    EXPECT_EQ(std::string("....") + "........" + "ABCDEFGH" + "....", std::string(area, 24));
    EXPECT_EQ(0u, Write(h, "X", 1));
    // Memory objects have no size or time to change; date and time read as 0.
    EXPECT_EQ(kFail, Call(orlix::SlotSetFileSize, {h, 4}));
    EXPECT_EQ(0u, Call(orlix::SlotSetFileDateTime, {h, 0x3264, 0x48E2}));
    uint16_t date = 0xFFFF, time = 0xFFFF;
    EXPECT_EQ(0u, Call(orlix::SlotGetFileDateTime, {h, U(&date), U(&time)}));
    EXPECT_EQ(0, date);
    EXPECT_EQ(0, time);
    Close(h);
}

TEST_F(Callbacks, MemoryCopiesIntoBadBuffersFailWithoutMoving) {
    char block[8] = {'1', '2', '3', '4', '5', '6', '7', '8'};
    SetCheckedMemoryBlock(U(block), 8);
    uint32_t h = Open(MemoryName(block, 8), 0);
    ASSERT_NE(kFail, h);
    EXPECT_EQ(kFail, Read(h, reinterpret_cast<void*>(0x10), 4));
    EXPECT_EQ(kFail, Write(h, reinterpret_cast<void*>(0x10), 4));
    char c = 0;
    EXPECT_EQ(1u, Read(h, &c, 1));
    EXPECT_EQ('1', c);
    Close(h);
}

TEST_F(Callbacks, FilesAreCreatedReadWrittenSoughtAndSized) {
    const std::string path = files.File("data.bin");
    uint32_t h = Call(orlix::SlotCreateFile, {U(path.c_str())});
    ASSERT_NE(kFail, h);
    EXPECT_EQ(11u, Write(h, "hello world", 11));
    EXPECT_EQ(0u, Call(orlix::SlotSeekToStart, {h}));
    char buffer[16] = {};
    EXPECT_EQ(5u, Read(h, buffer, 5));
    EXPECT_STREQ("hello", buffer);
    EXPECT_EQ(6u, Seek(orlix::SlotSeekFromCurr, h, 1));
    EXPECT_EQ(4u, Seek(orlix::SlotSeekFromCurr, h, static_cast<uint32_t>(-2)));
    EXPECT_EQ(10u, Seek(orlix::SlotSeekFromEnd, h, static_cast<uint32_t>(-1)));
    EXPECT_EQ(11u, Seek(orlix::SlotSeekToEnd, h, 0));
    EXPECT_EQ(3u, Seek(orlix::SlotSeekFromStart, h, 3));
    EXPECT_EQ(11u, Call(orlix::SlotGetFileLength, {h}));
    EXPECT_EQ(0u, Call(orlix::SlotSetFileSize, {h, 5}));
    EXPECT_EQ(5u, Call(orlix::SlotGetFileLength, {h}));
    EXPECT_EQ(kFail, Seek(orlix::SlotSeekFromStart, h, static_cast<uint32_t>(-1)));
    const uint32_t closed = Close(h);
    EXPECT_NE(kFail, closed);
    EXPECT_NE(0u, closed);
    EXPECT_EQ("hello", ReadFileBytes(path));

    // Created again: truncated.
    h = Call(orlix::SlotCreateFile, {U(path.c_str())});
    ASSERT_NE(kFail, h);
    Close(h);
    EXPECT_EQ("", ReadFileBytes(path));
}

TEST_F(Callbacks, OpenModesGiveTheirAccessAndOthersAreRefused) {
    const std::string path = files.File("modes.txt");
    ASSERT_TRUE(WriteFileBytes(path, "0123456789"));
    char buffer[4] = {};
    uint32_t h = Open(path, 0);
    ASSERT_NE(kFail, h);
    EXPECT_EQ(4u, Read(h, buffer, 4));
    EXPECT_EQ(kFail, Write(h, "x", 1));
    Close(h);
    h = Open(path, 1);
    ASSERT_NE(kFail, h);
    EXPECT_EQ(kFail, Read(h, buffer, 4));
    EXPECT_EQ(1u, Write(h, "W", 1));
    Close(h);
    h = Open(path, 2);
    ASSERT_NE(kFail, h);
    EXPECT_EQ(4u, Read(h, buffer, 4));
    EXPECT_EQ(1u, Write(h, "R", 1));
    Close(h);
    EXPECT_EQ("W123R56789", ReadFileBytes(path));

    const int32_t open = OpenCallbackObjects();
    EXPECT_EQ(kFail, Open(path, 3));
    EXPECT_EQ(kFail, Open(path, 0xFFFFFFFFu));
    EXPECT_EQ(open, OpenCallbackObjects());
    EXPECT_EQ(kFail, Open(files.File("missing.txt"), 0));
    EXPECT_EQ(kFail, Call(orlix::SlotOpenFile, {0, 0}));
    EXPECT_EQ(kFail, Call(orlix::SlotCreateFile, {0}));
}

TEST_F(Callbacks, FileDateAndTimeAreMsDosValues) {
    const std::string path = files.File("dated.txt");
    ASSERT_TRUE(WriteFileBytes(path, "x"));
    uint32_t h = Open(path, 2);
    ASSERT_NE(kFail, h);
    const uint16_t dosDate = ((2005 - 1980) << 9) | (3 << 5) | 4;
    const uint16_t dosTime = (9 << 11) | (7 << 5) | (4 / 2);
    // Only the low half of each argument counts.
    EXPECT_EQ(0u, Call(orlix::SlotSetFileDateTime, {h, 0xABCD0000u | dosDate, 0x12340000u | dosTime}));
    uint16_t date = 0, time = 0;
    EXPECT_EQ(0u, Call(orlix::SlotGetFileDateTime, {h, U(&date), U(&time)}));
    EXPECT_EQ(dosDate, date);
    EXPECT_EQ(dosTime, time);
    // Both zero: the time stays.
    EXPECT_EQ(0u, Call(orlix::SlotSetFileDateTime, {h, 0, 0}));
    date = time = 0;
    Call(orlix::SlotGetFileDateTime, {h, U(&date), U(&time)});
    EXPECT_EQ(dosDate, date);
    EXPECT_EQ(dosTime, time);
    Close(h);
}

TEST_F(Callbacks, NamesAreRenamedDeletedAndTheirAttributesSet) {
    const std::string from = files.File("old.txt");
    const std::string to = files.File("new.txt");
    ASSERT_TRUE(WriteFileBytes(from, "x"));
    EXPECT_EQ(GetFileAttributesA(from.c_str()), Call(orlix::SlotGetFileAttributes, {U(from.c_str())}));
    EXPECT_EQ(0u, Call(orlix::SlotRenameFile, {U(from.c_str()), U(to.c_str())}));
    EXPECT_FALSE(FileExists(from));
    EXPECT_TRUE(FileExists(to));
    EXPECT_EQ(kFail, Call(orlix::SlotRenameFile, {U(from.c_str()), U(to.c_str())}));
    EXPECT_EQ(0u, Call(orlix::SlotSetFileAttributes, {U(to.c_str()), FILE_ATTRIBUTE_READONLY}));
    EXPECT_NE(0u, Call(orlix::SlotGetFileAttributes, {U(to.c_str())}) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(0u, Call(orlix::SlotSetFileAttributes, {U(to.c_str()), FILE_ATTRIBUTE_NORMAL}));
    EXPECT_EQ(0u, Call(orlix::SlotDeleteFile, {U(to.c_str())}));
    EXPECT_EQ(kFail, Call(orlix::SlotDeleteFile, {U(to.c_str())}));
    EXPECT_EQ(kFail, Call(orlix::SlotGetFileAttributes, {U(to.c_str())}));
    EXPECT_EQ(kFail, Call(orlix::SlotSetFileAttributes, {U(to.c_str()), 0}));
    EXPECT_EQ(kFail, Call(orlix::SlotGetFileAttributes, {0}));
    EXPECT_EQ(kFail, Call(orlix::SlotDeleteFile, {0}));
}

TEST_F(Callbacks, TemporaryFileIsCreatedInTheCurrentFolder) {
    char name[MAX_PATH] = {};
    char full[MAX_PATH];
    {
        CurrentFolderScratch here(files.path());
        ASSERT_TRUE(here.ok());
        uint32_t h = Call(orlix::SlotCreateTempFile, {U(name)});
        ASSERT_NE(kFail, h);
        EXPECT_EQ(3u, Write(h, "tmp", 3));
        Close(h);
        EXPECT_NE(std::string::npos, std::string(name).find("orx")) << name;
        GetFullPathNameA(name, MAX_PATH, full, nullptr);
    }
    EXPECT_EQ(files.path(), std::string(full).substr(0, files.path().size()));
    EXPECT_EQ("tmp", ReadFileBytes(full));
}

TEST_F(Callbacks, InvalidHandlesAnswerMinusOneAndReleaseNothing) {
    uint32_t wrongKind[5] = {2, 0, 0, 0, 0};
    uint32_t neverIssued[5] = {0, U(INVALID_HANDLE_VALUE), 0, 0, 0};
    const std::vector<uint32_t> bad = {0, 0x10, U(wrongKind), U(neverIssued)};
    const int32_t blocks = LiveBlockCount();
    for (uint32_t h : bad) {
        char buffer[4];
        uint16_t word;
        EXPECT_EQ(kFail, Close(h)) << h;
        EXPECT_EQ(kFail, Read(h, buffer, 4));
        EXPECT_EQ(kFail, Write(h, "x", 1));
        for (int slot : {orlix::SlotSeekToStart, orlix::SlotSeekToEnd, orlix::SlotGetFileLength})
            EXPECT_EQ(kFail, Call(slot, {h})) << slot;
        for (int slot :
             {orlix::SlotSeekFromStart, orlix::SlotSeekFromCurr, orlix::SlotSeekFromEnd, orlix::SlotSetFileSize})
            EXPECT_EQ(kFail, Call(slot, {h, 0})) << slot;
        EXPECT_EQ(kFail, Call(orlix::SlotGetFileDateTime, {h, U(&word), U(&word)}));
        EXPECT_EQ(kFail, Call(orlix::SlotSetFileDateTime, {h, 1, 1}));
    }
    EXPECT_EQ(2u, wrongKind[0]);
    EXPECT_EQ(blocks, LiveBlockCount());

    // A closed handle is not valid any more.
    const std::string path = files.File("twice.txt");
    uint32_t h = Call(orlix::SlotCreateFile, {U(path.c_str())});
    ASSERT_NE(kFail, h);
    EXPECT_NE(kFail, Close(h));
    EXPECT_EQ(kFail, Close(h));
}

TEST_F(Callbacks, NamesRunningIntoUnreadableMemoryAreRefused) {
    // One readable page full of 'a', no terminator, then a page that cannot be read.
    char* area = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(nullptr, area);
    ASSERT_NE(nullptr, VirtualAlloc(area, 4096, MEM_COMMIT, PAGE_READWRITE));
    memset(area, 'a', 4096);
    const uint32_t name = U(area + 4096 - 19);  // also 19 characters long, memory-form or not
    area[4096 - 19] = area[4096 - 18] = area[4096 - 9] = '#';
    EXPECT_EQ(kFail, Call(orlix::SlotOpenFile, {name, 0}));
    EXPECT_EQ(kFail, Call(orlix::SlotOpenFile, {U(area), 0}));
    EXPECT_EQ(kFail, Call(orlix::SlotCreateFile, {U(area)}));
    EXPECT_EQ(kFail, Call(orlix::SlotDeleteFile, {U(area)}));
    EXPECT_EQ(kFail, Call(orlix::SlotGetFileAttributes, {U(area)}));
    EXPECT_EQ(kFail, Call(orlix::SlotSetFileAttributes, {U(area), 0}));
    EXPECT_EQ(kFail, Call(orlix::SlotRenameFile, {U(area), U(area)}));
    VirtualFree(area, 0, MEM_RELEASE);
}

// A guard page (another thread's stack grows through one) is host memory the
// callbacks must not touch: the access fails and the page stays armed.
TEST_F(Callbacks, GuardPagesStayArmed) {
    const std::string path = files.File("guarded.txt");
    ASSERT_TRUE(WriteFileBytes(path, "x"));
    char* page = static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(nullptr, page);
    strcpy(page, path.c_str());
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(page, 4096, PAGE_READWRITE | PAGE_GUARD, &old));
    auto armed = [&] {
        MEMORY_BASIC_INFORMATION region = {};
        VirtualQuery(page, &region, sizeof region);
        return (region.Protect & PAGE_GUARD) != 0;
    };
    EXPECT_EQ(kFail, Call(orlix::SlotGetFileAttributes, {U(page)}));
    EXPECT_TRUE(armed()) << "name";
    const uint32_t h = Open(path, 0);
    ASSERT_NE(kFail, h);
    EXPECT_EQ(0u, Call(orlix::SlotGetFileDateTime, {h, U(page), U(page + 2)}));
    EXPECT_TRUE(armed()) << "date and time";
    Close(h);
    {
        CurrentFolderScratch here(files.path());
        ASSERT_TRUE(here.ok());
        EXPECT_EQ(kFail, Call(orlix::SlotCreateTempFile, {U(page)}));
    }
    EXPECT_TRUE(armed()) << "temporary name";
    WIN32_FIND_DATAA entry;
    HANDLE left = FindFirstFileA(files.File("orx*").c_str(), &entry);
    EXPECT_EQ(INVALID_HANDLE_VALUE, left) << "a temporary file was left behind";
    if (left != INVALID_HANDLE_VALUE) FindClose(left);
    VirtualFree(page, 0, MEM_RELEASE);
}

TEST_F(Callbacks, AllocatorHandsOutZeroFilledBlocksWithTheirSize) {
    const int32_t blocks = LiveBlockCount();
    uint32_t a = Call(orlix::SlotAlloc, {100});
    ASSERT_NE(kFail, a);
    ASSERT_NE(0u, a);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(static_cast<uintptr_t>(a));
    EXPECT_EQ(100u, *reinterpret_cast<const uint32_t*>(p - 4));
    for (int i = 0; i < 100; ++i) ASSERT_EQ(0, p[i]);
    EXPECT_EQ(blocks + 1, LiveBlockCount());
    Call(orlix::SlotFree, {a});
    EXPECT_EQ(blocks, LiveBlockCount());
    Call(orlix::SlotFree, {0});
    // Sizes that cannot be allocated answer -1, never 0.
    EXPECT_EQ(kFail, Call(orlix::SlotAlloc, {0xFFFFFFFFu}));
    EXPECT_EQ(kFail, Call(orlix::SlotAlloc, {0xFFFFFFFDu}));
    EXPECT_EQ(kFail, Call(orlix::SlotAlloc, {0xF0000000u}));
    EXPECT_EQ(blocks, LiveBlockCount());
}

TEST_F(Callbacks, FreeingAnOpenObjectsHandleLeavesItOpen) {
    const std::string path = files.File("kept.txt");
    uint32_t h = Call(orlix::SlotCreateFile, {U(path.c_str())});
    ASSERT_NE(kFail, h);
    Call(orlix::SlotFree, {h});
    EXPECT_EQ(2u, Write(h, "ok", 2));
    EXPECT_NE(kFail, Close(h));
    EXPECT_EQ("ok", ReadFileBytes(path));
}

// Frees blocks the allocator must refuse; the lines go to the debugger.
CHILD_SCENARIO(allocator_refusals) {
    (void)args;
    char stack[16] = {};
    if (BlockRelease(stack + 4)) return 1;
    uint32_t* block = static_cast<uint32_t*>(BlockAllocate(8));
    if (!block) return 2;
    block[-1] = 0x7FFFFFF0;  // the engine wrote over the size word
    if (BlockRelease(block)) return 3;
    if (BlockRelease(reinterpret_cast<void*>(0x20))) return 4;
    char line[64];
    wsprintfA(line, "addresses %08X %08X", U(stack + 4), U(block));
    OutputDebugStringA(line);
    return 0;
}

TEST(Allocator, RefusedBlocksAreReportedOnTheDebuggerOutputAndKept) {
    CapturedRun run = RunChildUnderDebugger("allocator_refusals");
    ASSERT_TRUE(run.started);
    ASSERT_EQ(0u, run.exitCode);
    ASSERT_FALSE(run.debugStrings.empty());
    const std::string last = run.debugStrings.back();
    ASSERT_EQ(0u, last.find("addresses "));
    const std::string stack = last.substr(10, 8), block = last.substr(19, 8);
    std::vector<std::string> mem;
    for (const std::string& s : run.debugStrings)
        if (s.compare(0, 5, "Mem: ") == 0) mem.push_back(s);
    EXPECT_EQ((std::vector<std::string>{"Mem: memory block corruped (" + stack + ") - bad header\n",
                                        "Mem: memory block corrupted (" + block + ") - size mismatch (2147483632)\n",
                                        "Mem: memory block corruped (00000020) - bad header\n"}),
              mem);
}
