#include "codec_test_support.h"

#include <algorithm>
#include <random>

namespace codectest {

using refengine::CodecStatus;

const size_t kPieceSizes[4] = {0, 1, 7, 4096};

bool CollectSink::Take(const unsigned char* bytes_, uint32_t count) {
    if (count > largestPiece) largestPiece = count;
    if (total + count > limit_) return false;
    total += count;
    if (keep_) bytes.append(reinterpret_cast<const char*>(bytes_), count);
    return true;
}

Decoded DecodeInPieces(refengine::StreamDecoder& decoder, const std::string& input, size_t piece, uint64_t maxOutput) {
    CollectSink sink(maxOutput);
    Decoded result;
    result.status = CodecStatus::More;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(input.data());
    size_t at = 0;
    while (at < input.size()) {
        size_t n = piece == 0 ? input.size() - at : std::min(piece, input.size() - at);
        size_t used = 0;
        result.status = decoder.Feed(data + at, n, &used, sink);
        if (used > n || (result.status == CodecStatus::More && used != n)) result.brokeContract = true;
        if (result.brokeContract) break;
        at += used;
        if (result.status != CodecStatus::More) break;
    }
    if (result.status == CodecStatus::More) result.status = decoder.Finish(sink);
    if (result.status == CodecStatus::More) result.brokeContract = true;
    result.output = std::move(sink.bytes);
    result.used = at;
    result.checksumMismatch = decoder.checksumMismatch();
    result.largestPiece = sink.largestPiece;
    return result;
}

std::string RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    std::string out(count, '\0');
    for (char& c : out) c = char(random() & 0xff);
    return out;
}

std::string TextLike(size_t count, uint32_t seed) {
    static const char* const kWords[] = {
        "the ", "message ", "scanner ", "archive ", "of ",        "and ", "virus\n", "attachment ",
        "is ",  "clean. ",  "a ",       "header: ", "0123456789", "\r\n", "mail ",   "server "};
    std::mt19937 random(seed);
    std::string out;
    while (out.size() < count) out += kWords[random() % (sizeof kWords / sizeof kWords[0])];
    out.resize(count);
    return out;
}

std::vector<Sample> StandardSamples() {
    std::vector<Sample> samples;
    samples.push_back({"empty", ""});
    samples.push_back({"one byte", "x"});
    std::string all;
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b) all += char(b);
    }
    samples.push_back({"all byte values", all});
    samples.push_back({"repetitive", std::string(5000, 'a') + TextLike(200, 1) + std::string(70000, '\0')});
    samples.push_back({"text", TextLike(60000, 2)});
    samples.push_back({"incompressible", RandomBytes(40000, 3)});
    // Runs of each length between other bytes: the run-length stages
    // change behaviour at 4, at 4 + 255 and in between.
    std::string runs;
    for (int n = 1; n <= 300; ++n) {
        runs += std::string(size_t(n), char('A' + n % 7));
        runs += char('a' + n % 5);
    }
    samples.push_back({"runs 1..300", runs});
    samples.push_back({"mixture over one block", TextLike(150000, 4) + RandomBytes(60000, 5) + TextLike(50000, 6)});
    return samples;
}

const char* StatusName(CodecStatus status) {
    switch (status) {
        case CodecStatus::More:
            return "More";
        case CodecStatus::End:
            return "End";
        case CodecStatus::Stopped:
            return "Stopped";
        case CodecStatus::Damaged:
            return "Damaged";
        case CodecStatus::Unsupported:
            return "Unsupported";
        case CodecStatus::TooLarge:
            return "TooLarge";
        case CodecStatus::Truncated:
            return "Truncated";
    }
    return "?";
}

}  // namespace codectest
