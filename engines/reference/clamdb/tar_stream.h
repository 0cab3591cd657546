// A tar archive read as a stream, as it comes out of the inflater: headers
// parsed by the tar format's record parser, each member's data handed on as
// it arrives. Nothing of the archive is kept but one header block.
#pragma once

#include <cstdint>
#include <string>

#include "codecs/codec.h"
#include "formats/tar/tar_records.h"

namespace refengine {

class TarMembers {
public:
    virtual ~TarMembers() = default;
    virtual void Begin(const std::string& name, uint64_t size) = 0;
    virtual void Data(const unsigned char* bytes, uint32_t count) = 0;
    virtual void End() = 0;
};

class TarStream : public ByteSink {
public:
    explicit TarStream(TarMembers& members) : members_(members) {}
    TarStream(const TarStream&) = delete;
    TarStream& operator=(const TarStream&) = delete;
    bool Take(const unsigned char* bytes, uint32_t count) override;
    // True when the archive ended where a tar archive may: after a whole
    // member, at its zero blocks or at the end of the bytes.
    bool EndedWell() const { return !damaged_ && filled_ == 0 && left_ == 0 && padding_ == 0; }
    bool damaged() const { return damaged_; }

private:
    bool Header();

    TarMembers& members_;
    unsigned char block_[kTarBlock];
    uint32_t filled_ = 0;
    uint64_t left_ = 0;     // data of the current member still to come
    uint64_t padding_ = 0;  // to the next block
    bool inMember_ = false;
    bool skipping_ = false;  // data of a header that is no regular member
    bool ended_ = false;
    bool damaged_ = false;
    std::string longName_;
    bool readingLongName_ = false;
};

}  // namespace refengine
