#include "driver/paced_parts.h"

#include <gtest/gtest.h>

#include <utility>

TEST(PaceValue, ReadsBytesAndPause) {
    Pace pace;
    std::string error;
    ASSERT_TRUE(parsePaceValue("128/15", pace, error));
    EXPECT_EQ(std::make_pair(pace.partBytes, pace.pauseMs), std::make_pair(128u, 15u));
    ASSERT_TRUE(parsePaceValue(" 65535/10000 ", pace, error));
    EXPECT_EQ(std::make_pair(pace.partBytes, pace.pauseMs), std::make_pair(65535u, 10000u));
    ASSERT_TRUE(parsePaceValue("1/0", pace, error));
    EXPECT_EQ(std::make_pair(pace.partBytes, pace.pauseMs), std::make_pair(1u, 0u));
}

TEST(PaceValue, RefusesAnythingElseWithTheOptionsError) {
    for (const char* value :
         {"", "128", "/15", "128/", "0/15", "65536/1", "128/10001", "+1/2", "128/-1", "1e2/3",
          "128/15x", "128 /15", "128//15", "99999999999/1"}) {
        Pace pace{7, 9};
        std::string error;
        EXPECT_FALSE(parsePaceValue(value, pace, error)) << value;
        EXPECT_EQ(error, "option needs a value BYTES/MS (BYTES 1 to 65535, MS 0 to 10000): -pace");
        EXPECT_EQ(pace.partBytes, 7u) << value;
    }
}

TEST(PacedParts, CoverTheMessageInOrder) {
    const std::vector<MessagePart> parts = pacedParts(4104, Pace{256, 20});
    ASSERT_EQ(parts.size(), 17u);
    size_t next = 0;
    for (const MessagePart& part : parts) {
        EXPECT_EQ(part.offset, next);
        EXPECT_LE(part.length, 256u);
        next += part.length;
    }
    EXPECT_EQ(next, 4104u);
    EXPECT_EQ(parts.back().length, 8u);
    EXPECT_EQ(pacedParts(512, Pace{256, 0}).size(), 2u);
    ASSERT_EQ(pacedParts(300, Pace{}).size(), 1u);
    EXPECT_EQ(pacedParts(300, Pace{}).front().length, 300u);
    EXPECT_TRUE(pacedParts(0, Pace{256, 20}).empty());
}
