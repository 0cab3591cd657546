// A member whose records allow more than one reading (a ZIP entry whose
// local header names another method, a sparse tar member expanded and as
// stored) is checked in each, as extractors differ in which they follow.
#pragma once

#include <cstddef>
#include <functional>

#include "archive_reader.h"
#include "orlix/contract.h"

namespace refengine {

// One reading: begins a check of checks, unpacks into it, answers its flags.
using MemberReading = std::function<uint32_t(MemberChecks& checks)>;

// A find in any reading is the answer. Otherwise a reading that made the
// member an archive is the answer, read again when another reading came
// after it (the walk keeps only the last check's nested archive); else the
// first failure: one reading clean does not make a member clean that another
// reading could not check.
inline uint32_t CheckEachReading(MemberChecks& checks, const MemberReading* readings, size_t count) {
    uint32_t failure = 0, archiveFlags = 0;
    size_t archive = count;
    for (size_t i = 0; i < count; ++i) {
        uint32_t flags = readings[i](checks);
        if (flags & orlix::kVirusFoundBits) return flags;
        if (flags & orlix::ResultArchive) {
            archive = i;
            archiveFlags = flags;
        } else if (flags && !failure) {
            failure = flags;
        }
    }
    if (archive == count) return failure;
    return archive == count - 1 ? archiveFlags : readings[archive](checks);
}

}  // namespace refengine
