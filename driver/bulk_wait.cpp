#include "driver/bulk_wait.h"

#include <chrono>
#include <thread>

#include "driver/kept_sysex.h"
#include "driver/progress.h"
#include "driver/report.h"
#include "midi/recorder.h"

bool awaitDump(MidiInRecorder& recorder, KeptSysEx& kept, DWORD timeoutMs, DWORD idleMs) {
    ProgressLine progress;
    startProgress(progress, "receiving", 0);
    const DWORD start = progress.start;
    // Quiet counts from when this loop last found input, not from its arrival: while the loop
    // was held up, the input may have been waiting for the buffers it gives back.
    DWORD lastFound = start;
    bool cut = false;
    for (;;) {
        const int32_t arrived = keepArrived(kept, recorder);
        const DWORD now = timeGetTime();
        if (arrived > 0) {
            lastFound = now;
        }
        if (kept.answers > 0 && now - lastFound >= idleMs) {
            break;
        }
        if (now - start >= timeoutMs) {
            // What arrived before the time-out is listed, so it counts too.
            const bool more = keepArrived(kept, recorder) > 0;
            cut = more || (!kept.buffers.empty() && now - lastFound < idleMs);
            break;
        }
        showProgress(progress, kept.answers, kept.bytes.size());
        if (arrived == 0) {
            // The input thread needs the processor more than this loop does.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    clearProgressLine();
    return cut;
}

std::string incompleteDumpReason(const KeptSysEx& kept, const MidiInRecorder& recorder,
                                 bool cutByTimeout) {
    const uint64_t lost = unkeptSysExBytes(kept, recorder);
    if (lost != 0) {
        const bool full = publishedEventCount(recorder) >= recorder.eventCapacity;
        return std::to_string(lost) + " bytes of sysex input were lost (" +
               (full ? "more than the " + std::to_string(recorder.eventCapacity) +
                           " buffers one run records"
                     : std::string("the input had no free buffer")) +
               ")";
    }
    if (cutByTimeout) {
        return "the time-out ended it while input was still arriving";
    }
    return unfinishedMessageText(kept);
}
