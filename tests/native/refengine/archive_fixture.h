// What the archive tests share: the default base loaded, members built in
// the test, and a check that walks what it reports.
#pragma once

#include <string>

#include "common/zip_writer.h"
#include "refengine/engine_fixture.h"

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
};
