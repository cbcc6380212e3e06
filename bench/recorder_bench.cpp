// The recorder callback's own cost: one short message, one clock and one filled SysEx buffer,
// handed to recorderCallback directly on this thread. Allocations are counted to show that
// the callback makes none.
#include <atomic>
#include <cstdlib>
#include <new>

#include "benchmark/benchmark.h"
#include "midi/recorder.h"
#include "platform/windows_api.h"

namespace {

std::atomic<long> allocationCount{0};

// Equips the SysEx buffers through one real opening of input device 0, then leaves the
// recorder served by the callback without a device, so that nothing else calls it.
bool prepareRecorder() {
    MidiInRecorder& recorder = theRecorder();
    closeRecorder(recorder);
    recorder.deviceId = 0;
    recorder.inputMode = 1;
    recorder.recordSysEx = 1;
    recorder.recordShortMessages = 1;
    recorder.channelFilter = -1;
    recorder.thruDeviceId = -1;
    const bool opened = openRecorder(recorder) == 1;
    closeRecorder(recorder);
    recorder.inputMode = kInputModeNoDevice;
    openRecorder(recorder);
    recorder.eventCount.store(0);
    return opened && sysExBufferCount == kSysExBuffersInUse;
}

// Keeps the event area from filling up, so every call takes the storing path.
void makeRoom(MidiInRecorder& recorder) {
    if (recorder.eventCount.load(std::memory_order_relaxed) >= kRecorderEventCapacity - 1) {
        recorder.eventCount.store(0, std::memory_order_relaxed);
    }
}

void reportAllocations(benchmark::State& state, long before) {
    state.counters["allocations"] =
        benchmark::Counter(static_cast<double>(allocationCount.load() - before));
}

void BM_ShortMessage(benchmark::State& state) {
    prepareRecorder();
    MidiInRecorder& recorder = theRecorder();
    const long before = allocationCount.load();
    DWORD_PTR time = 0;
    for (auto _ : state) {
        makeRoom(recorder);
        recorderCallback(nullptr, MIM_DATA, 0, 0x00403C90, ++time);
    }
    reportAllocations(state, before);
    benchmark::DoNotOptimize(recorder.events[0]);
}
BENCHMARK(BM_ShortMessage);

void BM_Clock(benchmark::State& state) {
    prepareRecorder();
    MidiInRecorder& recorder = theRecorder();
    const long before = allocationCount.load();
    DWORD_PTR time = 0;
    for (auto _ : state) {
        makeRoom(recorder);
        recorderCallback(nullptr, MIM_DATA, 0, 0xF8, ++time);
    }
    reportAllocations(state, before);
    benchmark::DoNotOptimize(recorder.msPerQuarter.load());
}
BENCHMARK(BM_Clock);

void BM_SysExBuffer(benchmark::State& state) {
    if (!prepareRecorder()) {
        state.SkipWithError("input device 0 did not open, so no SysEx buffers exist");
        return;
    }
    MidiInRecorder& recorder = theRecorder();
    for (int32_t i = 0; i < kSysExBuffersInUse; ++i) {
        sysExBuffers[i].dwBytesRecorded = kSysExBufferBytes;
    }
    const long before = allocationCount.load();
    int32_t index = 0;
    for (auto _ : state) {
        makeRoom(recorder);
        recorderCallback(nullptr, MIM_LONGDATA, 0,
                         reinterpret_cast<DWORD_PTR>(&sysExBuffers[index]), 0);
        index = index + 1 == kSysExBuffersInUse ? 0 : index + 1;
    }
    reportAllocations(state, before);
    benchmark::DoNotOptimize(recorder.events[0]);
}
BENCHMARK(BM_SysExBuffer);

}  // namespace

// Counting replacements of the global allocation functions. GCC cannot see that the pair
// below matches and warns about free() of memory from operator new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
