#include "driver/answer_wait.h"

#include <gtest/gtest.h>

TEST(TimeoutMilliseconds, ScalesAndSaturates) {
    EXPECT_EQ(timeoutMilliseconds(0), 0u);
    EXPECT_EQ(timeoutMilliseconds(5), 5000u);
    EXPECT_EQ(timeoutMilliseconds(2147483), 2147483000u);
    EXPECT_EQ(timeoutMilliseconds(2147484), 2147484000u) << "beyond a signed 32-bit product";
    EXPECT_EQ(timeoutMilliseconds(4294967), 4294967000u);
    EXPECT_EQ(timeoutMilliseconds(4294968), 0xFFFFFFFFu);
    EXPECT_EQ(timeoutMilliseconds(2147483647), 0xFFFFFFFFu);
}
