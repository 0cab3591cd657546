// The coders a 7z folder may name, by their method ids, each made a stage
// of the folder's chain over a decoder of the codecs layer.
#include <cstring>

#include "orlix/contract.h"
#include "sevenzip_folder.h"

namespace refengine {
namespace {

struct MethodId {
    unsigned char bytes[4];
    size_t length;
};

const MethodId kCopy = {{0x00}, 1};
const MethodId kAes = {{0x06, 0xF1, 0x07, 0x01}, 4};

bool Is(const SevenZipCoder& coder, const MethodId& id) {
    return coder.method.size() == id.length && std::memcmp(coder.method.data(), id.bytes, id.length) == 0;
}

class CopyStage : public SevenZipStage {
public:
    explicit CopyStage(ByteSink& next) : next_(next) {}
    uint32_t Feed(const unsigned char* bytes, size_t count) override {
        return next_.Take(bytes, static_cast<uint32_t>(count)) ? 0u : uint32_t{orlix::ResultUnpackError};
    }
    uint32_t Finish() override { return 0; }

private:
    ByteSink& next_;
};

}  // namespace

std::unique_ptr<SevenZipStage> MakeSevenZipStage(const SevenZipCoder& coder, uint64_t, uint64_t, ByteSink& next,
                                                 uint32_t& failure) {
    failure = 0;
    if (Is(coder, kCopy)) return std::unique_ptr<SevenZipStage>(new CopyStage(next));
    // Encrypted folders are answered as such; any other coder we do not
    // have leaves the member unchecked.
    failure = Is(coder, kAes) ? orlix::ResultPasswordProtected : orlix::ResultUnpackError;
    return nullptr;
}

}  // namespace refengine
