// The seam between the walk and whatever decides about the bytes: the walk
// hands every object and every member it reads to a Detector, and turns
// what it says into the contract's answers. The signature matcher is one
// detector; an engine may link the walk and the formats with its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace refengine {

// What a detector found in one object or member.
struct Finding {
    uint32_t flags = 0;  // the virus bits of the answer
    std::string name;
    // The find can be cut off its host object at cutAt (a body appended to
    // it), when cutKnown.
    bool curable = false;
    uint64_t cutAt = 0;
    bool cutKnown = false;
};

// The object or member about to be fed.
struct InspectedObject {
    // The object's name, or for a member the walk's path to it
    // (archive\member\...).
    std::string name;
    uint64_t size = 0;  // when known, its length
    bool sizeKnown = false;
    bool member = false;
};

// One object's bytes, fed in order from the first.
class Inspection {
public:
    virtual ~Inspection() = default;
    // False once the answer is settled: the rest need not be fed.
    virtual bool Feed(const unsigned char* bytes, size_t count) = 0;
    // Every byte was fed: 0, or the contract's error bits when the object
    // could not be judged (never to be read as clean).
    virtual uint32_t Finish() = 0;
    // The find, or null.
    virtual const Finding* found() const = 0;
};

class Detector {
public:
    virtual ~Detector() = default;
    // A check of one object and the members the walk unpacks from it
    // begins; it lasts until the next one begins.
    virtual void BeginCheck() {}
    virtual std::unique_ptr<Inspection> Inspect(const InspectedObject& object) = 0;
};

}  // namespace refengine
