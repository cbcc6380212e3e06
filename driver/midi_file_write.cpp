#include "driver/midi_file.h"

namespace {

constexpr uint32_t kTicksPerQuarter = 500;
constexpr uint32_t kMicrosecondsPerQuarter = 500000;  // with 500 ticks: one tick a millisecond
constexpr uint32_t kLargestQuantity = 0x0FFFFFFF;     // four bytes of seven bits

void appendBigEndian(std::vector<uint8_t>& out, uint32_t value, int count) {
    for (int shift = 8 * (count - 1); shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void appendQuantity(std::vector<uint8_t>& out, uint32_t value) {
    int shift = 21;
    while (shift > 0 && (value >> shift) == 0) {
        shift -= 7;
    }
    for (; shift > 0; shift -= 7) {
        out.push_back(static_cast<uint8_t>(0x80 | ((value >> shift) & 0x7F)));
    }
    out.push_back(static_cast<uint8_t>(value & 0x7F));
}

// Taken as 64 bits, so the check stands where size_t has 32 and always passes.
bool fitsChunkLength(uint64_t size) {
    return size <= 0xFFFFFFFF;
}

bool isWholeSysEx(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 2 || bytes.front() != 0xF0 || bytes.back() != 0xF7) {
        return false;
    }
    for (size_t i = 1; i + 1 < bytes.size(); ++i) {
        if (bytes[i] > 0x7F) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool writeMidiFile(const std::vector<TimedSysEx>& messages, std::vector<uint8_t>& fileBytes,
                   std::string& reason) {
    fileBytes.clear();
    std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03};
    appendBigEndian(track, kMicrosecondsPerQuarter, 3);
    uint64_t previousTick = 0;
    for (size_t i = 0; i < messages.size(); ++i) {
        const TimedSysEx& message = messages[i];
        const std::string which = "message " + std::to_string(i + 1);
        const uint64_t tick = message.microseconds / 1000 + (message.microseconds % 1000 >= 500);
        if (!isWholeSysEx(message.bytes)) {
            reason = which + " is not a whole sysex message (F0, 00 to 7F, F7)";
            return false;
        } else if (tick < previousTick) {
            reason = which + " is earlier than the one before it";
            return false;
        } else if (tick - previousTick > kLargestQuantity) {
            reason = which + " comes more than " + std::to_string(kLargestQuantity) +
                     " ms after the one before it";
            return false;
        } else if (message.bytes.size() - 1 > kLargestQuantity) {
            reason = which + " is longer than " + std::to_string(kLargestQuantity) + " bytes";
            return false;
        }
        appendQuantity(track, static_cast<uint32_t>(tick - previousTick));
        track.push_back(0xF0);
        appendQuantity(track, static_cast<uint32_t>(message.bytes.size() - 1));
        track.insert(track.end(), message.bytes.begin() + 1, message.bytes.end());
        previousTick = tick;
    }
    track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
    if (!fitsChunkLength(track.size())) {
        reason = "the messages are too long for one track chunk";
        return false;
    }
    const uint8_t header[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
    fileBytes.assign(header, header + sizeof header);
    appendBigEndian(fileBytes, kTicksPerQuarter, 2);
    fileBytes.insert(fileBytes.end(), {'M', 'T', 'r', 'k'});
    appendBigEndian(fileBytes, static_cast<uint32_t>(track.size()), 4);
    fileBytes.insert(fileBytes.end(), track.begin(), track.end());
    return true;
}
