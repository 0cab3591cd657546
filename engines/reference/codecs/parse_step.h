// What one resumable step of a decoder came to.
#pragma once

namespace refengine {

enum class ParseStep {
    Done,       // the step is complete
    NeedInput,  // the bits in hand do not make up the next item
    Damaged,
    Unsupported,
};

}  // namespace refengine
