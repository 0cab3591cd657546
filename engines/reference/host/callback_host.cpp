#include "callback_host.h"

namespace refengine {
namespace {

using namespace engineboundary;

const int kRequiredSlots[] = {orlix::SlotAlloc,         orlix::SlotFree,          orlix::SlotOpenFile,
                              orlix::SlotCloseFile,     orlix::SlotReadFile,      orlix::SlotWriteFile,
                              orlix::SlotSeekFromStart, orlix::SlotGetFileLength, orlix::SlotSetFileSize,
                              orlix::SlotDeleteFile,    orlix::SlotCreateTempFile};

}  // namespace

bool CallbackHost::Bind(const orlix::CallbackSlot* table, int32_t count) {
    return table_.Bind(table, count, kRequiredSlots);
}

void* CallbackHost::Alloc(uint32_t size) {
    intptr_t block = table_.Slot<HostProc1>(orlix::SlotAlloc)(0, static_cast<intptr_t>(size));
    if (block == -1 || block == 0) return nullptr;
    return reinterpret_cast<void*>(block);
}

void CallbackHost::Free(void* block) {
    if (block) table_.Slot<HostProc1>(orlix::SlotFree)(0, Word(block));
}

int32_t CallbackHost::Open(const char* name, int32_t mode) {
    return Answer(table_.Slot<HostProc2>(orlix::SlotOpenFile)(0, Word(name), mode));
}

int32_t CallbackHost::CreateTemp(char (&name)[orlix::kTempNameBufferSize]) {
    name[0] = 0;
    return Answer(table_.Slot<HostProc1>(orlix::SlotCreateTempFile)(0, Word(name)));
}

int32_t CallbackHost::Close(int32_t handle) { return Answer(table_.Slot<HostProc1>(orlix::SlotCloseFile)(0, handle)); }

int32_t CallbackHost::Read(int32_t handle, void* buffer, uint32_t count) {
    return Answer(table_.Slot<HostProc3>(orlix::SlotReadFile)(0, handle, Word(buffer), static_cast<int32_t>(count)));
}

int32_t CallbackHost::Write(int32_t handle, const void* buffer, uint32_t count) {
    return Answer(table_.Slot<HostProc3>(orlix::SlotWriteFile)(0, handle, Word(buffer), static_cast<int32_t>(count)));
}

int32_t CallbackHost::Seek(int32_t handle, uint32_t offset) {
    return Answer(table_.Slot<HostProc2>(orlix::SlotSeekFromStart)(0, handle, static_cast<int32_t>(offset)));
}

int32_t CallbackHost::Length(int32_t handle) {
    return Answer(table_.Slot<HostProc1>(orlix::SlotGetFileLength)(0, handle));
}

int32_t CallbackHost::SetSize(int32_t handle, uint32_t size) {
    return Answer(table_.Slot<HostProc2>(orlix::SlotSetFileSize)(0, handle, static_cast<int32_t>(size)));
}

int32_t CallbackHost::Delete(const char* name) {
    return Answer(table_.Slot<HostProc1>(orlix::SlotDeleteFile)(0, Word(name)));
}

void CallbackHost::Trace(const char* text) { TraceLine(text); }

}  // namespace refengine
