#include "engine/loader.h"

bool LoadEngine() { return false; }
bool BindEngine(const std::string&, bool) { return false; }
bool LoadBases() { return false; }
int32_t ProbeEngine(const std::string&) { return 0; }
void ReleaseEngine(bool) {}
