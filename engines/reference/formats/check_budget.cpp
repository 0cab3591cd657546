#include "check_budget.h"

namespace refengine {

void CheckBudget::Restart() {
    unpacked_ = 0;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.checkMilliseconds);
}

bool CheckBudget::Spend(uint64_t bytes) {
    unpacked_ += bytes;
    return unpacked_ <= limits_.checkBytes && std::chrono::steady_clock::now() < deadline_;
}

}  // namespace refengine
