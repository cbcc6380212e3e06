#include "driver/bulk_wait.h"

#include <chrono>
#include <thread>

#include "driver/answer_wait.h"
#include "driver/progress.h"
#include "midi/recorder.h"

namespace {

struct Collected {
    int32_t scanned = 0;
    int32_t messages = 0;  // buffers holding F7
    uint64_t bytes = 0;
    bool lastEndsWithF7 = false;
    DWORD lastArrival = 0;
};

void scanArrived(const MidiInRecorder& recorder, Collected& collected) {
    const int32_t arrived = publishedEventCount(recorder);
    for (; collected.scanned < arrived; ++collected.scanned) {
        const RecordedEvent& event = recorder.events[collected.scanned];
        // Clocks are stored too, but an instrument may send them for ever.
        if (event.status != 0xF0) {
            continue;
        }
        collected.lastArrival = event.time;
        const MIDIHDR& header = recordedSysExBuffer(event);
        collected.messages += holdsEndOfSysEx(event) ? 1 : 0;
        collected.bytes += header.dwBytesRecorded;
        collected.lastEndsWithF7 =
            header.dwBytesRecorded > 0 &&
            static_cast<uint8_t>(header.lpData[header.dwBytesRecorded - 1]) == 0xF7;
    }
}

}  // namespace

bool awaitQuietAfterAnswer(const MidiInRecorder& recorder, DWORD timeoutMs, DWORD idleMs) {
    ProgressLine progress;
    startProgress(progress, "receiving", 0);
    const DWORD start = progress.start;
    Collected collected;
    for (;;) {
        const int32_t before = collected.scanned;
        scanArrived(recorder, collected);
        // Read after the scan: an event's time never lies ahead of it.
        const DWORD now = timeGetTime();
        if (collected.messages > 0 && now - collected.lastArrival >= idleMs) {
            break;
        }
        if (now - start >= timeoutMs) {
            // What arrived before the time-out is listed, so it counts too.
            scanArrived(recorder, collected);
            break;
        }
        showProgress(progress, collected.messages, collected.bytes);
        if (collected.scanned == before) {
            // The input thread needs the processor more than this loop does.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    clearProgress();
    return collected.messages > 0 && collected.lastEndsWithF7;
}

std::vector<uint8_t> receivedSysExBytes(const MidiInRecorder& recorder) {
    std::vector<uint8_t> bytes;
    const int32_t count = publishedEventCount(recorder);
    for (int32_t i = 0; i < count; ++i) {
        const RecordedEvent& event = recorder.events[i];
        if (event.status == 0xF0) {
            const MIDIHDR& header = recordedSysExBuffer(event);
            bytes.insert(bytes.end(), header.lpData, header.lpData + header.dwBytesRecorded);
        }
    }
    return bytes;
}
