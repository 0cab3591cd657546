#include <gtest/gtest.h>

#include "common/plugin_api.h"

TEST(Exports, NameAnswersWithLength) {
    PluginApi api;
    ASSERT_TRUE(api.Load());
    EXPECT_EQ(17, api.GetName(nullptr, 0));
}
