#include "driver/byte_tokens.h"

#include <gtest/gtest.h>

namespace {

using Tokens = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

}  // namespace

TEST(CheckByteTokens, ValidMessagesBecomeBytes) {
    EXPECT_EQ(checkByteTokens({"F0", "7E", "7F", "06", "01", "F7"}).bytes,
              (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    EXPECT_EQ(checkByteTokens({"00F0", "7e", "0F7"}).bytes, (Bytes{0xF0, 0x7E, 0xF7}));
    EXPECT_EQ(checkByteTokens({"F0 \t", "0", "F7\n"}).bytes, (Bytes{0xF0, 0x00, 0xF7}));
    EXPECT_EQ(checkByteTokens({"F0", "F7"}).bytes, (Bytes{0xF0, 0xF7}));
    const ByteTokenCheck none = checkByteTokens({});
    EXPECT_TRUE(none.valid);
    EXPECT_TRUE(none.bytes.empty());
}

TEST(CheckByteTokens, FirstInvalidTokenIsReportedWhole) {
    struct Case {
        Tokens tokens;
        const char* invalid;
    };
    for (const Case& c : {
             Case{{"F0"}, "F0"},
             Case{{"F7"}, "F7"},
             Case{{"F0", "80", "F7"}, "80"},
             Case{{"F0", "F0", "F7"}, "F0"},
             Case{{"F0", "F7", "F7"}, "F7"},
             Case{{"F0", "7E", "F8"}, "F8"},
             Case{{" F0", "F7"}, " F0"},
             Case{{"0xF0", "F7"}, "0xF0"},
             Case{{"F0h", "F7"}, "F0h"},
             Case{{"F0", "", "F7"}, ""},
             Case{{"F0", "FFFFFFFF", "F7"}, "FFFFFFFF"},
             Case{{"1000000F0", "F7"}, "1000000F0"},
             Case{{"F0", "G1", "xx", "F7"}, "G1"},
             Case{{"F0", "\xB0", "F7"}, "\xB0"},
         }) {
        const ByteTokenCheck check = checkByteTokens(c.tokens);
        EXPECT_FALSE(check.valid) << c.invalid;
        EXPECT_EQ(check.invalidToken, c.invalid);
        EXPECT_TRUE(check.bytes.empty());
    }
}

TEST(CheckByteTokens, EveryMessageTheParserDeliversFits) {
    Tokens tokens(kMaxMessageBytes, "01");
    tokens.front() = "F0";
    tokens.back() = "F7";
    const ByteTokenCheck full = checkByteTokens(tokens);
    ASSERT_TRUE(full.valid);
    EXPECT_EQ(full.bytes.size(), static_cast<size_t>(kMaxMessageBytes));
    EXPECT_EQ(full.bytes.back(), 0xF7);

    tokens.insert(tokens.begin() + 1, "02");  // one byte more than there is room for
    const ByteTokenCheck over = checkByteTokens(tokens);
    EXPECT_FALSE(over.valid);
    EXPECT_EQ(over.invalidToken, "F7");
}
