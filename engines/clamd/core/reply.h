// What clamd answers to one INSTREAM, read as a verdict.
#pragma once

#include <cstdint>
#include <string>

namespace clamdbridge {

enum class ReplyKind {
    Clean,      // "stream: OK"
    Found,      // "stream: NAME FOUND"
    Heuristic,  // a find whose name starts with "Heuristics."
    // Everything below means the object was not (wholly) checked.
    LimitsExceeded,  // "Heuristics.Limits.Exceeded.*": clamd stopped at one of its limits
    Error,           // "... ERROR"
    Garbage,         // anything else
};

struct Reply {
    ReplyKind kind = ReplyKind::Garbage;
    std::string name;  // the find's name for Found and Heuristic
};

// text: the reply without its terminating NUL.
Reply ParseReply(const std::string& text);

// A reply inside a session, "N: REPLY": false when it does not start with a
// request number (clamd's own "COMMAND READ TIMED OUT", for one).
bool SplitRequestNumber(const std::string& text, uint32_t* number, std::string* reply);

}  // namespace clamdbridge
