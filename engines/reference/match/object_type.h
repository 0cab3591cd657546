// The kind of file an object is, told from its head the way the open
// databases' scanner tells it, for body records of one target type: a
// magic at the start, or a PDF header early in the object.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pe_layout.h"

namespace refengine {

// The body records' target numbers.
enum class ObjectType : uint8_t { Any = 0, Pe = 1, Ole2 = 2, Mail = 4, Graphics = 5, Elf = 6, MachO = 9, Pdf = 10 };

// True for the targets the matcher tells apart.
bool KnownTarget(uint32_t target);

struct ObjectHead {
    ObjectType type = ObjectType::Any;
    bool pe = false;  // layout holds a PE image's sections (type Pe, headers sound)
    PeLayout layout;
};

// Decides from the first count bytes of an object of size bytes (all of
// it when final); false while more of the head is needed.
bool ProbeHead(const unsigned char* head, size_t count, uint64_t size, bool final, ObjectHead& out);

}  // namespace refengine
