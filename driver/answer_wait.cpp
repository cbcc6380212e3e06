#include "driver/answer_wait.h"

#include "midi/recorder.h"

bool holdsEndOfSysEx(const RecordedEvent& event) {
    if (event.status != 0xF0) {
        return false;
    }
    const MIDIHDR& header = recordedSysExBuffer(event);
    for (DWORD i = 0; i < header.dwBytesRecorded; ++i) {
        if (static_cast<uint8_t>(header.lpData[i]) == 0xF7) {
            return true;
        }
    }
    return false;
}

DWORD timeoutMilliseconds(int32_t timeoutSeconds) {
    if (timeoutSeconds <= 0) {
        return 0;
    }
    const uint64_t ms = static_cast<uint64_t>(timeoutSeconds) * 1000u;
    return ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(ms);
}

bool awaitAnswer(const MidiInRecorder& recorder, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    int32_t scanned = 0;
    while (static_cast<DWORD>(GetTickCount() - start) < timeoutMs) {
        if (scanned < publishedEventCount(recorder)) {
            if (holdsEndOfSysEx(recorder.events[scanned])) {
                return true;
            }
            ++scanned;
        }
    }
    // What arrived before the time-out is listed afterwards, so it is examined too: the
    // warning must not claim that no answer came while the listing shows one.
    const int32_t arrived = publishedEventCount(recorder);
    for (; scanned < arrived; ++scanned) {
        if (holdsEndOfSysEx(recorder.events[scanned])) {
            return true;
        }
    }
    return false;
}
