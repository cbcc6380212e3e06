#include "driver/name_text.h"

#include <gtest/gtest.h>

TEST(NameText, FoldsLatinGreekAndCyrillicAndKeepsWhatIsNoUtf8) {
    EXPECT_EQ(foldedCase("SÏNTH ÀÉ ΣΊΓΜΑ ПОР Ёж ĀŁ", true),
              foldedCase("sïnth àé σίγμα пор ёЖ āł", true));
    EXPECT_EQ(foldedCase("ΣΊΓΜΑ", true), "σίγμα");
    EXPECT_EQ(foldedCase("\xFF\xC3Z", true), "\xFF\xC3z") << "stray bytes as they are";
    EXPECT_EQ(foldedCase("\xC9Z", false), "\xC9z") << "another code page: ASCII letters only";
}

TEST(NameText, EscapesControlCharactersOnly) {
    EXPECT_EQ(terminalText("\x1b[2Jbox\x7f\tпор", true), "\\x1B[2Jbox\\x7F\\x09пор");
    EXPECT_EQ(terminalText("a\xC2\x9B"
                           "b\xFF",
                           true),
              "a\\xC2\\x9Bb\\xFF")
        << "C1 and no UTF-8";
    EXPECT_EQ(terminalText("\x80\xE9\x1b", false), "\x80\xE9\\x1B") << "a code page's letters";
}
