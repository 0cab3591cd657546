// The engine's entry procedure: reads the operation's counted arguments and
// hands them to its operation.
#include <cstdarg>

#include "operations.h"

namespace te {
namespace {

// The operations answered under the lock; ScanFile and LoadBase take it
// themselves, and the rest answer 0.
struct LockedEntry {
    int32_t code;
    LockedOperation locked;
};

const LockedEntry kLocked[] = {
    {orlix::EngineGetVersion, GetVersion},
    {orlix::EngineLastVirusName, LastVirusName},
    {orlix::EngineLastArchiverName, LastArchiverName},
    {orlix::EngineOpenArchive, OpenArchive},
    {orlix::EngineGetNextFileHeader, GetNextFileHeader},
    {orlix::EngineExtractNextFile, ExtractNextFile},
    {orlix::EngineCloseArchive, CloseArchive},
};

}  // namespace

int32_t __cdecl EngineEntry(int32_t reserved, int32_t op, ...) {
    const orlix::OperationInfo* operation = orlix::FindOperation(op);
    LockedOperation locked = nullptr;
    for (const LockedEntry& entry : kLocked)
        if (entry.code == op) locked = entry.locked;
    uint32_t args[orlix::kMaxOperationArguments] = {};
    va_list list;
    va_start(list, op);
    for (int i = 0; operation && i < operation->argumentCount; ++i) args[i] = va_arg(list, uint32_t);
    va_end(list);
    if (op == orlix::EngineScanFile) return ScanFile(reserved, args);
    if (op == orlix::EngineLoadBase) return LoadBase(reserved, args);
    // Any other operation (FinishLoad among them) is recorded and answers 0.
    const int index = Enter(op, reserved, args, nullptr, std::string());
    std::lock_guard<std::mutex> hold(Lock());
    char* buffer = reinterpret_cast<char*>(static_cast<uintptr_t>(args[0]));
    const int32_t answer = locked ? locked(S(), buffer, index) : 0;
    SetResult(S(), index, answer);
    return answer;
}

}  // namespace te
