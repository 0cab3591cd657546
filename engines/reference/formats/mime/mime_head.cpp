#include "mime_head.h"

#include <string>
#include <vector>

#include "mail_text.h"
#include "mime_records.h"

namespace refengine {
namespace {

// The head the walk decides formats by.
constexpr size_t kMailHeadBytes = 512;

const char* const kMailFields[] = {"from",
                                   "to",
                                   "subject",
                                   "date",
                                   "received",
                                   "return-path",
                                   "message-id",
                                   "cc",
                                   "reply-to",
                                   "sender",
                                   "delivered-to",
                                   "x-mailer",
                                   "in-reply-to",
                                   "references",
                                   "user-agent",
                                   "dkim-signature",
                                   "arc-seal",
                                   "arc-message-signature",
                                   "arc-authentication-results",
                                   "authentication-results",
                                   "received-spf"};

bool IsMailField(const std::string& name) {
    for (const char* field : kMailFields) {
        if (name == field) return true;
    }
    return false;
}

// The field name a head line starts, lowercase; empty when it starts none.
std::string HeadFieldName(const std::string& line) {
    if (!StartsField(line, HeaderSyntax::Naive)) return std::string();
    return Lowercase(TrimWhite(line.substr(0, line.find(':'))));
}

}  // namespace

bool LooksLikeMime(const unsigned char* head, size_t count) {
    std::vector<std::string> lines = HeadLines(head, count);
    lines.pop_back();  // the last line may go on past the head
    size_t i = 0;
    bool mbox = !lines.empty() && lines[0].compare(0, 5, "From ") == 0;
    if (mbox) ++i;
    int fields = 0, mailFields = 0;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        const std::string& line = lines[i];
        if (line[0] == ' ' || line[0] == '\t') continue;
        std::string name = HeadFieldName(line);
        if (name.empty()) return false;
        if (name == "mime-version" || name == "content-type") return true;
        ++fields;
        if (IsMailField(name)) ++mailFields;
    }
    // Long fields (signatures, trace fields) may fill the head before the
    // MIME ones: a head of header lines only, one of them a mail field.
    bool headFull = count >= kMailHeadBytes && i == lines.size();
    return mailFields >= 2 || (mbox && fields >= 1) || (headFull && mailFields >= 1);
}

}  // namespace refengine
