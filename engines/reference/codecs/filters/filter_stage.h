// A filter that sits between a decoder and the sink: it takes decoded
// bytes, transforms them, and passes them on, possibly holding a few back
// until it sees what follows them.
#pragma once

#include "codecs/codec.h"

namespace refengine {

class FilterStage : public ByteSink {
public:
    // The input ended: passes on what was held back. False when the next
    // sink refused.
    virtual bool Finish() = 0;
};

}  // namespace refengine
