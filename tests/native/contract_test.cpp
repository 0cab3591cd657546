// The contract's operation list against the table of docs/ENGINE_CONTRACT.md
// that engine authors read: the same codes, names and argument counts.
#include "orlix/contract.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

namespace {

// "none" is no argument; otherwise the arguments are separated by commas
// outside parentheses.
int CountArguments(const std::string& text) {
    if (text == "none") return 0;
    int count = 1, depth = 0;
    for (char c : text) {
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        count += c == ',' && depth == 0;
    }
    return count;
}

TEST(Contract, TheDocumentedOperationsAreTheContractsOwn) {
    std::ifstream doc(ORLIX_CONTRACT_DOC);
    ASSERT_TRUE(doc) << ORLIX_CONTRACT_DOC;
    const std::regex row(R"(^\| (\d+) \| `(Engine\w+)` \| ([^|]+?) \|)");
    int rows = 0;
    for (std::string line; std::getline(doc, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, row)) continue;
        ++rows;
        const orlix::OperationInfo* operation = orlix::FindOperation(std::stoi(m[1]));
        ASSERT_NE(operation, nullptr) << line;
        EXPECT_EQ(std::string(operation->name), m[2].str()) << line;
        EXPECT_EQ(operation->argumentCount, CountArguments(m[3].str())) << line;
    }
    EXPECT_EQ(rows, static_cast<int>(sizeof orlix::kOperations / sizeof orlix::kOperations[0]));
}

TEST(Contract, EverySlotOfTheTableHasAnArgumentCount) {
    // The slots with a procedure of the plug-in's own take what their
    // callbacks take; the counts are what a native host fills in too.
    EXPECT_EQ(orlix::kCallbackArgumentCounts[orlix::SlotReadFile], 3);
    EXPECT_EQ(orlix::kCallbackArgumentCounts[orlix::SlotOpenFile], 2);
    EXPECT_EQ(orlix::kCallbackArgumentCounts[orlix::SlotCreateTempFile], 1);
    EXPECT_EQ(orlix::kCallbackArgumentCounts[orlix::SlotGetFileDateTime], 3);
}

}  // namespace
