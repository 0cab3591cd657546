#include "mime_reader.h"

#include <algorithm>

#include "mail_text.h"
#include "mime_head.h"
#include "mime_records.h"
#include "orlix/contract.h"
#include "text_blocks.h"

namespace refengine {
namespace {

// Decoded text parts kept in memory up to this size for their blocks'
// search, larger ones in a temporary file of the host.
constexpr uint32_t kTextCopyMemory = 256 * 1024;

class SpoolSink : public ByteSink {
public:
    explicit SpoolSink(Spool* spool) : spool_(spool) {}
    bool Take(const unsigned char* bytes, uint32_t count) override { return spool_->Append(bytes, count); }

private:
    Spool* spool_;
};

bool IsChoiceSet(uint32_t reading) {
    // Exact and prefix delimiters are two alternatives to one choice.
    return !((reading & kReadExactDelimiter) && (reading & kReadPrefixDelimiter));
}

std::unique_ptr<ArchiveReader> OpenMime(Host& host, std::unique_ptr<ByteSource> source, const std::string&) {
    return std::unique_ptr<ArchiveReader>(new MimeReader(host, std::shared_ptr<ByteSource>(std::move(source))));
}

}  // namespace

const ArchiveFormat kMimeFormat = {"MIME", LooksLikeMime, OpenMime, nullptr, nullptr};

MimeReader::MimeReader(Host& host, std::shared_ptr<ByteSource> source) : host_(host), source_(std::move(source)) {
    unsigned char head[5] = {};
    mbox_ = source_->ReadAt(0, head, 5) == 5 && std::equal(head, head + 5, "From ");
    if (mbox_) SplitMbox();
}

void MimeReader::SplitMbox() {
    // A message starts after each "From " line at the start or after an
    // empty line; it ends where the next one starts.
    LineReader lines(host_, *source_, 0, source_->Size());
    TextLine line;
    bool afterEmpty = true;
    MimeLeaf message;
    bool open = false;
    uint32_t number = 0;
    for (int got; (got = lines.Next(line)) != 0;) {
        if (got == -1) {
            failure_ = orlix::ResultReadError;
            break;
        }
        if (afterEmpty && line.text.compare(0, 5, "From ") == 0) {
            if (open) queue_.push_back({message, Decoding::Identity});
            message = MimeLeaf();
            message.start = line.end;
            message.message = true;
            message.name = "message-" + std::to_string(++number);
            open = true;
        }
        message.end = line.end;
        afterEmpty = line.text.empty() && !line.longer;
        if (queue_.size() >= kMaxLeaves) {
            failure_ = orlix::ResultUnpackError;
            return;
        }
    }
    if (open) queue_.push_back({message, Decoding::Identity});
}

void MimeReader::QueueLeaf(const MimeLeaf& leaf) {
    std::vector<Decoding> decodings;
    for (const std::string& encoding : leaf.encodings) {
        if (encoding == "base64") {
            decodings.push_back(Decoding::Base64);
            if (leaf.padInside) decodings.push_back(Decoding::Base64Unpadded);
        } else if (encoding == "quoted-printable") {
            decodings.push_back(Decoding::QuotedPrintable);
        } else {
            decodings.push_back(Decoding::Identity);
        }
    }
    if (decodings.empty()) decodings.push_back(Decoding::Identity);
    for (Decoding decoding : decodings) {
        // A part every reading finds alike is announced once.
        if (!announced_.insert(std::make_tuple(leaf.start, leaf.end, decoding, leaf.message)).second) continue;
        if (announced_.size() > kMaxLeaves) {
            failure_ |= orlix::ResultUnpackError;
            return;
        }
        Member member;
        member.leaf = leaf;
        member.decoding = decoding;
        queue_.push_back(member);
    }
}

bool MimeReader::ReadNextReading() {
    if (mbox_) return false;
    uint32_t reading = 0;
    while (reading < kReadChoices && ((done_ >> reading & 1) || (reading & ~offered_) != 0 || !IsChoiceSet(reading)))
        ++reading;
    if (reading == kReadChoices) return false;
    if (readings_ == kMaxReadings) {
        failure_ |= orlix::ResultUnpackError;  // more readings than a check makes: never clean
        return false;
    }
    ++readings_;
    done_ |= 1u << reading;
    MimeReading parts;
    ReadMimeStructure(host_, *source_, 0, source_->Size(), reading, parts);
    offered_ |= parts.choices;
    failure_ |= parts.failure;
    for (const MimeLeaf& leaf : parts.leaves) QueueLeaf(leaf);
    return true;
}

uint32_t MimeReader::Next(std::string& name) {
    for (;;) {
        if (blocks_) {
            uint32_t answer = blocks_->Next(name);
            if (answer == 0) {
                inBlocks_ = true;
                return 0;
            }
            blocks_.reset();
            inBlocks_ = false;
            if (answer != orlix::ResultNoMoreMembers) return failure_ = answer;
        }
        if (!queue_.empty()) {
            current_ = queue_.front();
            queue_.pop_front();
            ++parts_;
            if (current_.leaf.name.empty()) current_.leaf.name = "part-" + std::to_string(parts_);
            name = current_.leaf.name;
            return 0;
        }
        if (failure_ & orlix::ResultReadError) return failure_;
        if (!ReadNextReading()) return failure_ ? failure_ : orlix::ResultNoMoreMembers;
    }
}

uint32_t MimeReader::Extract(MemberChecks& checks) {
    if (inBlocks_) return blocks_->Extract(checks);
    const MimeLeaf& leaf = current_.leaf;
    CheckBudget& budget = checks.budget();
    uint64_t size = leaf.end - leaf.start;
    if (current_.decoding != Decoding::Identity) {
        // Decoded once to learn the member's length, before any byte is matched.
        MeasureSink measure(budget);
        uint32_t failure = DecodeRange(host_, *source_, leaf.start, leaf.end, current_.decoding, measure);
        if (measure.over()) return orlix::ResultUnpackError;
        if (failure) return failure;
        size = measure.size();
    }
    if (size > budget.limits().memberBytes) return orlix::ResultUnpackError;
    std::unique_ptr<MemberCheck> check = checks.Begin({size, 0, false});
    std::shared_ptr<Spool> copy;
    bool searched = leaf.textual && !leaf.message;
    if (searched && current_.decoding != Decoding::Identity)
        copy.reset(new Spool(host_, static_cast<uint32_t>(std::min<uint64_t>(size, kTextCopyMemory))));
    SpoolSink copySink(copy.get());
    TeeSink tee(*check, copy ? &copySink : nullptr);
    uint32_t failure = DecodeRange(host_, *source_, leaf.start, leaf.end, current_.decoding, tee);
    // A part cut off is checked as far as it goes, and never clean.
    if (!failure && leaf.cut) failure = orlix::ResultUnpackError;
    uint32_t answer = check->Settle(failure);
    if (searched && !copy) {
        blocks_ = OpenTextBlocks(host_, std::make_shared<RangeSource>(source_, leaf.start, leaf.end));
    } else if (copy && !tee.secondFailed() && copy->Size() == size) {
        blocks_ = OpenTextBlocks(host_, copy);
    }
    return answer;
}

}  // namespace refengine
