// The engine's entry procedure: reads the operation's counted arguments and
// hands them to its operation.
#include <cstdarg>

#include "operations.h"

namespace te {
namespace {

struct Operation {
    int32_t code;
    int argumentCount;
    LockedOperation locked;  // null: ScanFile and LoadBase
};

const Operation kOperations[] = {
    {orlix::EngineLoadBase, 1, nullptr},
    {orlix::EngineScanFile, 4, nullptr},
    {orlix::EngineGetVersion, 0, GetVersion},
    {orlix::EngineLastVirusName, 1, LastVirusName},
    {orlix::EngineLastArchiverName, 1, LastArchiverName},
    {orlix::EngineOpenArchive, 1, OpenArchive},
    {orlix::EngineGetNextFileHeader, 2, GetNextFileHeader},
    {orlix::EngineExtractNextFile, 2, ExtractNextFile},
    {orlix::EngineCloseArchive, 1, CloseArchive},
};

}  // namespace

int32_t __cdecl EngineEntry(int32_t reserved, int32_t op, ...) {
    const Operation* operation = nullptr;
    for (const Operation& o : kOperations)
        if (o.code == op) operation = &o;
    uint32_t args[4] = {};
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
    const int32_t answer = operation && operation->locked ? operation->locked(S(), buffer, index) : 0;
    SetResult(S(), index, answer);
    return answer;
}

}  // namespace te
