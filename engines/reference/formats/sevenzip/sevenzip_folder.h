// One folder of a 7z archive unpacked as a stream: its packed bytes through
// its chain of coders, handed out file by file in the order the files lie
// in it. A solid folder is decoded once, however many files it holds.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codecs/codec.h"
#include "formats/check_budget.h"
#include "host/host_io.h"
#include "sevenzip_records.h"

namespace refengine {

// One coder of the chain: bytes in, decoded bytes to the next stage; as a
// sink, what the stage before it writes to.
class SevenZipStage : public ByteSink {
public:
    // 0, or the contract's error bits.
    virtual uint32_t Feed(const unsigned char* bytes, size_t count) = 0;
    // The input is all in.
    virtual uint32_t Finish() = 0;
    bool Take(const unsigned char* bytes, uint32_t count) override {
        if (!failure_) failure_ = Feed(bytes, count);
        return failure_ == 0;
    }
    uint32_t failure() const { return failure_; }

protected:
    uint32_t failure_ = 0;
};

// The coders we unpack. A stage for the coder, writing to next, or null
// with the answer in failure: 0x100 for encryption, 0x80 for a coder we do
// not have (never read as clean).
std::unique_ptr<SevenZipStage> MakeSevenZipStage(const SevenZipCoder& coder, uint64_t unpackSize, uint64_t memoryLimit,
                                                 ByteSink& next, uint32_t& failure);

class SevenZipFolderStream {
public:
    // packOffset, packSize: the folder's packed stream in source.
    SevenZipFolderStream(ByteSource& source, uint64_t packOffset, uint64_t packSize, CheckBudget& budget);
    SevenZipFolderStream(const SevenZipFolderStream&) = delete;
    SevenZipFolderStream& operator=(const SevenZipFolderStream&) = delete;

    // Builds the chain; 0, or why the folder cannot be unpacked.
    uint32_t Start(const SevenZipFolder& folder);
    // Hands the next count bytes to out (out may refuse some: the rest of
    // them is passed over); 0, or the stream's failure.
    uint32_t Deliver(uint64_t count, ByteSink& out);

private:
    uint32_t Failure(uint32_t first) const;

    // The chain's last sink: bytes to the current file, what comes after
    // it kept for the next one.
    class Router : public ByteSink {
    public:
        explicit Router(CheckBudget& budget) : budget_(budget) {}
        bool Take(const unsigned char* bytes, uint32_t count) override;
        ByteSink* target = nullptr;
        uint64_t remaining = 0;
        std::vector<unsigned char> carry;
        bool overflow = false;

    private:
        CheckBudget& budget_;
    };

    ByteSource& source_;
    uint64_t packOffset_;
    uint64_t packLeft_;
    CheckBudget& budget_;
    Router router_;
    std::vector<std::unique_ptr<SevenZipStage>> stages_;  // first: fed with the packed bytes
    bool finished_ = false;
    uint32_t failure_ = 0;
};

}  // namespace refengine
