#include "mime_structure.h"

#include <algorithm>

#include "mail_text.h"
#include "mime_records.h"
#include "orlix/contract.h"
#include "transfer_decoding.h"

namespace refengine {
namespace {

// Header lines and bytes of one block kept at most; further ones are
// passed over.
constexpr size_t kMaxHeaderLines = 1000;
constexpr size_t kMaxHeaderBytes = 256 * 1024;

enum class Delimiter { None, Open, Close };

struct Frame {
    std::string boundary;
    uint64_t bodyStart;
    bool sawDelimiter;
    bool digest;  // multipart/digest: parts are messages unless they say otherwise
};

// What an entity's header block says under the reading's choices.
struct Entity {
    std::string type;
    std::string boundary;
    MimeLeaf leaf;
};

bool OnlyWhite(const std::string& text, size_t from) {
    return text.find_first_not_of(" \t", from) == std::string::npos;
}

bool IsTextual(const std::string& type) {
    return type.compare(0, 5, "text/") == 0 || type == "application/octet-stream" ||
           type.find("uu") != std::string::npos || type.find("binhex") != std::string::npos;
}

class StructureReader {
public:
    StructureReader(Host& host, ByteSource& source, uint64_t start, uint64_t end, uint32_t choices,
                    MimeReading& reading)
        : lines_(host, source, start, end), end_(std::min(end, source.Size())), choices_(choices), out_(reading) {}

    void Run();

private:
    enum class Stop { Blank, Text, Delimiter, End };

    // The next line, the one put back first; false at the end (or a failure).
    bool Read(TextLine& line);
    Delimiter Match(const TextLine& line, size_t& level);
    Stop ReadHeaders(std::vector<std::string>& headers, uint64_t& bodyStart, Delimiter& delimiter, size_t& level);
    Entity Interpret(const std::vector<std::string>& headers, bool digest);
    // Lines up to a delimiter of an open multipart or the end; lastEnd: the
    // end of the last line's text before it. leaf: tracks base64 padding.
    Stop Scan(uint64_t& lastEnd, Delimiter& delimiter, size_t& level, MimeLeaf* leaf);
    void AddLeaf(const MimeLeaf& leaf);

    LineReader lines_;
    uint64_t end_;
    uint32_t choices_;
    MimeReading& out_;
    std::vector<Frame> frames_;
    TextLine held_;
    bool holding_ = false;
    TextLine delimiterLine_;  // the last delimiter matched
};

bool StructureReader::Read(TextLine& line) {
    if (holding_) {
        holding_ = false;
        line = held_;
        return true;
    }
    int got = lines_.Next(line);
    if (got == -1) out_.failure |= orlix::ResultReadError;
    return got == 1;
}

Delimiter StructureReader::Match(const TextLine& line, size_t& level) {
    const std::string& text = line.text;
    if (text.size() < 2 || text[0] != '-' || text[1] != '-') return Delimiter::None;
    for (size_t i = frames_.size(); i-- > 0;) {
        const std::string& boundary = frames_[i].boundary;
        if (text.compare(2, boundary.size(), boundary) != 0) continue;
        size_t rest = 2 + boundary.size();
        bool close = text.compare(rest, 2, "--") == 0;
        size_t after = close ? rest + 2 : rest;
        bool exact = after == text.size() && !line.longer;
        bool white = !line.longer && OnlyWhite(text, after);
        if (white && !exact) out_.choices |= kReadExactDelimiter;
        if (!white) out_.choices |= kReadPrefixDelimiter;
        bool matches = (choices_ & kReadPrefixDelimiter) ? true : (choices_ & kReadExactDelimiter) ? exact : white;
        if (!matches) continue;
        level = i;
        delimiterLine_ = line;
        return close ? Delimiter::Close : Delimiter::Open;
    }
    return Delimiter::None;
}

StructureReader::Stop StructureReader::ReadHeaders(std::vector<std::string>& headers, uint64_t& bodyStart,
                                                   Delimiter& delimiter, size_t& level) {
    HeaderSyntax syntax = (choices_ & kReadNaiveSyntax) ? HeaderSyntax::Naive : HeaderSyntax::Rfc;
    TextLine line;
    bool first = true;
    size_t kept = 0;
    while (Read(line)) {
        // An mbox's separator line before a message's headers.
        if (first && frames_.empty() && line.text.compare(0, 5, "From ") == 0) {
            first = false;
            continue;
        }
        first = false;
        if (!frames_.empty() && (delimiter = Match(line, level)) != Delimiter::None) {
            bodyStart = line.start;
            return Stop::Delimiter;
        }
        if (line.text.empty() && !line.longer) {
            bodyStart = line.end;
            return Stop::Blank;
        }
        bool folded = line.text[0] == ' ' || line.text[0] == '\t';
        bool field = StartsField(line.text, syntax);
        if (StartsField(line.text, HeaderSyntax::Rfc) != StartsField(line.text, HeaderSyntax::Naive))
            out_.choices |= kReadNaiveSyntax;
        if (folded || field) {
            if (headers.size() < kMaxHeaderLines && kept + line.text.size() <= kMaxHeaderBytes) {
                kept += line.text.size();
                headers.push_back(line.text);
            }
            continue;
        }
        // A line that is no header field starts the body.
        held_ = line;
        holding_ = true;
        bodyStart = line.start;
        return Stop::Text;
    }
    bodyStart = end_;
    return Stop::End;
}

Entity StructureReader::Interpret(const std::vector<std::string>& headers, bool digest) {
    HeaderSyntax syntax = (choices_ & kReadNaiveSyntax) ? HeaderSyntax::Naive : HeaderSyntax::Rfc;
    bool differs = false;
    std::vector<HeaderField> fields = SplitFields(headers, syntax, differs);
    if (differs) out_.choices |= kReadNaiveSyntax;
    std::vector<MediaType> types;
    Entity entity;
    std::string fileName;
    bool fileUtf8 = false;
    for (const HeaderField& field : fields) {
        bool relevant = true;
        if (field.name == "content-type") {
            types.push_back(ParseMediaType(field.value, syntax));
        } else if (field.name == "content-transfer-encoding") {
            std::string token = ParseEncodingToken(field.value, syntax);
            std::vector<std::string>& encodings = entity.leaf.encodings;
            if (std::find(encodings.begin(), encodings.end(), token) == encodings.end()) encodings.push_back(token);
        } else if (field.name == "content-disposition") {
            if (fileName.empty()) fileName = ParseFileName(field.value, syntax, fileUtf8);
        } else {
            relevant = false;
        }
        if (relevant && SyntaxMatters(field.value)) out_.choices |= kReadNaiveSyntax;
    }
    MediaType media;
    if (!types.empty()) {
        for (const MediaType& other : types) {
            if (other.type != types[0].type || other.boundaries != types[0].boundaries) out_.choices |= kReadLastField;
        }
        media = (choices_ & kReadLastField) ? types.back() : types.front();
    }
    entity.type = media.type.empty() ? (digest ? "message/rfc822" : "text/plain") : media.type;
    if (!media.boundaries.empty()) {
        for (const std::string& other : media.boundaries) {
            if (other != media.boundaries[0]) out_.choices |= kReadLastField;
        }
        std::string boundary = (choices_ & kReadLastField) ? media.boundaries.back() : media.boundaries.front();
        size_t last = boundary.find_last_not_of(" \t");
        std::string trimmed = last == std::string::npos ? std::string() : boundary.substr(0, last + 1);
        if (trimmed != boundary) out_.choices |= kReadBoundaryAsGiven;
        entity.boundary = (choices_ & kReadBoundaryAsGiven) ? boundary : trimmed;
    }
    bool utf8 = fileUtf8;
    std::string name = fileName;
    if (name.empty()) {
        name = media.name;
        utf8 = media.nameUtf8;
    }
    entity.leaf.name = SafeName(name, utf8);
    entity.leaf.message = entity.type == "message/rfc822";
    entity.leaf.textual = IsTextual(entity.type);
    return entity;
}

StructureReader::Stop StructureReader::Scan(uint64_t& lastEnd, Delimiter& delimiter, size_t& level, MimeLeaf* leaf) {
    bool base64 = leaf && std::find(leaf->encodings.begin(), leaf->encodings.end(), "base64") != leaf->encodings.end();
    bool padSeen = false;
    TextLine line;
    while (Read(line)) {
        if ((delimiter = Match(line, level)) != Delimiter::None) return Stop::Delimiter;
        lastEnd = line.textEnd;
        if (!base64 || leaf->padInside) continue;
        // Data after padding decodes two ways; a line too long to see
        // whole may hide some.
        if (line.longer) leaf->padInside = true;
        for (unsigned char c : line.text) {
            if (c == '=')
                padSeen = true;
            else if (padSeen && IsBase64Letter(c))
                leaf->padInside = true;
        }
    }
    lastEnd = end_;
    return Stop::End;
}

void StructureReader::AddLeaf(const MimeLeaf& leaf) {
    if (out_.leaves.size() >= kMaxLeaves) {
        out_.failure |= orlix::ResultUnpackError;
        return;
    }
    out_.leaves.push_back(leaf);
}

void StructureReader::Run() {
    Stop stop;
    Delimiter delimiter = Delimiter::None;
    size_t level = 0;
    for (;;) {
        // An entity starts: its headers, then a multipart's preamble or a leaf's body.
        std::vector<std::string> headers;
        uint64_t bodyStart = 0;
        stop = ReadHeaders(headers, bodyStart, delimiter, level);
        bool digest = !frames_.empty() && frames_.back().digest;
        Entity entity = Interpret(headers, digest);
        bool multipart = entity.type.compare(0, 10, "multipart/") == 0 && !entity.boundary.empty();
        if (multipart && frames_.size() >= kMaxMultipartDepth) {
            out_.failure |= orlix::ResultUnpackError;
            multipart = false;
        }
        uint64_t lastEnd = bodyStart;
        if (multipart && stop != Stop::Delimiter && stop != Stop::End) {
            frames_.push_back({entity.boundary, bodyStart, false, entity.type == "multipart/digest"});
            stop = Scan(lastEnd, delimiter, level, nullptr);
        } else {
            entity.leaf.start = bodyStart;
            if (stop != Stop::Delimiter) stop = Scan(lastEnd, delimiter, level, &entity.leaf);
            entity.leaf.end = std::max(lastEnd, bodyStart);
            entity.leaf.cut = stop == Stop::End && !frames_.empty();
            AddLeaf(entity.leaf);
        }
        // Delimiters close parts, and a closing one its multipart, until
        // the next part starts or the object ends.
        for (;;) {
            if (stop == Stop::End) {
                for (const Frame& frame : frames_) {
                    if (frame.sawDelimiter) out_.failure |= orlix::ResultUnpackError;  // cut off
                }
                // A multipart whose boundary never comes is text.
                for (const Frame& frame : frames_) {
                    if (frame.sawDelimiter) continue;
                    MimeLeaf text;
                    text.start = frame.bodyStart;
                    text.end = end_;
                    text.textual = true;
                    AddLeaf(text);
                }
                frames_.clear();
                return;
            }
            // Inner multiparts an outer delimiter ends are over.
            while (frames_.size() > level + 1) {
                const Frame& inner = frames_.back();
                if (!inner.sawDelimiter) {
                    MimeLeaf text;
                    text.start = inner.bodyStart;
                    text.end = std::max(inner.bodyStart, lastEnd);
                    text.textual = true;
                    AddLeaf(text);
                }
                frames_.pop_back();
            }
            frames_.back().sawDelimiter = true;
            if (delimiter == Delimiter::Open) break;
            frames_.pop_back();
            if (frames_.empty()) return;  // the epilogue of the outermost multipart
            stop = Scan(lastEnd, delimiter, level, nullptr);
        }
    }
}

}  // namespace

void ReadMimeStructure(Host& host, ByteSource& source, uint64_t start, uint64_t end, uint32_t choices,
                       MimeReading& reading) {
    reading = MimeReading();
    StructureReader(host, source, start, end, choices, reading).Run();
}

}  // namespace refengine
