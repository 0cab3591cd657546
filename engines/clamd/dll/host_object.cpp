#include "host_object.h"

#include "engine_door.h"

namespace clamdbridge {
namespace {

using namespace enginedoor;

HostTable g_host;

const int kRequiredSlots[] = {orlix::SlotOpenFile, orlix::SlotCloseFile, orlix::SlotReadFile, orlix::SlotGetFileLength};

}  // namespace

bool BindHost(const orlix::CallbackSlot* table, int32_t count) { return g_host.Bind(table, count, kRequiredSlots); }

bool HostBound() { return g_host.bound(); }

bool HostObject::Open(uint64_t* size) {
    Close();
    if (!g_host.bound() || !name_) return false;
    int32_t handle = Answer(g_host.Slot<HostProc2>(orlix::SlotOpenFile)(0, Word(name_), orlix::kOpenRead));
    if (!orlix::IsHostHandle(handle)) return false;
    handle_ = handle;
    int32_t length = Answer(g_host.Slot<HostProc1>(orlix::SlotGetFileLength)(0, handle_));
    if (length == -1) {
        Close();
        return false;
    }
    *size = static_cast<uint32_t>(length);
    return true;
}

int32_t HostObject::Read(unsigned char* buffer, uint32_t count) {
    if (handle_ == -1) return -1;
    return Answer(g_host.Slot<HostProc3>(orlix::SlotReadFile)(0, handle_, Word(buffer), static_cast<int32_t>(count)));
}

void HostObject::Close() {
    if (handle_ != -1) g_host.Slot<HostProc1>(orlix::SlotCloseFile)(0, handle_);
    handle_ = -1;
}

}  // namespace clamdbridge
