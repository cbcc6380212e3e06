#include "driver/hex_text_file.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes contentOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The error line for text, or "" when it reads.
std::string errorOf(const std::string& text) {
    SyxFile file;
    std::string error;
    return readHexText(contentOf(text), "dump.txt", file, error) ? "" : error;
}

}  // namespace

TEST(HexText, ToldFromRawSysEx) {
    for (const char* text :
         {"F0 7E", " \r\n\tf0", "0xF0", "# a dump\nF0", "; x", "\xEF\xBB\xBF F0"}) {
        EXPECT_TRUE(isHexText(contentOf(text))) << text;
    }
    for (const char* text : {"", " \n", ", F0", "x", "\xEF\xBB"}) {
        EXPECT_FALSE(isHexText(contentOf(text))) << text;
    }
    EXPECT_FALSE(isHexText(Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
}

TEST(HexText, EveryWritingGivesTheSameMessages) {
    for (const char* text :
         {"F0 7E 7F 06 01 F7\nF0 01 F7", "F07E7F0601F7F001F7",
          "\xEF\xBB\xBF# request\r\n0xF0,0x7E,0X7F 0x06\r0x01 f7 ; end\n\nF0,01,F7"}) {
        SyxFile file;
        std::string error;
        ASSERT_TRUE(readHexText(contentOf(text), "dump.txt", file, error)) << text << ": " << error;
        EXPECT_EQ(file.bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0xF0, 0x01, 0xF7}));
        EXPECT_EQ(file.messageStarts, (std::vector<size_t>{0, 6}));
    }
}

TEST(HexText, ErrorsGiveLineAndColumn) {
    const std::string at = "invalid hex text in dump.txt at line ";
    EXPECT_EQ(errorOf("F0 7G F7"), at + "1, column 5: unexpected 'G'");
    EXPECT_EQ(errorOf("F0\n 7 F7"), at + "2, column 2: a lone hex digit; each byte is two digits");
    EXPECT_EQ(errorOf("F0 7E7 F7"), at + "1, column 6: a lone hex digit; each byte is two digits");
    EXPECT_EQ(errorOf("F0 0x F7"), at + "1, column 4: 0x without a byte after it");
    EXPECT_EQ(errorOf("F0 \xC3\xA9 F7"), at + "1, column 4: unexpected byte C3");
    EXPECT_EQ(errorOf("# F0\r\nF0 01\r\n  80 F7"),
              at + "3, column 3: 80 inside a message (only 00 to 7F before its F7)");
    EXPECT_EQ(errorOf("F0 F7 7E"), at + "1, column 7: 7E where a message must start with F0");
    EXPECT_EQ(errorOf("F0 F7\n  F0 7E\n7F\n"),
              at + "4, column 1: end of file before the F7 of the message at line 2, column 3");
    EXPECT_EQ(errorOf("# nothing\n"), at + "2, column 1: no sysex message");
}

TEST(HexText, WrittenAsListedAndReadBack) {
    const Bytes received{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0xF0, 0x01, 0xF0, 0x02, 0xF7};
    EXPECT_EQ(hexTextLines(received), "F0 7E 7F 06 01 F7 \nF0 01 \nF0 02 F7 \n");
    EXPECT_EQ(hexTextLines(Bytes{0xF0, 0x01}), "F0 01 \n");
    const Bytes whole{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0xF0, 0x02, 0xF7};
    SyxFile file;
    std::string error;
    ASSERT_TRUE(readHexText(contentOf(hexTextLines(whole)), "dump.txt", file, error)) << error;
    EXPECT_EQ(file.bytes, whole);
}
