#include "liblzma_oracle.h"

#include <cstring>
#include <stdexcept>
#include <vector>

namespace oracle {

namespace {

std::string Run(lzma_stream& stream, const std::string& data, size_t flushEvery) {
    std::string out;
    std::vector<uint8_t> buffer(1 << 16);
    size_t offset = 0;
    for (;;) {
        size_t end = data.size();
        lzma_action action = LZMA_FINISH;
        if (flushEvery > 0 && end - offset > flushEvery) {
            end = offset + flushEvery;
            action = LZMA_FULL_FLUSH;
        }
        stream.next_in = reinterpret_cast<const uint8_t*>(data.data()) + offset;
        stream.avail_in = end - offset;
        lzma_ret ret;
        do {
            stream.next_out = buffer.data();
            stream.avail_out = buffer.size();
            ret = lzma_code(&stream, action);
            out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream.avail_out);
        } while (ret == LZMA_OK && (stream.avail_in > 0 || stream.avail_out == 0));
        offset = end;
        if (action == LZMA_FINISH) {
            if (ret != LZMA_STREAM_END) throw std::runtime_error("liblzma encoder failed");
            break;
        }
        // A full flush is over when lzma_code answers STREAM_END.
        while (ret == LZMA_OK) {
            stream.next_out = buffer.data();
            stream.avail_out = buffer.size();
            ret = lzma_code(&stream, action);
            out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream.avail_out);
        }
        if (ret != LZMA_STREAM_END) throw std::runtime_error("liblzma flush failed");
    }
    lzma_end(&stream);
    return out;
}

lzma_options_lzma Preset(uint32_t preset) {
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, preset)) throw std::runtime_error("bad preset");
    return options;
}

Result Decode(lzma_stream& stream, const std::string& input, size_t maxOutput) {
    Result result;
    std::vector<uint8_t> buffer(1 << 16);
    stream.next_in = reinterpret_cast<const uint8_t*>(input.data());
    stream.avail_in = input.size();
    for (;;) {
        stream.next_out = buffer.data();
        stream.avail_out = buffer.size();
        lzma_ret ret = lzma_code(&stream, LZMA_FINISH);
        result.bytes.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream.avail_out);
        if (result.bytes.size() > maxOutput) {
            result.outputCapped = true;
            result.ret = LZMA_OK;
            break;
        }
        if (ret != LZMA_OK) {
            result.ret = ret;
            break;
        }
    }
    lzma_end(&stream);
    return result;
}

}  // namespace

std::string XzEncode(const std::string& data, const XzOptions& options) {
    lzma_options_lzma lzma = Preset(options.preset);
    if (options.dictionarySize != 0) lzma.dict_size = options.dictionarySize;
    lzma_options_bcj bcj;
    std::memset(&bcj, 0, sizeof bcj);
    bcj.start_offset = options.x86Start;
    lzma_options_delta delta;
    std::memset(&delta, 0, sizeof delta);
    delta.type = LZMA_DELTA_TYPE_BYTE;
    delta.dist = options.delta;
    lzma_filter filters[4];
    size_t n = 0;
    if (options.delta != 0) filters[n++] = {LZMA_FILTER_DELTA, &delta};
    if (options.x86) filters[n++] = {LZMA_FILTER_X86, &bcj};
    if (options.arm) filters[n++] = {LZMA_FILTER_ARM, nullptr};
    filters[n++] = {LZMA_FILTER_LZMA2, &lzma};
    filters[n] = {LZMA_VLI_UNKNOWN, nullptr};

    lzma_stream stream = LZMA_STREAM_INIT;
    lzma_ret ret;
    if (options.blockSize > 0) {
        lzma_mt mt;
        std::memset(&mt, 0, sizeof mt);
        mt.threads = 1;
        mt.block_size = options.blockSize;
        mt.filters = filters;
        mt.check = options.check;
        ret = lzma_stream_encoder_mt(&stream, &mt);
    } else {
        ret = lzma_stream_encoder(&stream, filters, options.check);
    }
    if (ret != LZMA_OK) throw std::runtime_error("liblzma encoder setup failed");
    return Run(stream, data, options.flushEvery);
}

std::string LzmaAloneEncode(const std::string& data, uint32_t preset, uint32_t lc, uint32_t lp, uint32_t pb) {
    lzma_options_lzma lzma = Preset(preset);
    lzma.lc = lc;
    lzma.lp = lp;
    lzma.pb = pb;
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&stream, &lzma) != LZMA_OK) throw std::runtime_error("liblzma encoder setup failed");
    return Run(stream, data, 0);
}

std::string LzmaKnownSizeEncode(const std::string& data, uint32_t preset, bool endMarker) {
    lzma_options_lzma lzma = Preset(preset);
    lzma.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &lzma}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&stream, filters) != LZMA_OK) throw std::runtime_error("liblzma encoder setup failed");
    std::string body = Run(stream, data, 0);
    std::string header(13, '\0');
    header[0] = static_cast<char>((lzma.pb * 5 + lzma.lp) * 9 + lzma.lc);
    for (int i = 0; i < 4; ++i) header[1 + i] = static_cast<char>(lzma.dict_size >> (8 * i));
    uint64_t size = data.size();
    for (int i = 0; i < 8; ++i) header[5 + i] = static_cast<char>(size >> (8 * i));
    return header + body;
}

Result XzDecode(const std::string& input, size_t maxOutput, uint64_t memoryLimit) {
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&stream, memoryLimit, LZMA_CONCATENATED) != LZMA_OK) {
        throw std::runtime_error("liblzma decoder setup failed");
    }
    return Decode(stream, input, maxOutput);
}

Result LzmaAloneDecode(const std::string& input, size_t maxOutput, uint64_t memoryLimit) {
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&stream, memoryLimit) != LZMA_OK) throw std::runtime_error("liblzma decoder setup failed");
    return Decode(stream, input, maxOutput);
}

}  // namespace oracle
