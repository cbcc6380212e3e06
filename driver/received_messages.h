// Finding the whole SysEx messages in what an input delivered: the bytes of every recorded
// SysEx buffer in order of arrival, where a message may span buffers and input may have
// been lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A message's bytes within the received bytes, F0 to F7.
struct MessageSpan {
    size_t offset;
    size_t length;
};

// Every complete message F0 ... F7 with only bytes up to 7F between, in order. Whatever is no
// such message (a message cut short by a new F0, stray bytes, a status byte inside) is
// passed over, so one damaged message does not hide the ones after it.
std::vector<MessageSpan> completeMessages(const std::vector<uint8_t>& received);
