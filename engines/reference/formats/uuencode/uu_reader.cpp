#include "uu_reader.h"

#include "formats/mime/mail_text.h"
#include "formats/mime/transfer_decoding.h"
#include "orlix/contract.h"
#include "uu_records.h"

namespace refengine {
namespace {

}  // namespace

bool LooksLikeUu(const unsigned char* head, size_t count) {
    std::vector<std::string> lines = HeadLines(head, count);
    UuBegin begin;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (ParseUuBegin(lines[i], begin) && CouldFollowBegin(lines[i + 1], begin.base64)) return true;
    }
    return false;
}

uint32_t UuReader::Next(std::string& name) {
    if (error_) return error_;
    LineReader lines(host_, *source_, cursor_, source_->Size());
    TextLine line, after;
    UuBegin begin;
    for (;;) {
        int got = lines.Next(line);
        if (got == -1) return error_ = orlix::ResultReadError;
        if (got == 0) return orlix::ResultNoMoreMembers;
        if (line.longer || !ParseUuBegin(line.text, begin)) continue;
        uint64_t data = line.end;
        got = lines.Next(after);
        if (got == -1) return error_ = orlix::ResultReadError;
        // A begin line that ends the text is a block cut off before its data.
        if (got == 1 && !CouldFollowBegin(after.text, begin.base64)) continue;
        cursor_ = data;
        data_ = data;
        base64_ = begin.base64;
        name = SafeName(begin.name, false);
        return 0;
    }
}

uint32_t UuReader::Decode(ByteSink& out) {
    LineReader lines(host_, *source_, data_, source_->Size());
    TextLine line;
    TransferDecoder base64(Decoding::Base64);
    std::string bytes;
    for (;;) {
        int got = lines.Next(line);
        if (got == -1) return orlix::ResultReadError;
        if (got == 0) break;
        if (IsUuEnd(line.text, base64_)) {
            cursor_ = line.end;
            base64.Finish(out);
            return 0;
        }
        if (base64_) {
            if (!base64.Feed(reinterpret_cast<const unsigned char*>(line.text.data()),
                             static_cast<uint32_t>(line.text.size()), out))
                return 0;
            continue;
        }
        bytes.clear();
        if (line.longer || !DecodeUuLine(line.text, bytes)) return orlix::ResultUnpackError;
        if (!bytes.empty() &&
            !out.Take(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<uint32_t>(bytes.size())))
            return 0;
    }
    if (base64_) base64.Finish(out);
    return orlix::ResultUnpackError;  // no end line
}

uint32_t UuReader::Extract(MemberChecks& checks) {
    MeasureSink measure(checks.budget());
    uint32_t damage = Decode(measure);
    if (measure.over()) return orlix::ResultUnpackError;
    if (damage == orlix::ResultReadError) return damage;
    std::unique_ptr<MemberCheck> check = checks.Begin({measure.size(), 0, false});
    uint32_t again = Decode(*check);
    return check->Settle(damage ? damage : again);
}

}  // namespace refengine
