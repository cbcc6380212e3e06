#include "driver/syx_send.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "driver/output_device.h"
#include "driver/progress.h"
#include "driver/report.h"
#include "midi/sysex_sender.h"
#include "options/text_helpers.h"
#include "platform/midi_limits.h"

namespace {

using Clock = std::chrono::steady_clock;

// A time in a file beyond this (about 35 years) is waited for as if it were this, so that the
// clock's arithmetic cannot overflow.
constexpr uint64_t kLongestOffsetUs = uint64_t{1} << 50;

// Waits until due. With meanwhile, wakes every millisecond to run it.
void waitUntil(Clock::time_point due, const std::function<void()>& meanwhile) {
    while (Clock::now() < due) {
        if (!meanwhile) {
            std::this_thread::sleep_until(due);
            continue;
        }
        meanwhile();
        std::this_thread::sleep_until(std::min(due, Clock::now() + std::chrono::milliseconds(1)));
    }
}

// When message i is due. The times of a file are taken from one start, so that the pauses of
// the waits and the sends do not add up.
Clock::time_point dueTime(const FileToSend& file, size_t i, int32_t gapMs,
                          Clock::time_point firstSent, Clock::time_point lastSent) {
    if (file.microseconds.empty()) {
        return lastSent + std::chrono::milliseconds(gapMs);
    }
    const uint64_t offset = file.microseconds[i] - file.microseconds[0];
    return firstSent + std::chrono::microseconds(std::min(offset, kLongestOffsetUs));
}

}  // namespace

std::string oversizedMessageError(const FileToSend& file, const std::string& path) {
    for (size_t i = 0; i < file.messages.messageStarts.size(); ++i) {
        const size_t length = syxMessageLength(file.messages, i);
        if (length > longestLongMessage()) {
            return "the message at byte offset " + std::to_string(messageFileOffset(file, i)) +
                   " of " + path + " is " + groupedNumber(length) + " bytes long; a long " +
                   "message here carries at most " + groupedNumber(longestLongMessage()) + " bytes";
        }
    }
    return std::string();
}

bool sendFile(const FileToSend& file, const std::string& path, int32_t outDevice, int32_t gapMs,
              const Pace& pace, const std::function<void()>& meanwhile) {
    SysExSender sender;
    if (!openOutputDevice(sender, outDevice)) {
        return false;
    }
    // Each message has been played when the send returns; the pause between them is the
    // file's own.
    sender.waitMs = 0;
    const FineSleeps fineSleeps(gapMs > 0 || !file.microseconds.empty());
    ProgressLine progress;
    const int32_t count = static_cast<int32_t>(file.messages.messageStarts.size());
    startProgress(progress, "sending", count);
    uint64_t bytes = 0;
    Clock::time_point firstSent;
    Clock::time_point lastSent;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0) {
            waitUntil(dueTime(file, i, gapMs, firstSent, lastSent), meanwhile);
        }
        const int32_t length = static_cast<int32_t>(syxMessageLength(file.messages, i));
        if (!sendOnOutputDevice(sender, file.messages.bytes.data() + file.messages.messageStarts[i],
                                length, pace)) {
            return false;
        }
        lastSent = Clock::now();
        firstSent = i == 0 ? lastSent : firstSent;
        bytes += static_cast<uint64_t>(length);
        showProgress(progress, i + 1, bytes);
        if (meanwhile) {
            meanwhile();
        }
    }
    writeNote(Stream::Error, "sent " + std::to_string(count) + " sysex message" +
                                 (count == 1 ? "" : "s") + " (" + std::to_string(bytes) +
                                 " bytes) from " + path + " to MIDI output device " +
                                 std::to_string(outDevice) + "\n");
    const size_t skipped = file.skippedEvents;
    if (skipped != 0) {
        writeNote(Stream::Error, "skipped " + std::to_string(skipped) +
                                     (skipped == 1 ? " event that is" : " events that are") +
                                     " not sysex\n");
    }
    return true;
}
