// What the archive tests share: the default base loaded, members built in
// the test, and a check that walks what it reports.
#pragma once

#include <memory>
#include <string>

#include "common/zip_writer.h"
#include "formats/archive_reader.h"
#include "host/callback_host.h"
#include "match/signature_detector.h"
#include "refengine/engine_fixture.h"
#include "walk/member_check.h"

inline std::string Filler(size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
    return s;
}

inline ZipMember Member(const std::string& name, const std::string& data, bool deflate = true) {
    ZipMember m;
    m.name = name;
    m.data = data;
    m.deflate = deflate;
    return m;
}

class ArchiveTest : public RefEngineTest {
protected:
    void SetUp() override {
        RefEngineTest::SetUp();
        ASSERT_EQ(LoadDefaultBase(), 2);
        Finish();
    }
    std::string WalkZip(const std::string& zip) {
        int32_t answer = Scan(zip);
        if (answer != orlix::ResultArchive) return "scan=" + Hex(answer);
        return Walk();
    }
    // The same for an object under its own name (formats that name a
    // member after the archive).
    std::string WalkFile(const std::string& name, const std::string& bytes) {
        WriteFileBytes(dir_.File(name), bytes);
        int32_t answer = ScanPath(dir_.File(name));
        if (answer != orlix::ResultArchive) return "scan=" + Hex(answer);
        return Walk();
    }
};

// A reader's host apart from any engine binding: the native host's table.
inline refengine::Host& ReaderHost() {
    static refengine::CallbackHost host;
    if (!host.bound()) host.Bind(nativehost::Table(), orlix::kCallbackSlotCount);
    return host;
}

inline std::unique_ptr<refengine::Spool> SpoolOf(const std::string& bytes) {
    std::unique_ptr<refengine::Spool> spool(new refengine::Spool(ReaderHost(), static_cast<uint32_t>(bytes.size())));
    spool->Append(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    return spool;
}

// One reader's members and their answers under the given bounds, matched
// against no records.
inline std::string WalkReader(refengine::ArchiveReader& reader, const refengine::UnpackLimits& limits) {
    refengine::Database records;
    refengine::SignatureDetector detector(records);
    refengine::CheckBudget budget(limits);
    std::string out, name;
    while (reader.Next(name) == 0) {
        refengine::MemberOutcome outcome;
        refengine::WalkMemberChecks checks(ReaderHost(), detector, budget, name, outcome);
        out += name + "=" + Hex(static_cast<int32_t>(reader.Extract(checks))) + ";";
    }
    return out;
}
