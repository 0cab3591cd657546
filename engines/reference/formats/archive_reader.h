// What the archive walk asks of every format's reader: member names in
// order, and each member unpacked and checked within the check's budget.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "check_budget.h"
#include "database.h"
#include "orlix/contract.h"
#include "host_io.h"
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

// One object read by two readers: each reader owns a view of the same source.
class SharedSource : public ByteSource {
public:
    explicit SharedSource(std::shared_ptr<ByteSource> source) : source_(std::move(source)) {}
    uint64_t Size() const override { return source_->Size(); }
    int32_t ReadAt(uint64_t offset, void* buffer, uint32_t count) override {
        return source_->ReadAt(offset, buffer, count);
    }

private:
    std::shared_ptr<ByteSource> source_;
};

// An object that is two archives at once (a tar or gzip with a ZIP behind
// it): extractors of either format unpack their own, so both are walked,
// the first reader's members, then the second's.
class ChainedReader : public ArchiveReader {
public:
    ChainedReader(std::unique_ptr<ArchiveReader> first, std::unique_ptr<ArchiveReader> second)
        : first_(std::move(first)), second_(std::move(second)) {}
    uint32_t Next(std::string& name) override {
        if (!onSecond_) {
            uint32_t answer = first_->Next(name);
            if (answer != orlix::ResultNoMoreMembers) return answer;
            onSecond_ = true;
        }
        return second_->Next(name);
    }
    MemberOutcome Extract(const Database& db, CheckBudget& budget) override {
        return (onSecond_ ? second_ : first_)->Extract(db, budget);
    }

private:
    std::unique_ptr<ArchiveReader> first_;
    std::unique_ptr<ArchiveReader> second_;
    bool onSecond_ = false;
};

}  // namespace refengine
