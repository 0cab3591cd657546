#include "host_object.h"

namespace clamdbridge {
namespace {

// Every callback takes an ignored first argument, then its own ones.
typedef int32_t(__cdecl* Proc1)(int32_t, int32_t);
typedef int32_t(__cdecl* Proc2)(int32_t, int32_t, int32_t);
typedef int32_t(__cdecl* Proc3)(int32_t, int32_t, int32_t, int32_t);

const orlix::CallbackSlot* g_table = nullptr;

template <typename Proc>
Proc Slot(int index) {
    return reinterpret_cast<Proc>(g_table[index].procedure);
}

int32_t Word(const void* pointer) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(pointer)); }

}  // namespace

bool BindHost(const orlix::CallbackSlot* table, int32_t count) {
    g_table = nullptr;
    if (!table || count <= orlix::SlotGetFileLength) return false;
    for (int slot : {orlix::SlotOpenFile, orlix::SlotCloseFile, orlix::SlotReadFile, orlix::SlotGetFileLength}) {
        if (!table[slot].procedure) return false;
    }
    g_table = table;
    return true;
}

bool HostBound() { return g_table != nullptr; }

bool HostObject::Open(uint64_t* size) {
    Close();
    if (!g_table || !name_) return false;
    int32_t handle = Slot<Proc2>(orlix::SlotOpenFile)(0, Word(name_), orlix::kOpenRead);
    if (handle == -1 || handle == 0) return false;
    handle_ = handle;
    int32_t length = Slot<Proc1>(orlix::SlotGetFileLength)(0, handle_);
    if (length == -1) {
        Close();
        return false;
    }
    *size = static_cast<uint32_t>(length);
    return true;
}

int32_t HostObject::Read(unsigned char* buffer, uint32_t count) {
    if (handle_ == -1) return -1;
    return Slot<Proc3>(orlix::SlotReadFile)(0, handle_, Word(buffer), static_cast<int32_t>(count));
}

void HostObject::Close() {
    if (handle_ != -1) Slot<Proc1>(orlix::SlotCloseFile)(0, handle_);
    handle_ = -1;
}

}  // namespace clamdbridge
