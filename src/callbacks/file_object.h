// Files opened for the engine: the file side of the object callbacks. Every
// answer is the callback's own (-1 on failure).
#pragma once

#include <windows.h>

#include <cstdint>

#include "callbacks/descriptors.h"

// Creates or truncates the file, for reading and writing.
int32_t CreateFileObject(const char* path);
// Opens an existing file in one of the contract's open modes.
int32_t OpenFileObject(const char* path, int32_t mode);
int32_t CloseFileObject(ObjectDescriptor* d);
int32_t ReadFileObject(const ObjectDescriptor* d, void* buffer, uint32_t count);
int32_t WriteFileObject(const ObjectDescriptor* d, const void* buffer, uint32_t count);
// The new position; method as for SetFilePointer.
int32_t SeekFileObject(const ObjectDescriptor* d, uint32_t distance, DWORD method);
int32_t FileObjectLength(const ObjectDescriptor* d);
int32_t SetFileObjectSize(const ObjectDescriptor* d, uint32_t size);
// The last-write time as MS-DOS date and time; both 0 when it cannot be read.
void FileObjectDateTime(const ObjectDescriptor* d, WORD* date, WORD* time);
// Both 0 leaves the time as it is.
void SetFileObjectDateTime(const ObjectDescriptor* d, WORD date, WORD time);
