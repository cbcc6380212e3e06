#include "driver/roland_checksum.h"

#include <gtest/gtest.h>

namespace {

using Tokens = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

ChecksumRule roland(uint32_t firstSummed = 0) {
    return ChecksumRule{true, firstSummed};
}

}  // namespace

TEST(ChecksumValue, ReadsRolandAndItsPosition) {
    ChecksumRule rule;
    std::string error;
    ASSERT_TRUE(parseChecksumValue("roland", rule, error));
    EXPECT_TRUE(rule.roland);
    EXPECT_EQ(rule.firstSummed, 0u);
    ASSERT_TRUE(parseChecksumValue(" Roland:998 ", rule, error));
    EXPECT_EQ(rule.firstSummed, 998u);
    for (const char* value : {"", "rolan", "rolandx", "roland:", "roland:1", "roland:999",
                              "roland:0x7", "roland 7", "roland:7:8", "yamaha"}) {
        rule = ChecksumRule{};
        EXPECT_FALSE(parseChecksumValue(value, rule, error)) << value;
        EXPECT_FALSE(rule.roland) << value;
        EXPECT_EQ(error, "option needs a value roland or roland:K (K 2 to 998): -checksum");
    }
}

TEST(ChecksumTokens, CsBecomesRolandsChecksum) {
    // GS reset, as Roland's GS sound module manuals print it: F0 41 10 42 12 40 00 7F 00 41 F7.
    const Tokens gsReset{"F0", "41", "10", "42", "12", "40", "00", "7F", "00", "CS", "F7"};
    ChecksumTokenCheck check = checkTokensWithChecksum(gsReset, roland());
    ASSERT_TRUE(check.message.valid);
    EXPECT_EQ(check.message.bytes,
              (Bytes{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}));
    // RQ1 (sum C0 gives 40), a lower-case cs with a blank after it.
    check = checkTokensWithChecksum(
        {"F0", "41", "10", "42", "11", "40", "00", "7F", "00", "00", "01", "cs ", "F7"}, roland());
    ASSERT_TRUE(check.message.valid);
    EXPECT_EQ(check.message.bytes[11], 0x40);
    // A model ID holding 12 takes K: summed from position 7 on.
    const Tokens model12{"F0", "41", "10", "00", "12", "12", "40", "00", "7F", "00", "CS", "F7"};
    EXPECT_EQ(checkTokensWithChecksum(model12, roland()).message.bytes[10], 0x2F);
    EXPECT_EQ(checkTokensWithChecksum(model12, roland(7)).message.bytes[10], 0x41);
}

TEST(ChecksumTokens, RefusedCsIsNamedWithItsReason) {
    struct Case {
        Tokens tokens;
        ChecksumRule rule;
        const char* invalid;
        const char* reason;
    };
    for (const Case& c : {
             Case{{"F0", "41", "10", "42", "12", "40", "CS", "F7"}, ChecksumRule{}, "CS", ""},
             Case{{"CS", "41", "F7"}, roland(), "CS", ""},
             Case{{"F0", "000", "Cs"}, roland(), "Cs", ""},
             Case{{"00", "CS", "F7"}, roland(), "00", ""},
             Case{{"F0", "41", "CS", "80", "F7"}, roland(), "80", ""},
             Case{{"F0", "41", "10", "42", "12", "CS", "00", "F7"},
                  roland(),
                  "CS",
                  "the checksum must be the last byte before F7"},
             Case{{"F0", "41", "10", "42", "13", "40", "CS", "F7"},
                  roland(),
                  "CS",
                  "no command ID 11 (RQ1) or 12 (DT1) from the fifth byte on before it; "
                  "-checksum=roland:K names the position K of the first summed byte"},
             Case{{"F0", "41", "10", "42", "12", "CS", "F7"},
                  roland(),
                  "CS",
                  "no byte to sum between the command ID and it"},
             Case{{"F0", "41", "10", "42", "12", "40", "CS", "F7"},
                  roland(7),
                  "CS",
                  "-checksum=roland:7 starts the sum at or after CS (position 7)"},
         }) {
        const ChecksumTokenCheck check = checkTokensWithChecksum(c.tokens, c.rule);
        EXPECT_FALSE(check.message.valid) << c.invalid;
        EXPECT_TRUE(check.message.bytes.empty()) << c.invalid;
        EXPECT_EQ(check.message.invalidToken, c.invalid);
        EXPECT_EQ(check.reason, c.reason);
    }
}

TEST(ReceivedChecksums, OnlyWrongDataSetsAreReported) {
    const Bytes received{
        0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7,  // right
        0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x40, 0xF7,  // wrong
        0xF0, 0x41, 0x10, 0x42, 0x11, 0x40, 0x00, 0x7F, 0x00, 0x40, 0xF7,  // RQ1: not checked
        0xF0, 0x43, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x40, 0xF7,  // not Roland
        0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00,                          // cut short
        0xF0, 0x41, 0x10, 0x42, 0x12, 0x7F, 0x01, 0xF7};                   // right
    const std::vector<ChecksumMismatch> found = findChecksumMismatches(received, roland());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].carried, 0x40);
    EXPECT_EQ(found[0].computed, 0x41);
    EXPECT_EQ(checksumMismatchText(received, found[0]),
              "wrong Roland checksum in received message 2 at byte offset 11 "
              "(F0 41 10 42 12 40 00 7F 00 ...): it carries 40, its bytes give 41");
    // With K the command ID must stand just before position K.
    EXPECT_EQ(findChecksumMismatches(received, roland(6)).size(), 1u);
    EXPECT_TRUE(findChecksumMismatches(received, roland(7)).empty());
}
