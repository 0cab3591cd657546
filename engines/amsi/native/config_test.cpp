// amsi.vdb lines: what each accepts, what it changes, and what it refuses
// without changing anything.
#include <gtest/gtest.h>

#include <functional>

#include "amsi_config.h"

namespace {

using amsiengine::ApplyConfigLine;
using amsiengine::Settings;

struct LineCase {
    const char* line;
    bool accepted;
    std::function<bool(const Settings&)> effect;  // holds after the line (defaults otherwise)
};

bool Defaults(const Settings& s) {
    const Settings d;
    return s.maxObject == d.maxObject && s.checkMilliseconds == d.checkMilliseconds && s.members == d.members &&
           s.requiredProviders.empty();
}

TEST(AmsiConfig, Defaults) {
    const Settings s;
    EXPECT_GE(s.maxObject, 64ull << 20);
    EXPECT_TRUE(s.members);
    EXPECT_GT(s.checkMilliseconds, 0u);
}

TEST(AmsiConfig, Lines) {
    const LineCase cases[] = {
        {"", true, Defaults},
        {"   # only a comment", true, Defaults},
        {"max-object 100M", true, [](const Settings& s) { return s.maxObject == 100ull << 20; }},
        {"MAX-OBJECT 1g  # upper case key, lower case unit", true,
         [](const Settings& s) { return s.maxObject == 1ull << 30; }},
        {"max-object 4095M", true, [](const Settings& s) { return s.maxObject == 4095ull << 20; }},
        {"max-object 12345", true, [](const Settings& s) { return s.maxObject == 12345; }},
        {"max-object 4G", false, Defaults},  // AMSI lengths are 32-bit
        {"max-object 0", false, Defaults},
        {"max-object 10T", false, Defaults},
        {"max-object -5", false, Defaults},
        {"max-object 99999999999999999999999", false, Defaults},
        {"max-object", false, Defaults},
        {"time-limit 20s", true, [](const Settings& s) { return s.checkMilliseconds == 20000; }},
        {"time-limit 20", true, [](const Settings& s) { return s.checkMilliseconds == 20000; }},
        {"time-limit 750ms", true, [](const Settings& s) { return s.checkMilliseconds == 750; }},
        {"time-limit 3600s", true, [](const Settings& s) { return s.checkMilliseconds == 3600000; }},
        {"time-limit 3601s", false, Defaults},
        {"time-limit 0", false, Defaults},
        {"time-limit 5m", false, Defaults},
        {"members off", true, [](const Settings& s) { return !s.members; }},
        {"members ON", true, [](const Settings& s) { return s.members; }},
        {"members no", false, Defaults},
        {"members off on", false, Defaults},
        {"require-provider {2781761E-28E0-4109-99FE-B9D127C57AFE}", true,
         [](const Settings& s) {
             return s.requiredProviders.size() == 1 &&
                    s.requiredProviders[0] == "{2781761E-28E0-4109-99FE-B9D127C57AFE}";
         }},
        {"require-provider  Some Vendor Antimalware  # a name with spaces", true,
         [](const Settings& s) {
             return s.requiredProviders.size() == 1 && s.requiredProviders[0] == "Some Vendor Antimalware";
         }},
        {"require-provider {2781761E-28E0-4109-99FE}", false, Defaults},
        {"require-provider", false, Defaults},
        {"server 127.0.0.1:3310", false, Defaults},  // a clamd.vdb line in the wrong folder
        {"max-object\t8M", true, [](const Settings& s) { return s.maxObject == 8ull << 20; }},
    };
    for (const LineCase& c : cases) {
        Settings settings;
        EXPECT_EQ(ApplyConfigLine(c.line, settings), c.accepted) << c.line;
        EXPECT_TRUE(c.effect(settings)) << c.line;
    }
}

TEST(AmsiConfig, LaterLinesWinAndProvidersAddUp) {
    Settings s;
    for (const char* line : {"max-object 1M", "max-object 2M", "require-provider A", "require-provider B"})
        ASSERT_TRUE(ApplyConfigLine(line, s)) << line;
    EXPECT_EQ(s.maxObject, 2ull << 20);
    EXPECT_EQ(s.requiredProviders, (std::vector<std::string>{"A", "B"}));
}

}  // namespace
