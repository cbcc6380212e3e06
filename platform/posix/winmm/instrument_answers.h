// What the built-in virtual instrument answers, written once for it and for the tests' own
// instruments on JACK and on the ALSA sequencer, so that every case expects the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

// The manufacturer id for non-commercial use, which the instruments answer as.
constexpr uint8_t kInstrumentManufacturerId = 0x7D;

// The identity reply the instruments give: manufacturer 7D, family 01 00, model 01 00,
// version 01 00 00 00. Constant bytes, not a vector: a global that allocates would run before
// main, where running out of memory cannot be answered with an error line.
constexpr uint8_t kIdentityReplyBytes[] = {0xF0, 0x7E, 0x00, 0x06, 0x02, kInstrumentManufacturerId,
                                           0x01, 0x00, 0x01, 0x00, 0x01, 0x00,
                                           0x00, 0x00, 0xF7};

inline std::vector<uint8_t> identityReply() {
    return std::vector<uint8_t>(std::begin(kIdentityReplyBytes), std::end(kIdentityReplyBytes));
}

// The answer to a complete message: the identity reply to a universal device inquiry
// (F0 7E id 06 01 F7, any device id), hh * 128 + ll counting bytes (byte i is i AND 7F) in
// F0 7D 02 ... F7 to a dump request F0 7D 01 hh ll F7, and the message itself to anything else.
inline std::vector<uint8_t> instrumentAnswer(const uint8_t* m, size_t size) {
    const bool sysEx = size == 6 && m[0] == 0xF0 && m[5] == 0xF7;
    if (sysEx && m[1] == 0x7E && m[2] <= 0x7F && m[3] == 0x06 && m[4] == 0x01) {
        return identityReply();
    }
    if (sysEx && m[1] == kInstrumentManufacturerId && m[2] == 0x01 && m[3] <= 0x7F &&
        m[4] <= 0x7F) {
        const size_t count = m[3] * 128u + m[4];
        std::vector<uint8_t> dump = {0xF0, kInstrumentManufacturerId, 0x02};
        for (size_t i = 0; i < count; ++i) {
            dump.push_back(static_cast<uint8_t>(i & 0x7F));
        }
        dump.push_back(0xF7);
        return dump;
    }
    return std::vector<uint8_t>(m, m + size);
}

// A large dump: the request F0 7D 06 ch cl sh sl F7 asks for ch * 128 + cl messages (1 to
// 16383) of sh * 128 + sl data bytes each (0 to 16383), sent as fast as they are taken;
// F0 7D 08 ... F7 asks for the same dump cut short: its last message ends without F7.
struct LargeDump {
    unsigned count = 0;  // 0: not a large dump request
    unsigned dataBytes = 0;
    bool cut = false;
};

inline LargeDump largeDumpRequest(const uint8_t* m, size_t size) {
    LargeDump dump;
    if (size == 8 && m[0] == 0xF0 && m[1] == kInstrumentManufacturerId &&
        (m[2] == 0x06 || m[2] == 0x08) && m[3] <= 0x7F && m[4] <= 0x7F && m[5] <= 0x7F &&
        m[6] <= 0x7F && m[7] == 0xF7) {
        dump.count = m[3] * 128u + m[4];
        dump.dataBytes = m[5] * 128u + m[6];
        dump.cut = m[2] == 0x08;
    }
    return dump;
}

// Appends message k of the dump: F0 7D 07, k as two 7-bit bytes (high first), data bytes
// (k + i) AND 7F, and F7, which the last message of a cut dump leaves out.
inline void appendLargeDumpMessage(const LargeDump& dump, unsigned k, std::vector<uint8_t>& out) {
    out.insert(out.end(), {0xF0, kInstrumentManufacturerId, 0x07, static_cast<uint8_t>(k >> 7),
                           static_cast<uint8_t>(k & 0x7F)});
    for (unsigned i = 0; i < dump.dataBytes; ++i) {
        out.push_back(static_cast<uint8_t>((k + i) & 0x7F));
    }
    if (!dump.cut || k + 1 < dump.count) {
        out.push_back(0xF7);
    }
}
