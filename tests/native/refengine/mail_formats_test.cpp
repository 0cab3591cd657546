// Mail messages, mbox files, uuencode and BinHex through the engine: every
// part decoded and checked under its name, in every reading a message
// allows, cut-off input never clean.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/eicar.h"
#include "common/mail_writer.h"
#include "refengine/archive_fixture.h"

namespace {

const std::string kFound = "=1(Eicar-Test-Signature)";

std::string Attachment(const std::string& boundary, const std::string& file, const std::string& bytes) {
    return "--" + boundary + "\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n" +
           "Content-Disposition: attachment; filename=\"" + file + "\"\n\n" + Base64(bytes);
}

std::string TextPart(const std::string& boundary, const std::string& text) {
    return "--" + boundary + "\nContent-Type: text/plain\n\n" + text + "\n";
}

std::string Message(const std::string& contentType, const std::string& body) {
    return "From: someone@example.com\nTo: you@example.com\nSubject: a message\nMIME-Version: 1.0\n"
           "Content-Type: " +
           contentType + "\n\n" + body;
}

std::string Multipart(const std::string& boundary, const std::string& parts) {
    return Message("multipart/mixed; boundary=\"" + boundary + "\"", parts + "--" + boundary + "--\n");
}

struct MailCase {
    const char* file;
    std::string bytes;
    std::string expected;
};

class MailTest : public ArchiveTest {
protected:
    template <size_t N>
    void ExpectWalks(const MailCase (&cases)[N]) {
        for (const MailCase& c : cases) EXPECT_EQ(WalkFile(c.file, c.bytes), c.expected) << c.file;
    }
};

}  // namespace

TEST_F(MailTest, PartsAreDecodedAndWalkedUnderTheirNames) {
    const std::string eicar = EicarText();
    // Quoted-printable with escapes, a soft line break and white space a
    // transport added before a line end.
    std::string quoted;
    for (size_t i = 0; i < eicar.size(); ++i) {
        if (i == 30) quoted += "=  \n";
        if (eicar[i] == '$' || eicar[i] == '!')
            quoted += eicar[i] == '$' ? "=24" : "=21";
        else
            quoted += eicar[i];
    }
    std::string innerMessage =
        "From: y@example.com\nSubject: inner\nMIME-Version: 1.0\n"
        "Content-Type: application/octet-stream; name=\"inner.com\"\n"
        "Content-Transfer-Encoding: base64\n\n" +
        Base64(eicar);
    const std::string mbox =
        "From a@example.com Mon Jan  1 00:00:00 2024\nFrom: a@example.com\nSubject: one\n\n"
        "hello\n\nFrom b@example.com Mon Jan  1 00:00:01 2024\n" +
        innerMessage;
    std::string prose;
    while (prose.size() < 700) prose += "Some words before the encoded file, as a newsreader shows them.\n";
    const std::string uuText = Base64(prose + Uuencode("in-text.com", eicar) + "bye\n");
    const MailCase cases[] = {
        {"attachment.eml", Multipart("XX", TextPart("XX", "hello") + Attachment("XX", "eicar.com", eicar)),
         "MIME:part-1=0;eicar.com" + kFound + ";end"},
        {"quoted.eml",
         std::string("From: a@example.com\nSubject: q\nContent-Transfer-Encoding: quoted-printable\n\n") + quoted +
             "\n",
         "MIME:part-1" + kFound + ";end"},
        {"forward.eml",
         Multipart("F",
                   TextPart("F", "see the attached message") + "--F\nContent-Type: message/rfc822\n\n" + innerMessage),
         "MIME:part-1=0;part-2=1000[MIME:inner.com" + kFound + ";end];end"},
        {"mail.mbox", mbox,
         "MIME:message-1=1000[MIME:part-1=0;end];message-2=1000[MIME:inner.com" + kFound + ";end];end"},
        // Field runs before MIME-Version, past the walk's head.
        {"received.eml",
         std::string("Received: from a by b; Mon, 1 Jan 2024 00:00:00 +0000\n") + "Received: from c by d\n X-Long: " +
             std::string(500, 'x') + "\n" + Multipart("R", Attachment("R", "late.com", eicar)),
         "MIME:late.com" + kFound + ";end"},
        {"signed.eml",
         "DKIM-Signature: v=1; a=rsa-sha256; d=example.com;\n b=" + std::string(700, 'k') + "\n" +
             Multipart("D", Attachment("D", "signed.com", eicar)),
         "MIME:signed.com" + kFound + ";end"},
        // RFC 2231 sections (one percent-encoded UTF-8), RFC 2047 words.
        {"names.eml",
         Multipart("N",
                   "--N\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
                   "Content-Disposition: attachment; filename*0*=utf-8''%E2%82%ACuro; filename*1=\".com\"\n\n" +
                       Base64("clean") +
                       "--N\nContent-Type: application/octet-stream; name=\"=?utf-8?B?w6l0w6k=?= "
                       "=?iso-8859-1?Q?=E9t=E9?=.com\"\nContent-Transfer-Encoding: base64\n\n" +
                       Base64("clean") + "--N\nContent-Type: text/plain\n\nno name\n"),
         "MIME:_uro.com=0;_t__t_.com=0;part-3=0;end"},
        // uuencoded files in a text file past its head, and inside a
        // base64 text part.
        {"news.txt", prose + Uuencode("eicar.com", eicar) + "bye\n", "UUE:eicar.com" + kFound + ";end"},
        {"short.uue", "files:\n" + Uuencode("a.com", eicar) + Uuencode("b.txt", "clean"),
         "UUE:a.com" + kFound + ";b.txt=0;end"},
        {"short.hqx", BinHex("b.com", eicar, std::string("\x90rsrc", 5)),
         "BINHEX:b.com" + kFound + ";b.com.rsrc=0;end"},
        {"uu.eml", Multipart("U", "--U\nContent-Type: text/plain\nContent-Transfer-Encoding: base64\n\n" + uuText),
         "MIME:part-1=0;in-text.com" + kFound + ";end"},
    };
    ExpectWalks(cases);
}

TEST_F(MailTest, EveryReadingOfAnAmbiguousMessageIsChecked) {
    const std::string eicar = EicarText();
    const std::string clean = "--%\nContent-Type: text/plain\n\nclean\n";
    auto with = [](std::string text, const std::string& boundary) {
        for (size_t at; (at = text.find('%')) != std::string::npos;) text.replace(at, 1, boundary);
        return text;
    };
    // Base64 of the test file split in two, each half a whole number of
    // quanta: one part only where the line between them is no delimiter.
    const std::string whole = Base64(eicar, 1000);
    const std::string firstHalf = whole.substr(0, 36), secondHalf = whole.substr(36);
    // Padding in the middle: decoders that stop there, or go on after it,
    // or skip it.
    const std::string padded = Base64(eicar.substr(0, 31), 1000).substr(0, 44) + Base64(eicar.substr(31), 1000);
    std::string skipped = whole;
    skipped.insert(2, "=");
    const std::string single = "From: a@example.com\nSubject: s\nContent-Type: application/octet-stream\n";
    const MailCase cases[] = {
        // Two boundary parameters: parsers take the first or the last.
        {"boundaries.eml",
         Message("multipart/mixed; boundary=\"A\"; boundary=\"B\"",
                 with(clean, "A") + "--A--\n" + Attachment("B", "last.com", eicar) + "--B--\n"),
         "MIME:part-1=0;last.com" + kFound + ";end"},
        // Two Content-Type fields.
        {"types.eml",
         "From: a@example.com\nSubject: s\nContent-Type: text/plain\nContent-Type: multipart/mixed; boundary=T\n\n" +
             Attachment("T", "type.com", eicar) + "--T--\n",
         "MIME:part-1=0;type.com" + kFound + ";end"},
        // A boundary with trailing white space, read as given and trimmed.
        {"boundary-space.eml",
         Message("multipart/mixed; boundary=\"S \"",
                 with(clean, "S") + "--S--\n" + Attachment("S ", "given.com", eicar) + "--S --\n"),
         "MIME:part-1=0;given.com" + kFound + ";end"},
        // A delimiter line with trailing white space: a parser that wants
        // it exact reads both halves as one part.
        {"delimiter-space.eml",
         Message("multipart/mixed; boundary=\"_.:_\"", "--_.:_\nContent-Transfer-Encoding: base64\n\n" + firstHalf +
                                                           "\n--_.:_  \n\n" + secondHalf + "\n--_.:_--\n"),
         "MIME:part-1=0;part-2=0;part-3" + kFound + ";end"},
        // A line that only starts with the delimiter.
        {"delimiter-prefix.eml",
         Message("multipart/mixed; boundary=\"P\"",
                 with(clean, "P") + Attachment("Pjunk", "prefix.com", eicar) + "--P--\n"),
         "MIME:part-1=0;part-2=0;prefix.com" + kFound + ";end"},
        // Two transfer encodings: the part decoded by each.
        {"encodings.eml",
         single +
             "Content-Transfer-Encoding: 7bit\nContent-Transfer-Encoding: base64\n"
             "Content-Disposition: attachment; filename=cte.com\n\n" +
             whole,
         "MIME:cte.com=0;cte.com" + kFound + ";end"},
        {"padding.eml", single + "Content-Transfer-Encoding: base64\n\n" + padded,
         "MIME:part-1" + kFound + ";part-2=0;end"},
        {"padding-skipped.eml", single + "Content-Transfer-Encoding: base64\n\n" + skipped,
         "MIME:part-1=0;part-2" + kFound + ";end"},
        // Garbage inside base64 is skipped, not where decoding stops.
        {"garbage.eml",
         single + "Content-Transfer-Encoding: base64\n\n" + whole.substr(0, 20) + "*!~\n" + whole.substr(20),
         "MIME:part-1" + kFound + ";end"},
        // A comment that hides a boundary from naive parsers, and a folded
        // line that naive parsers take for a field.
        {"comment.eml",
         Message("multipart/mixed; (note; boundary=\"K2\") boundary=\"K1\"",
                 with(clean, "K1") + "--K1--\n" + Attachment("K2", "k2.com", eicar) + "--K2--\n"),
         "MIME:part-1=0;k2.com" + kFound + ";end"},
        {"folded.eml", single + "Subject: hello\n Content-Transfer-Encoding: base64\n\n" + whole,
         "MIME:part-1=0;part-2" + kFound + ";end"},
    };
    ExpectWalks(cases);
}

TEST_F(MailTest, CutOffInputAndTooManyReadingsAreNeverClean) {
    const std::string eicar = EicarText();
    std::string cutBinary = Multipart("C", TextPart("C", "hello") + Attachment("C", "cut.com", eicar));
    cutBinary.resize(cutBinary.rfind("--C--"));
    std::string cutClean = Multipart("C", TextPart("C", "hello") + Attachment("C", "clean.bin", Filler(300)));
    cutClean.resize(cutClean.size() - 40);
    // Every choice at once: more readings than one message gets. With one
    // choice fewer, no reading is cut off and the walk ends as it should.
    const std::string choices =
        "Content-Type: multipart/mixed; boundary=\"Q \"; boundary=\"R\"\n\n--Q \n\nx\n--Q  \n\ny\n--Qz\n\nz\n"
        "--Q --\n--Q--\n";
    const std::string fewer = "From: a@example.com\nSubject: s\nMIME-Version: 1.0\n" + choices;
    const std::string every =
        "From: a@example.com\nSubject: s\n X-Folded: looks like a field\nMIME-Version: 1.0\n" + choices;
    const MailCase cases[] = {
        // Checked as far as it goes: a find is still one.
        {"cut.eml", cutBinary, "MIME:part-1=0;cut.com" + kFound + ";header=80"},
        {"cut-clean.eml", cutClean, "MIME:part-1=0;clean.bin=80;header=80"},
        {"no-end.txt", "files:\n" + Uuencode("clean.txt", Filler(200), false), "UUE:clean.txt=80;end"},
        {"no-end-found.txt", "files:\n" + Uuencode("e.com", eicar, false), "UUE:e.com" + kFound + ";end"},
    };
    ExpectWalks(cases);
    auto endsWith = [](const std::string& walk, const std::string& end) {
        return walk.size() >= end.size() && walk.compare(walk.size() - end.size(), end.size(), end) == 0;
    };
    std::string walk = WalkFile("fewer.eml", fewer);
    EXPECT_TRUE(endsWith(walk, "=0;end")) << walk;
    walk = WalkFile("readings.eml", every);
    EXPECT_TRUE(endsWith(walk, "=0;header=80")) << walk;
    EXPECT_EQ(walk.find("=80;"), std::string::npos) << walk;
}

TEST_F(MailTest, WhatPythonsEmailExtractsIsFound) {
#ifndef ORLIX_PYTHON3
    GTEST_SKIP() << "no python3";
#else
    WriteFileBytes(dir_.File("sample"), EicarText());
    std::string command =
        std::string(ORLIX_PYTHON3) + " " + ORLIX_MAIL_FORMS + " '" + dir_.path() + "' '" + dir_.File("sample") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::istringstream manifest(ReadFileBytes(dir_.File("manifest.txt")));
    int cases = 0;
    for (std::string line; std::getline(manifest, line); ++cases) {
        // name, must find, Python finds, a text the walk holds (names may hold spaces)
        std::istringstream fields(line);
        std::string name, must, python, holds;
        std::getline(fields, name, '\t');
        std::getline(fields, must, '\t');
        std::getline(fields, python, '\t');
        std::getline(fields, holds, '\t');
        int32_t answer = ScanPath(dir_.File(name));
        std::string walk = answer == orlix::ResultArchive ? Walk() : "scan=" + Hex(answer);
        if (must == "1" || python == "1")
            EXPECT_NE(walk.find(kFound), std::string::npos)
                << name << " (Python extracts it: " << python << "): " << walk;
        if (holds != "-") EXPECT_NE(walk.find(holds), std::string::npos) << name << ": " << walk;
    }
    EXPECT_GE(cases, 25);
#endif
}
