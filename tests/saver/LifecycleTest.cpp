#include "support/TestSupport.h"
#include <gtest/gtest.h>
using namespace zorvan;
TEST(Lifecycle, Smoke) {
    auto v = test::makeOffscreenView(800, 600);
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->drawingEnabled);
}
