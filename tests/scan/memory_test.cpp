// The memory check: the block reaches the engine through the callbacks under
// its memory-form name, and only while it is being checked.
#include "orlix/contract.h"
#include "engine_fixture.h"

namespace {
uint32_t AddressOf(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
std::string MemoryName(uint32_t address, uint32_t size) {
    char name[32];
    snprintf(name, sizeof name, orlix::kMemoryObjectNameFormat, address, size);
    return name;
}
}  // namespace

class MemoryCheck : public EngineFixture {};

TEST_F(MemoryCheck, BlockIsReadThroughTheCallbacksDuringTheCheck) {
    PrepareEngine();
    te.SetReadObject(1);
    StartEngine();
    char block[100];
    for (int i = 0; i < 100; ++i) block[i] = static_cast<char>(i * 7 + 1);
    const uint32_t address = AddressOf(block);
    const std::string name = MemoryName(address, 100);

    EXPECT_EQ(0, api.CheckMemory(address, 100, status));
    EXPECT_STREQ("Ok", status);
    char seen[200] = {};
    int32_t handle = 0;
    ASSERT_EQ(100, te.LastObjectRead(seen, sizeof seen, &handle));
    EXPECT_NE(-1, handle);
    EXPECT_EQ(0, memcmp(block, seen, 100));
    EXPECT_EQ("ScanFile 0 1 " + name + " 0", Ops().at(0));
    char first[64];
    snprintf(first, sizeof first, "CheckMemory: at %08X, 100 bytes", address);
    std::vector<std::string> lines = {first, "CheckFile: (Object is in memory)", "CheckFile: [memory object] - Ok"};
    EXPECT_EQ(lines, ScanLines());
}

TEST_F(MemoryCheck, ForeignMemoryNamesOpenAsNothing) {
    PrepareEngine();
    te.SetReadObject(1);
    StartEngine();
    static char secret[64] = "not for the engine";
    const std::string name = MemoryName(AddressOf(secret), 64);

    // A file check under a memory-form name that no memory check issued.
    EXPECT_EQ(0, api.CheckFile(name.c_str(), status));
    char seen[64] = {};
    int32_t handle = 0;
    EXPECT_EQ(-1, te.LastObjectRead(seen, sizeof seen, &handle));
    EXPECT_EQ(-1, handle);

    // The block that was checked is not served once its check is over.
    EXPECT_EQ(0, api.CheckMemory(AddressOf(secret), 64, status));
    ASSERT_EQ(64, te.LastObjectRead(seen, sizeof seen, &handle));
    EXPECT_EQ(-1, static_cast<int32_t>(te.Call(orlix::SlotOpenFile, {AddressOf(name.c_str()), 0})));
    // Nor is a different size of the block being checked.
    const std::string wider = MemoryName(AddressOf(secret), 65);
    EXPECT_EQ(-1, static_cast<int32_t>(te.Call(orlix::SlotOpenFile, {AddressOf(wider.c_str()), 0})));
}

TEST_F(MemoryCheck, SizesAreLoggedSignedAndNamedInHex) {
    PrepareEngine();
    StartEngine();
    static char block[16];
    const uint32_t address = AddressOf(block);
    const struct {
        int32_t size;
        const char* logged;
    } cases[] = {{0, "0"}, {-1, "-1"}, {512, "512"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        ClearRecords();
        EXPECT_EQ(0, api.CheckMemory(address, c.size, status));
        char first[64];
        snprintf(first, sizeof first, "CheckMemory: at %08X, %s bytes", address, c.logged);
        EXPECT_EQ(first, ScanLines().at(0));
        EXPECT_EQ("ScanFile 0 1 " + MemoryName(address, static_cast<uint32_t>(c.size)) + " 0", Ops().at(0));
    }
}

TEST_F(MemoryCheck, VerdictsAndArchivesAsForFiles) {
    PrepareEngine();
    te.VirusName("*", "Mem.Bad");
    StartEngine();
    static char block[32];
    const uint32_t address = AddressOf(block);
    const std::string name = MemoryName(address, 32);

    te.QueueScan(name.c_str(), 0, 0x1);
    EXPECT_EQ(1, api.CheckMemory(address, 32, status));
    EXPECT_STREQ("Infected by Mem.Bad", status);
    EXPECT_EQ("CheckFile: [memory object] - Infected by Mem.Bad", ScanLines().at(2));

    te.QueueScan(name.c_str(), 0, 0x4);
    EXPECT_EQ(2, api.CheckMemory(address, 32, status));
    EXPECT_STREQ("Probably infected byMem.Bad", status);
    ScanLines();

    te.DefineArchive(name.c_str(), 0, 0);
    te.Member(name, "in.txt", 0, 0);
    te.QueueScan(name.c_str(), 0, 0x1000);
    EXPECT_EQ(0, api.CheckMemory(address, 32, status));
    std::vector<std::string> lines = ScanLines();
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ("CheckArchive: (archive is in memory) - Archive ZIP", lines[2]);
    EXPECT_EQ("CheckArchive: (archive is in memory)\\in.txt - Ok", lines[3]);
    EXPECT_EQ("CheckArchive: (archive is in memory) - Archive ZIP - Ok", lines[4]);
}
