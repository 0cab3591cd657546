// What Outlook's two containers share: the MAPI property ids that name
// attachments and carry message bodies, and member names reduced to text
// every host can show and store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace refengine {

// Property ids (the high half of a property tag).
constexpr uint16_t kPidBody = 0x1000;
constexpr uint16_t kPidRtfCompressed = 0x1009;
constexpr uint16_t kPidBodyHtml = 0x1013;
constexpr uint16_t kPidDisplayName = 0x3001;
constexpr uint16_t kPidAttachDataObject = 0x3701;
constexpr uint16_t kPidAttachFilename = 0x3704;
constexpr uint16_t kPidAttachLongFilename = 0x3707;

// Property types (the low half).
constexpr uint16_t kPtObject = 0x000D;
constexpr uint16_t kPtString8 = 0x001E;
constexpr uint16_t kPtUnicode = 0x001F;
constexpr uint16_t kPtBinary = 0x0102;

// A name stored as UTF-16LE (up to its first zero) or as 8-bit text, kept to
// printable ASCII: anything else, and characters a path or a shell would
// read as syntax, become '_'. At most kMaxMemberNameKept characters.
std::string SafeNameFromUtf16(const unsigned char* bytes, size_t count);
std::string SafeNameFromAnsi(const unsigned char* bytes, size_t count);

}  // namespace refengine
