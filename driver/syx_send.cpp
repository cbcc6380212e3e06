#include "driver/syx_send.h"

#include <chrono>
#include <thread>

#include "driver/output_device.h"
#include "driver/progress.h"
#include "driver/report.h"
#include "midi/sysex_sender.h"
#include "options/text_helpers.h"
#include "platform/midi_limits.h"

std::string oversizedMessageError(const SyxFile& file, const std::string& path) {
    for (size_t i = 0; i < file.messageStarts.size(); ++i) {
        const size_t length = syxMessageLength(file, i);
        if (length > longestLongMessage()) {
            return "the message at byte offset " + std::to_string(file.messageStarts[i]) + " of " +
                   path + " is " + groupedNumber(length) + " bytes long; a long message here " +
                   "carries at most " + groupedNumber(longestLongMessage()) + " bytes";
        }
    }
    return std::string();
}

bool sendSyxFile(const SyxFile& file, const std::string& path, int32_t outDevice, int32_t gapMs,
                 const Pace& pace, const std::function<void()>& afterEach) {
    SysExSender sender;
    if (!openOutputDevice(sender, outDevice)) {
        return false;
    }
    // Each message has been played when the send returns; the pause between them is the gap.
    sender.waitMs = 0;
    ProgressLine progress;
    const int32_t count = static_cast<int32_t>(file.messageStarts.size());
    startProgress(progress, "sending", count);
    uint64_t bytes = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (i > 0 && gapMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
        const int32_t length = static_cast<int32_t>(syxMessageLength(file, i));
        if (!sendOnOutputDevice(sender, file.bytes.data() + file.messageStarts[i], length, pace)) {
            return false;
        }
        bytes += static_cast<uint64_t>(length);
        showProgress(progress, i + 1, bytes);
        if (afterEach) {
            afterEach();
        }
    }
    writeNote(Stream::Error, "sent " + std::to_string(count) + " sysex message" +
                                 (count == 1 ? "" : "s") + " (" + std::to_string(bytes) +
                                 " bytes) from " + path + " to MIDI output device " +
                                 std::to_string(outDevice) + "\n");
    return true;
}
