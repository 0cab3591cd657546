// What the archive walk asks of every format's reader: member names in
// order, and each member unpacked and checked within the check's budget.
#pragma once

#include <cstdint>
#include <string>

#include "check_budget.h"
#include "database.h"
#include "member_sink.h"

namespace refengine {

class ArchiveReader {
public:
    virtual ~ArchiveReader() = default;
    // 0: the next member's name is in name; 0x8000: no further member;
    // else error bits.
    virtual uint32_t Next(std::string& name) = 0;
    // Unpacks and checks the member Next announced last.
    virtual MemberOutcome Extract(const Database& db, CheckBudget& budget) = 0;
};

}  // namespace refengine
