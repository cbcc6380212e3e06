#include "driver/identity_reply.h"

#include <gtest/gtest.h>

#include <iterator>

#include "driver/manufacturer_ids.h"

namespace {

std::vector<std::string> linesOf(const std::vector<uint8_t>& received) {
    std::vector<std::string> lines;
    for (const IdentityReply& reply : findIdentityReplies(received)) {
        lines.push_back(identityLine(reply));
    }
    return lines;
}

}  // namespace

TEST(IdentityReplies, EachReplyGivesItsLine) {
    using Bytes = std::vector<uint8_t>;
    const Bytes virtualInstrument{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x7D, 0x01, 0x00,
                                  0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0xF7};
    // A three-byte ID, with data bytes after the version.
    const Bytes threeByteId{0xF0, 0x7E, 0x10, 0x06, 0x02, 0x00, 0x20, 0x29, 0x02,
                            0x01, 0x03, 0x04, 0x00, 0x01, 0x09, 0x7A, 0x55, 0xF7};
    const Bytes cutShort{0xF0, 0x7E, 0x7F, 0x06, 0x02, 0x45, 0x01, 0x00, 0x01, 0x00};
    const Bytes unknownId{0xF0, 0x7E, 0x7F, 0x06, 0x02, 0x45, 0x01, 0x00,
                          0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0xF7};
    // No replies: the request, a status byte inside, too short.
    const Bytes request(std::begin(kIdentityRequest), std::end(kIdentityRequest));
    const Bytes statusInside{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x41, 0x01, 0x00,
                             0x01, 0x00, 0x01, 0x00, 0x00, 0x90, 0x00, 0xF7};
    const Bytes tooShort{0xF0, 0x7E, 0x00, 0x06, 0x02, 0x41, 0x01,
                         0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0xF7};
    Bytes received;
    for (const Bytes* message : {&virtualInstrument, &threeByteId, &cutShort, &unknownId, &request,
                                 &statusInside, &tooShort}) {
        received.insert(received.end(), message->begin(), message->end());
    }
    EXPECT_EQ(linesOf(received),
              (std::vector<std::string>{
                  "ID 00: non-commercial use (7D), family 01 00, member 01 00, version 01 00 00 00",
                  "ID 10: Focusrite/Novation (00 20 29), family 02 01, member 03 04, version 00 "
                  "01 09 7A",
                  "ID 7F: unknown manufacturer (45), family 01 00, member 01 00, version 01 00 00 "
                  "00"}));
}

TEST(ManufacturerIds, TheBuiltInListAnswers) {
    EXPECT_STREQ(manufacturerName("41"), "Roland Corporation");
    EXPECT_STREQ(manufacturerName("00 20 7A"), "\"MIDI-hardware\" R.Sowa");
    EXPECT_STREQ(manufacturerName("00 40 03"), "D&M Holdings Inc.");  // the list's last line
    EXPECT_EQ(manufacturerName("7E"), nullptr);
    EXPECT_EQ(manufacturerName("00 41"), nullptr);
    EXPECT_EQ(manufacturerName("00"), nullptr);
}
