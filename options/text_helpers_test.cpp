#include "options/text_helpers.h"

#include <gtest/gtest.h>

TEST(MidText, ClampsStartAndCount) {
    EXPECT_EQ(midText("abc", 5, 1), "");
    EXPECT_EQ(midText("abc", 3, 1), "");
    EXPECT_EQ(midText("abc", 1, -1), "bc");
    EXPECT_EQ(midText("abc", -3, 2), "ab");
    EXPECT_EQ(midText("abc", 1, 10), "bc");
    EXPECT_EQ(midText("abc", 1, 0), "");
    EXPECT_EQ(midText("", 0, 3), "");
}

TEST(LeftText, TakesLeadingBytes) {
    EXPECT_EQ(leftText("C:\\Tools\\x.exe", 9), "C:\\Tools\\");
    EXPECT_EQ(leftText("abc", 10), "abc");
    EXPECT_EQ(leftText("abc", 0), "");
}

TEST(StartsWith, EmptyTextOrPrefixIsNeverAMatch) {
    EXPECT_TRUE(startsWith("/x", "/"));
    EXPECT_TRUE(startsWith("abc", "abc"));
    EXPECT_FALSE(startsWith("ab", "abc"));
    EXPECT_FALSE(startsWith("abc", ""));
    EXPECT_FALSE(startsWith("", ""));
    EXPECT_FALSE(startsWith("Abc", "a"));
}

TEST(ReplaceAll, OccurrencesDoNotOverlap) {
    EXPECT_EQ(replaceAll("a*b*c", "*", ""), "abc");
    EXPECT_EQ(replaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(replaceAll("abab", "ab", "abab"), "abababab");
    EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(replaceAll("abc", "x", "y"), "abc");
}
