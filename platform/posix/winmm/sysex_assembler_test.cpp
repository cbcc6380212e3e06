#include "platform/posix/winmm/sysex_assembler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

// Headers with buffers of the given sizes, queued as an input would hold them.
struct Buffers {
    std::vector<std::unique_ptr<char[]>> memory;
    std::vector<MIDIHDR> headers;
    std::deque<MIDIHDR*> queue;

    explicit Buffers(std::vector<DWORD> sizes) : headers(sizes.size()) {
        for (size_t i = 0; i < sizes.size(); ++i) {
            memory.emplace_back(new char[sizes[i]]);
            headers[i] = MIDIHDR{};
            headers[i].lpData = memory[i].get();
            headers[i].dwBufferLength = sizes[i];
            headers[i].dwFlags = MHDR_PREPARED | MHDR_INQUEUE;
            queue.push_back(&headers[i]);
        }
    }

    std::vector<BYTE> bytesOf(size_t i) const {
        const MIDIHDR& h = headers[i];
        return std::vector<BYTE>(h.lpData, h.lpData + h.dwBytesRecorded);
    }
};

InputEvent longData(const MIDIHDR& header) {
    return {MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(&header)};
}

InputEvent shortData(DWORD packed) {
    return {MIM_DATA, packed};
}

MATCHER_P(IsEvent, expected, "") {
    return arg.message == expected.message && arg.param1 == expected.param1;
}

std::vector<InputEvent> feed(SysExAssembler& state, Buffers& buffers, std::vector<BYTE> bytes) {
    std::vector<InputEvent> out;
    assembleBytes(state, buffers.queue, bytes.data(), bytes.size(), out);
    return out;
}

std::vector<BYTE> sysEx(size_t dataBytes) {
    std::vector<BYTE> message = {0xF0};
    for (size_t i = 0; i < dataBytes; ++i) {
        message.push_back(static_cast<BYTE>(i & 0x7F));
    }
    message.push_back(0xF7);
    return message;
}

TEST(SysExAssembler, LongSysExFillsConsecutiveBuffersWhetherFedWholeOrByteByByte) {
    for (bool byteByByte : {false, true}) {
        Buffers buffers({8, 8, 8, 8});
        SysExAssembler state;
        std::vector<BYTE> message = sysEx(18);
        std::vector<InputEvent> out;
        if (byteByByte) {
            for (BYTE b : message) {
                assembleBytes(state, buffers.queue, &b, 1, out);
            }
        } else {
            out = feed(state, buffers, message);
        }
        ASSERT_EQ(out.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(out[i].message, static_cast<UINT>(MIM_LONGDATA));
            EXPECT_EQ(out[i].param1, reinterpret_cast<DWORD_PTR>(&buffers.headers[i]));
            EXPECT_EQ(buffers.headers[i].dwFlags, static_cast<DWORD>(MHDR_PREPARED | MHDR_DONE));
        }
        std::vector<BYTE> joined;
        for (size_t i = 0; i < 3; ++i) {
            std::vector<BYTE> part = buffers.bytesOf(i);
            joined.insert(joined.end(), part.begin(), part.end());
        }
        EXPECT_EQ(buffers.headers[2].dwBytesRecorded, 4u);
        EXPECT_EQ(joined, message);
        EXPECT_EQ(buffers.queue.size(), 1u);  // the fourth stays queued, untouched
        EXPECT_EQ(buffers.headers[3].dwBytesRecorded, 0u);
    }
}

TEST(SysExAssembler, BufferFullAtItsLastByteIsReturnedOnce) {
    Buffers buffers({4, 4});
    SysExAssembler state;
    auto out = feed(state, buffers, {0xF0, 0x01, 0x02, 0xF7});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(buffers.bytesOf(0), (std::vector<BYTE>{0xF0, 0x01, 0x02, 0xF7}));
    // A message one byte longer leaves only its F7 for the next buffer.
    Buffers more({4, 4});
    out = feed(state, more, {0xF0, 0x01, 0x02, 0x03, 0xF7});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(more.bytesOf(1), (std::vector<BYTE>{0xF7}));
}

TEST(SysExAssembler, ShortMessagesWithRunningStatusAndSystemMessages) {
    Buffers buffers({});
    SysExAssembler state;
    auto out = feed(state, buffers,
                    {0x90, 0x3C, 0x64, 0x3E, 0x00,  // note on, then one by running status
                     0xC5, 0x07, 0x08,              // program change twice
                     0xF2, 0x01, 0x02, 0x03,        // song position; the 03 has no status
                     0xF3, 0x05, 0xF6, 0xF8, 0xF9, 0xF7, 0x40});
    EXPECT_THAT(out,
                testing::ElementsAre(IsEvent(shortData(0x643C90)), IsEvent(shortData(0x003E90)),
                                     IsEvent(shortData(0x07C5)), IsEvent(shortData(0x08C5)),
                                     IsEvent(shortData(0x0201F2)), IsEvent(shortData(0x05F3)),
                                     IsEvent(shortData(0xF6)), IsEvent(shortData(0xF8))));
}

TEST(SysExAssembler, StatusByteCutsSysExAndReturnsWhatItHas) {
    Buffers buffers({16, 16, 16});
    SysExAssembler state;
    auto out = feed(state, buffers,
                    {0xF0, 0x01, 0x02, 0x90, 0x3C, 0x64, 0x05,  // cut by note
                     0xF0, 0x11, 0xF0, 0x12, 0xF7});            // cut by F0
    EXPECT_THAT(out, testing::ElementsAre(IsEvent(longData(buffers.headers[0])),
                                          IsEvent(shortData(0x643C90)),
                                          IsEvent(longData(buffers.headers[1])),
                                          IsEvent(longData(buffers.headers[2]))));
    EXPECT_EQ(buffers.bytesOf(0), (std::vector<BYTE>{0xF0, 0x01, 0x02}));
    EXPECT_EQ(buffers.bytesOf(1), (std::vector<BYTE>{0xF0, 0x11}));
    EXPECT_EQ(buffers.bytesOf(2), (std::vector<BYTE>{0xF0, 0x12, 0xF7}));
}

TEST(SysExAssembler, SysExWithoutQueuedBufferIsLostButShortMessagesPass) {
    Buffers none({});
    SysExAssembler state;
    auto out = feed(state, none, {0xF0, 0x01, 0x02, 0xF7, 0x80, 0x3C, 0x00});
    EXPECT_THAT(out, testing::ElementsAre(IsEvent(shortData(0x3C80))));
    // Buffers queued later take the next SysEx from its start.
    Buffers later({8});
    out = feed(state, later, {0xF0, 0x05, 0xF7});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(later.bytesOf(0), (std::vector<BYTE>{0xF0, 0x05, 0xF7}));
}

TEST(SysExAssembler, ReturningAllBuffersKeepsPartialBytesAndEndsTheSysEx) {
    Buffers buffers({8, 8, 8});
    SysExAssembler state;
    EXPECT_TRUE(feed(state, buffers, {0xF0, 0x01, 0x02}).empty());
    std::vector<InputEvent> out;
    returnAllBuffers(state, buffers.queue, out);
    EXPECT_THAT(out, testing::ElementsAre(IsEvent(longData(buffers.headers[0])),
                                          IsEvent(longData(buffers.headers[1])),
                                          IsEvent(longData(buffers.headers[2]))));
    EXPECT_EQ(buffers.bytesOf(0), (std::vector<BYTE>{0xF0, 0x01, 0x02}));
    EXPECT_EQ(buffers.headers[1].dwBytesRecorded, 0u);
    EXPECT_EQ(buffers.headers[2].dwFlags & (MHDR_DONE | MHDR_INQUEUE),
              static_cast<DWORD>(MHDR_DONE));
    EXPECT_TRUE(buffers.queue.empty());
    // The rest of the interrupted SysEx is not taken for a new one.
    Buffers fresh({8});
    EXPECT_TRUE(feed(state, fresh, {0x03, 0x04, 0xF7}).empty());
    EXPECT_EQ(fresh.headers[0].dwBytesRecorded, 0u);
}

}  // namespace
