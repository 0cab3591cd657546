// Writers of Outlook's containers for tests. TNEF: message bodies,
// attachments by attribute and by property list, embedded messages, a
// broken checksum on purpose. Compound files: storages and streams (mini
// stream and regular sectors, 512- or 4096-byte sectors, DIFAT sectors
// once the FAT outgrows the header), .msg attachments and embedded
// messages, and the damage a reader must survive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TnefAttachment {
    std::string title;  // attAttachTitle, when not empty
    std::string data;   // attAttachData, when hasData
    bool hasData = true;
    std::string longName;           // PidTagAttachLongFilename (UTF-16) in attAttachment, when not empty
    std::string object;             // PidTagAttachDataObject in attAttachment, when not empty
    bool objectIsEmbedded = false;  // stored as an object: an interface id in front
    bool badChecksum = false;       // on attAttachData
};

struct TnefMessage {
    std::string body;       // attBody, when not empty
    std::string propsBody;  // PidTagBody in attMsgProps, when not empty
    std::vector<TnefAttachment> attachments;
};
std::string BuildTnef(const TnefMessage& message);

struct CfbNode {
    std::string path;  // storage names joined by '/', below the root
    bool storage = false;
    std::string data;  // a stream's bytes
};

struct CfbLayout {
    uint32_t sectorSize = 512;  // 512 (version 3) or 4096 (version 4)
    // Damage, each to the first stream kept in regular sectors.
    bool fatLoop = false;        // its second sector's FAT entry points at its first
    bool chainPastEnd = false;   // its first sector's FAT entry points past the file
    bool directoryLoop = false;  // the directory chain's end points at its start
    uint32_t rootSizeCut = 0;    // bytes taken off the root's size (the mini stream's)
};
std::string BuildCompoundFile(const std::vector<CfbNode>& nodes, const CfbLayout& layout = CfbLayout());

// A .msg message: attachments with their long names, and embedded messages.
struct MsgAttachment {
    std::string longName;                 // __substg1.0_3707001F, when not empty
    std::string data;                     // __substg1.0_37010102, unless embedded
    std::vector<MsgAttachment> embedded;  // the attachments of an embedded message
    bool isEmbedded = false;
};
// The nodes of a message's streams under prefix (empty for the file's root).
std::vector<CfbNode> MsgNodes(const std::vector<MsgAttachment>& attachments, const std::string& prefix = "");
