#include "host_object.h"

namespace clamdbridge {
namespace {

using namespace engineboundary;

const int kRequiredSlots[] = {orlix::SlotOpenFile, orlix::SlotCloseFile, orlix::SlotReadFile, orlix::SlotGetFileLength};

}  // namespace

bool BindHostTable(HostTable& host, const orlix::CallbackSlot* table, int32_t count) {
    return host.Bind(table, count, kRequiredSlots);
}

bool HostObject::Open(uint64_t* size) {
    Close();
    if (!host_.bound() || !name_) return false;
    int32_t handle = Answer(host_.Slot<HostProc2>(orlix::SlotOpenFile)(0, Word(name_), orlix::kOpenRead));
    if (!orlix::IsHostHandle(handle)) return false;
    handle_ = handle;
    int32_t length = Answer(host_.Slot<HostProc1>(orlix::SlotGetFileLength)(0, handle_));
    if (length == -1) {
        Close();
        return false;
    }
    *size = static_cast<uint32_t>(length);
    return true;
}

int32_t HostObject::Read(unsigned char* buffer, uint32_t count) {
    if (handle_ == -1) return -1;
    return Answer(host_.Slot<HostProc3>(orlix::SlotReadFile)(0, handle_, Word(buffer), static_cast<int32_t>(count)));
}

void HostObject::Close() {
    if (handle_ != -1) host_.Slot<HostProc1>(orlix::SlotCloseFile)(0, handle_);
    handle_ = -1;
}

}  // namespace clamdbridge
