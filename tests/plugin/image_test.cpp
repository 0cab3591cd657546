// The built file as the mail client's loader sees it: export directory,
// imports and version resource.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "plugin_loader.h"

namespace {

struct Image {
    std::string bytes;
    const IMAGE_NT_HEADERS32* nt = nullptr;

    explicit Image(const std::string& path) : bytes(ReadFileBytes(path)) {
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return;
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(bytes.data() + dos->e_lfanew);
    }
    // File offset of a relative virtual address.
    const char* At(DWORD rva) const {
        auto section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            DWORD start = section->VirtualAddress;
            if (rva >= start && rva < start + section->Misc.VirtualSize)
                return bytes.data() + section->PointerToRawData + (rva - start);
        }
        return nullptr;
    }
};

const char* const kExports[] = {"BAV_Initialize",     "BAV_Uninitialize", "BAV_GetName",        "BAV_GetVersion",
                                "BAV_SetCfgData",     "BAV_GetCfgData",   "BAV_GetStatus",      "BAV_Setup",
                                "BAV_MemoryChecking", "BAV_FileChecking", "BAV_StreamChecking", "BAV_CheckFile",
                                "BAV_CureFile",       "BAV_CheckMemory",  "BAV_CureMemory",     "BAV_CheckStream",
                                "BAV_CureStream",     "BAV_ComNeeded",    "BAV_ConfigNeeded"};

}  // namespace

TEST(Image, IsPe32ForI386) {
    Image image(ProgramFolder() + "orlix.bav");
    ASSERT_NE(nullptr, image.nt);
    EXPECT_EQ(IMAGE_NT_SIGNATURE, image.nt->Signature);
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, image.nt->FileHeader.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, image.nt->OptionalHeader.Magic);
    EXPECT_TRUE(image.nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
}

TEST(Image, ExportsExactlyTheNineteenUndecoratedNames) {
    Image image(ProgramFolder() + "orlix.bav");
    ASSERT_NE(nullptr, image.nt);
    const IMAGE_DATA_DIRECTORY& dir = image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(image.At(dir.VirtualAddress));
    ASSERT_NE(nullptr, exports);
    EXPECT_STREQ("orlix.bav", image.At(exports->Name));
    std::set<std::string> names;
    auto nameTable = reinterpret_cast<const DWORD*>(image.At(exports->AddressOfNames));
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.insert(image.At(nameTable[i]));
    std::set<std::string> expected(std::begin(kExports), std::end(kExports));
    EXPECT_EQ(expected, names);
}

// The lower-case names of the libraries an image imports.
std::set<std::string> Imports(const Image& image) {
    std::set<std::string> names;
    const IMAGE_DATA_DIRECTORY& dir = image.nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image.At(dir.VirtualAddress));
    for (; import && import->Name; ++import) {
        std::string name = image.At(import->Name);
        std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(tolower(c)); });
        names.insert(name);
    }
    return names;
}

const std::set<std::string> kSystemLibraries = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll", "comdlg32.dll", "shell32.dll",
    "winmm.dll",    "msvcrt.dll", "ole32.dll", "shlwapi.dll",  "version.dll",  "ws2_32.dll"};

TEST(Image, ImportsOnlySystemLibraries) {
    // The plug-in and both engines are copied into the mail client's
    // installation alone: nothing but the system may be needed beside them.
    for (const char* file : {"orlix.bav", "..\\refengine\\orlix32.dll", "..\\clamd-engine\\orlix32.dll"}) {
        Image image(ProgramFolder() + file);
        ASSERT_NE(nullptr, image.nt) << file;
        std::set<std::string> imports = Imports(image);
        EXPECT_FALSE(imports.empty()) << file;
        for (const std::string& name : imports)
            EXPECT_TRUE(kSystemLibraries.count(name)) << file << " imports " << name;
    }
}

TEST(Image, EnginesExportTheirEntryUndecorated) {
    for (const char* folder : {"..\\refengine\\", "..\\clamd-engine\\"}) {
        HMODULE engine = LoadLibraryA((ProgramFolder() + folder + "orlix32.dll").c_str());
        ASSERT_NE(nullptr, engine) << folder;
        EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(engine, "ORLIX_InitDll"))) << folder;
        FreeLibrary(engine);
    }
}

TEST(Image, VersionResource) {
    std::string path = ProgramFolder() + "orlix.bav";
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(31, 4), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(3, 0), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(31, 4), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(3, 0), fixed->dwProductVersionLS);
    char* text = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\FileDescription",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ("Orlix Plug-In Module for TheBat!", text);
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\OriginalFilename",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ("Orlix.bav", text);
}

TEST(Image, StringTableHoldsPluginName) {
    HMODULE module = LoadLibraryExA((ProgramFolder() + "orlix.bav").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    char text[64] = "\xde\xad\xbe\xef";
    EXPECT_EQ(17, LoadStringA(module, 65425, text, sizeof text));
    EXPECT_STREQ("Orlix for TheBAT!", text);
    FreeLibrary(module);
}
