#include <gtest/gtest.h>

#include "common/test_engine_setup.h"

TEST(TestEngine, LoadsAndBinds) {
    TestEngineSetup engine;
    ASSERT_TRUE(engine.ok());
}
