#include "base/module.h"
#include "callbacks/memory_object.h"
#include "orlix/contract.h"
#include "report/log.h"
#include "resources/resource.h"
#include "scan/scan.h"

namespace {
// Only the block being checked may be opened by its memory-form name.
class CheckedBlock {
public:
    CheckedBlock(uint32_t address, int32_t size) { SetCheckedMemoryBlock(address, size); }
    ~CheckedBlock() { ClearCheckedMemoryBlock(); }
    CheckedBlock(const CheckedBlock&) = delete;
    CheckedBlock& operator=(const CheckedBlock&) = delete;
};
}  // namespace

int32_t CheckMemory(uint32_t address, int32_t size, char* statusText) {
    LogLine(FormatResource(IDS_CHECKMEMORY, address, size));
    const std::string objectName = FormatText(orlix::kMemoryObjectNameFormat, address, static_cast<uint32_t>(size));
    CheckedBlock block(address, size);
    return CheckFile(objectName, statusText);
}
