// winmail.dat (TNEF) and compound files (.msg, Office documents) through
// the engine: walked member by member like ZIP, named as Outlook names the
// attachments, damage answered with its bit and never clean; and what
// Debian's tnef and Python's olefile extract from the same files is found.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "common/eicar.h"
#include "common/outlook_writer.h"
#include "refengine/archive_fixture.h"

namespace {

const std::string kFound = "=1(Eicar-Test-Signature)";

TnefAttachment Attached(const std::string& title, const std::string& data) {
    TnefAttachment a;
    a.title = title;
    a.data = data;
    return a;
}

MsgAttachment MsgFile(const std::string& longName, const std::string& data) {
    MsgAttachment a;
    a.longName = longName;
    a.data = data;
    return a;
}

// The ends of a TNEF stream's records: a stream cut there reads as a
// shorter one.
std::vector<size_t> RecordEnds(const std::string& tnef) {
    std::vector<size_t> ends = {6};
    for (size_t at = 6; at + 9 <= tnef.size();) {
        uint32_t length = 0;
        for (int i = 0; i < 4; ++i) length |= uint32_t(static_cast<unsigned char>(tnef[at + 5 + i])) << (8 * i);
        at += 9 + length + 2;
        ends.push_back(at);
    }
    return ends;
}

// True when a member's answer or the header request that ended the walk
// carries the bit.
bool AnswersFailure(const std::string& walk, uint32_t bit) {
    for (size_t at = walk.find('='); at != std::string::npos; at = walk.find('=', at + 1)) {
        uint32_t flags = static_cast<uint32_t>(std::strtoul(walk.c_str() + at + 1, nullptr, 16));
        if (flags & bit && !(flags & 1)) return true;
    }
    return false;
}

}  // namespace

class OutlookTest : public ArchiveTest {
protected:
    std::string eicar_ = EicarText();

    TnefMessage TwoAttachments() {
        TnefMessage m;
        m.body = "See the attached files.";
        m.attachments.push_back(Attached("clean.txt", "nothing here"));
        TnefAttachment signed_ = Attached("EICAR~1.COM", eicar_);
        signed_.longName = "eicar test file.com";
        m.attachments.push_back(signed_);
        return m;
    }
};

TEST_F(OutlookTest, TnefAttachmentsBodiesAndEmbeddedMessagesAreWalked) {
    EXPECT_EQ(WalkFile("winmail.dat", BuildTnef(TwoAttachments())),
              "TNEF:message.txt=0;clean.txt=0;eicar test file.com" + kFound + ";end");

    // Data in the attachment's property list only, a body property, and an
    // embedded message: a nested level of its own.
    TnefMessage inner;
    inner.attachments.push_back(Attached("inner.com", eicar_));
    TnefMessage outer;
    outer.propsBody = eicar_;
    TnefAttachment object;
    object.title = "object.bin";
    object.hasData = false;
    object.object = eicar_;
    outer.attachments.push_back(object);
    TnefAttachment embedded;
    embedded.title = "Fwd: inner";
    embedded.hasData = false;
    embedded.object = BuildTnef(inner);
    embedded.objectIsEmbedded = true;
    outer.attachments.push_back(embedded);
    EXPECT_EQ(WalkFile("winmail.dat", BuildTnef(outer)), "TNEF:message.txt" + kFound + ";object.bin" + kFound +
                                                             ";Fwd_ inner=1000[TNEF:inner.com" + kFound + ";end];end");
}

TEST_F(OutlookTest, TnefChecksumErrorsAreReportedAndTheDataStillChecked) {
    TnefMessage m = TwoAttachments();
    m.attachments[0].badChecksum = true;
    m.attachments[1].badChecksum = true;
    EXPECT_EQ(WalkFile("winmail.dat", BuildTnef(m)),
              "TNEF:message.txt=0;clean.txt=2000;eicar test file.com" + kFound + ";end");
}

TEST_F(OutlookTest, ATnefStreamCutShortIsNeverClean) {
    const std::string whole = BuildTnef(TwoAttachments());
    std::vector<size_t> ends = RecordEnds(whole);
    int cuts = 0;
    for (size_t length = 4; length < whole.size(); ++length) {
        // At a record's end the stream reads as a complete shorter one,
        // unless an attachment was left without its data.
        if (std::find(ends.begin(), ends.end(), length) != ends.end()) continue;
        std::string walk = WalkFile("winmail.dat", whole.substr(0, length));
        EXPECT_TRUE(AnswersFailure(walk, 0x80)) << length << ": " << walk;
        ++cuts;
    }
    EXPECT_GT(cuts, 100);
    // Cut after an attachment's first record: it has no data yet.
    size_t rend = ends[5];
    EXPECT_EQ(WalkFile("winmail.dat", whole.substr(0, rend)), "TNEF:message.txt=0;header=80");
}

TEST_F(OutlookTest, MsgAttachmentsAreNamedByTheirLongNames) {
    std::vector<MsgAttachment> attachments = {MsgFile("report.pdf", "%PDF clean"), MsgFile("eicar test.com", eicar_)};
    EXPECT_EQ(WalkFile("mail.msg", BuildCompoundFile(MsgNodes(attachments))),
              "OLE2:__substg1.0_0037001F=0;__properties_version1.0=0;"
              "__attach_version1.0_#00000000/__substg1.0_3707001F=0;report.pdf=0;"
              "__attach_version1.0_#00000001/__substg1.0_3707001F=0;eicar test.com" +
                  kFound + ";end");

    // An embedded message's attachment, named after the attachment that holds it.
    MsgAttachment forwarded;
    forwarded.longName = "forwarded.msg";
    forwarded.isEmbedded = true;
    forwarded.embedded = {MsgFile("inner.com", eicar_)};
    std::string walk = WalkFile("mail.msg", BuildCompoundFile(MsgNodes({forwarded})));
    EXPECT_NE(walk.find(";forwarded.msg/inner.com" + kFound + ";"), std::string::npos) << walk;
    EXPECT_EQ(walk.substr(walk.size() - 4), ";end") << walk;
}

TEST_F(OutlookTest, CompoundFileStreamsAreWalkedByTheirPaths) {
    std::vector<CfbNode> document = {{"WordDocument", false, Filler(5000)},
                                     {"ObjectPool", true, ""},
                                     {"ObjectPool/_1234", true, ""},
                                     {"ObjectPool/_1234/\x01Ole10Native", false, eicar_},
                                     {"\x05SummaryInformation", false, Filler(300)}};
    const std::string expected =
        "OLE2:WordDocument=0;ObjectPool/_1234/_Ole10Native" + kFound + ";_SummaryInformation=0;end";
    EXPECT_EQ(WalkFile("doc.doc", BuildCompoundFile(document)), expected);
    CfbLayout large;
    large.sectorSize = 4096;
    EXPECT_EQ(WalkFile("doc.doc", BuildCompoundFile(document, large)), expected);

    // A stream whose FAT outgrows the header's list: DIFAT sectors. The
    // test file counts only as a whole object: a record of the stream's tail.
    std::string big = Filler(7 << 20) + "<<the stream's tail>>";
    ASSERT_EQ(LoadBase("Big.Tail:0:EOF-21:3c3c7468652073747265616d2773207461696c3e3e\n", "tail.vdb"), 1);
    EXPECT_EQ(WalkFile("big.doc", BuildCompoundFile({{"small", false, "s"}, {"Big", false, big}})),
              "OLE2:small=0;Big=1(Big.Tail);end");
}

TEST_F(OutlookTest, DamagedCompoundFilesAreBadArchivesAndTheWalkEnds) {
    std::vector<CfbNode> nodes = {{"tiny", false, "t"}, {"Data", false, Filler(9000)}};
    CfbLayout fatLoop, pastEnd, directoryLoop, miniCut;
    fatLoop.fatLoop = true;
    pastEnd.chainPastEnd = true;
    directoryLoop.directoryLoop = true;
    miniCut.rootSizeCut = 64;  // the mini stream holds one sector more than the root claims
    EXPECT_EQ(WalkFile("a.doc", BuildCompoundFile(nodes, fatLoop)), "OLE2:tiny=0;Data=4000;end");
    EXPECT_EQ(WalkFile("a.doc", BuildCompoundFile(nodes, pastEnd)), "OLE2:tiny=0;Data=4000;end");
    EXPECT_EQ(WalkFile("a.doc", BuildCompoundFile(nodes, directoryLoop)), "OLE2:header=4000");
    EXPECT_EQ(WalkFile("a.doc", BuildCompoundFile(nodes, miniCut)), "OLE2:tiny=4000;Data=0;end");
    // A directory no writer makes: more entries than any reader keeps.
    std::vector<CfbNode> many;
    for (int i = 0; i < (1 << 17); ++i) many.push_back({"s" + std::to_string(i), false, ""});
    EXPECT_EQ(WalkFile("a.doc", BuildCompoundFile(many)), "OLE2:header=4000");
    // Cut anywhere, a compound file is never clean.
    std::string whole = BuildCompoundFile(MsgNodes({MsgFile("e.com", eicar_)}));
    for (size_t length = 8; length < whole.size(); length += 61) {
        std::string walk = WalkFile("a.msg", whole.substr(0, length));
        EXPECT_TRUE(AnswersFailure(walk, 0x80) || AnswersFailure(walk, 0x4000)) << length << ": " << walk;
    }
}

// The tools mail servers and forensics use read the same files: each
// attachment or stream they extract that holds the test file is found,
// under the name they give it.
TEST_F(OutlookTest, WhatTnefAndOlefileExtractIsFound) {
#ifndef ORLIX_SYSTEM_PYTHON3
    GTEST_SKIP() << "no /usr/bin/python3";
#else
    TnefMessage props;
    TnefAttachment object;
    object.title = "object.bin";
    object.longName = "object long name.bin";
    object.hasData = false;
    object.object = eicar_;
    props.attachments = {Attached("a.txt", "a"), object};
    TnefMessage bad = TwoAttachments();
    bad.attachments[1].badChecksum = true;
    MsgAttachment forwarded;
    forwarded.longName = "forwarded.msg";
    forwarded.isEmbedded = true;
    forwarded.embedded = {MsgFile("inner.com", eicar_)};
    CfbLayout large;
    large.sectorSize = 4096;
    const std::vector<std::pair<std::string, std::string> > files = {
        {"two.dat", BuildTnef(TwoAttachments())},
        {"props.dat", BuildTnef(props)},
        {"bad.dat", BuildTnef(bad)},
        {"mail.msg", BuildCompoundFile(MsgNodes({MsgFile("x.txt", "x"), MsgFile("eicar test.com", eicar_)}))},
        {"embedded.msg", BuildCompoundFile(MsgNodes({forwarded}))},
        {"doc4k.doc", BuildCompoundFile({{"A", false, Filler(10000)}, {"B", true, ""}, {"B/C", false, eicar_}}, large)},
        {"big.doc", BuildCompoundFile({{"Big", false, Filler(200000)}, {"e", false, eicar_}})},
    };
    std::string list;
    for (const auto& file : files) {
        WriteFileBytes(dir_.File(file.first), file.second);
        list += file.first + "\n";
    }
    WriteFileBytes(dir_.File("files.txt"), list);
    WriteFileBytes(dir_.File("sample"), eicar_);
    std::string command = std::string(ORLIX_SYSTEM_PYTHON3) + " " + ORLIX_OUTLOOK_ORACLES + " '" + dir_.path() + "' '" +
                          dir_.File("sample") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::istringstream oracle(ReadFileBytes(dir_.File("oracle.txt")));
    std::map<std::string, int> finds;
    for (std::string line; std::getline(oracle, line);) {
        std::string file = line.substr(0, line.find('\t')), name = line.substr(line.find('\t') + 1);
        ASSERT_NE(name, "-") << file << ": the tool cannot read it";
        ++finds[file];
        std::string walk = WalkFile(file, ReadFileBytes(dir_.File(file)));
        // Found as the member itself, or inside it (an embedded message).
        size_t at = walk.find(name + "=1");
        EXPECT_TRUE(at != std::string::npos && walk.find(kFound) != std::string::npos)
            << file << ": the tool extracts " << name << "; " << walk;
    }
    for (const auto& file : files) EXPECT_GE(finds[file.first], 1) << file.first << ": the tool finds nothing";
#endif
}
