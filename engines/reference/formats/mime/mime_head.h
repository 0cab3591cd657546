// What makes an object's head a mail: header fields from its start (after
// an mbox "From " line) naming MIME, or fields every mail has. The walk's
// probe and the search for encoded blocks in a text both ask it.
#pragma once

#include <cstddef>

namespace refengine {

bool LooksLikeMime(const unsigned char* head, size_t count);

}  // namespace refengine
